// The GL-free steps of the picture loader: texture size, resampling with the
// flip to bottom-row-first, and the whole file-to-texels path.
#include "pictures/PictureSteps.h"

#include <GL/gl.h>  // GL_RGB, GL_RGBA only; no GL calls here

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "math/PowerOfTwo.h"

namespace {

// Source index for texture index i: the own-size pixel floor(f * i), mapped to
// the decoded pixel that covers it, kept inside the decoded picture.
int SourceIndex(float f, int i, int scaleNum, int scaleDenom, int decodedSize)
{
    long long index = static_cast<long long>(f * static_cast<float>(i));
    index = index * scaleNum / scaleDenom;
    if (index >= decodedSize) {
        index = decodedSize - 1;
    }
    return index < 0 ? 0 : static_cast<int>(index);
}

}  // namespace

void PictureTextureSize(int resolution, int pictureWidth, int pictureHeight, int maxTextureSize, int* width,
                        int* height)
{
    if (resolution == 0) {
        *width = 512;
        *height = 512;
        return;
    }
    if (resolution == 1) {
        *width = 1024;
        *height = 1024;
        return;
    }
    int w = NearestPowerOfTwo(pictureWidth);
    int h = NearestPowerOfTwo(pictureHeight);
    if (maxTextureSize > 0) {
        w = w > maxTextureSize ? maxTextureSize : w;
        h = h > maxTextureSize ? maxTextureSize : h;
    }
    *width = w;
    *height = h;
}

namespace {

// Nearest-neighbour resampling with the flip: texels as the picture's
// pixels, or with `opaque` RGBA of alpha 255.
bool Resample(const DecodedPicture& picture, int width, int height, bool opaque, unsigned char* texels)
{
    const size_t c = picture.bitsPerPixel == 32 ? 4 : 3;
    const size_t outChannels = opaque ? 4 : c;
    const float fx = static_cast<float>(picture.fullWidth) / static_cast<float>(width);
    const float fy = static_cast<float>(picture.fullHeight) / static_cast<float>(height);
    // Byte offset of each texture column's source pixel within a row.
    auto* columns = static_cast<size_t*>(std::malloc(sizeof(size_t) * size_t(width)));
    if (columns == nullptr) {
        return false;
    }
    for (int i = 0; i < width; ++i) {
        columns[i] = size_t(SourceIndex(fx, i, picture.scaleNum, picture.scaleDenom, picture.width)) * c;
    }
    for (int j = 0; j < height; ++j) {
        const int sy = SourceIndex(fy, j, picture.scaleNum, picture.scaleDenom, picture.height);
        const unsigned char* source = picture.pixels + size_t(sy) * picture.bytesPerRow;
        unsigned char* target = texels + size_t(height - 1 - j) * size_t(width) * outChannels;
        if (opaque) {
            for (int i = 0; i < width; ++i, target += 4) {
                const unsigned char* p = source + columns[i];
                target[0] = p[0];
                target[1] = p[1];
                target[2] = p[2];
                target[3] = 255;
            }
        } else {
            for (int i = 0; i < width; ++i, target += c) {
                std::memcpy(target, source + columns[i], c);
            }
        }
    }
    std::free(columns);
    return true;
}

}  // namespace

bool ResamplePicture(const DecodedPicture& picture, int width, int height, unsigned char* texels)
{
    return Resample(picture, width, height, false, texels);
}

bool ResamplePictureOpaque(const DecodedPicture& picture, int width, int height, unsigned char* texels)
{
    return Resample(picture, width, height, true, texels);
}

bool MakePictureTexels(const char* path, int resolution, int maxTextureSize, PictureTexels* texels, bool opaque)
{
    *texels = PictureTexels{nullptr, 0, 0, GL_RGB, 0, 0};
    PictureFile file;
    if (!ReadPictureFile(path, &file)) {
        return false;
    }
    int pictureWidth = 0;
    int pictureHeight = 0;
    if (!ReadPictureSize(file.data(), file.size(), &pictureWidth, &pictureHeight)) {
        FreePictureFile(&file);
        return false;
    }
    int width = 0;
    int height = 0;
    PictureTextureSize(resolution, pictureWidth, pictureHeight, maxTextureSize, &width, &height);
    DecodedPicture picture;
    const bool decoded = DecodePicture(file.data(), file.size(), width, height, &picture);
    FreePictureFile(&file);
    if (!decoded) {
        return false;
    }
    const size_t c = opaque || picture.bitsPerPixel == 32 ? 4 : 3;
    auto* buffer = static_cast<unsigned char*>(std::malloc(c * size_t(width) * size_t(height)));
    if (buffer == nullptr || !Resample(picture, width, height, opaque, buffer)) {
        std::free(buffer);
        FreeDecodedPicture(&picture);
        return false;
    }
    *texels = PictureTexels{
        buffer, width, height, c == 4 ? GLenum(GL_RGBA) : GLenum(GL_RGB), picture.fullWidth, picture.fullHeight};
    FreeDecodedPicture(&picture);
    return true;
}
