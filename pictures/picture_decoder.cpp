// Picture decoding: file reading, kind sniffing and dispatch to the readers.
#include "pictures/picture_decoder.h"
#include "platform/posix_small_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "pictures/picture_decoder_formats.h"

namespace {

bool IsJpeg(const unsigned char* data, size_t size)
{
    constexpr unsigned char kJpeg[] = {0xFF, 0xD8, 0xFF};
    return size >= sizeof kJpeg && std::memcmp(data, kJpeg, sizeof kJpeg) == 0;
}

bool IsPng(const unsigned char* data, size_t size)
{
    constexpr unsigned char kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0;
}

bool IsGif(const unsigned char* data, size_t size)
{
    return size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

bool IsWebp(const unsigned char* data, size_t size)
{
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

// PNG and GIF are decoded at full size whatever the need.
bool DecodePngAtAnySize(const unsigned char* data, size_t size, int, int, DecodedPicture* picture)
{
    return DecodePng(data, size, picture);
}

bool DecodeGifAtAnySize(const unsigned char* data, size_t size, int, int, DecodedPicture* picture)
{
    return DecodeGif(data, size, picture);
}

// One kind of picture: how its first bytes look, and its readers.
struct PictureKind {
    bool (*sniff)(const unsigned char* data, size_t size);
    bool (*readSize)(const unsigned char* data, size_t size, int* width, int* height);
    bool (*decode)(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture);
};

// In the order they are tried: the signatures first, SVG's markup last.
constexpr PictureKind kPictureKinds[] = {
    {IsJpeg, ReadJpegSize, DecodeJpeg},        // at a reduced DCT scale
    {IsPng, ReadPngSize, DecodePngAtAnySize},  // at full size
    {IsGif, ReadGifSize, DecodeGifAtAnySize},  // the first frame, at full size
    {IsWebp, ReadWebpSize, DecodeWebp},        // a still one scaled by libwebp
    {LooksLikeSvg, ReadSvgSize, DecodeSvg},    // drawn at the size needed
};

// The kind from the first bytes of the data, whatever the file is called;
// null when it is none of them.
const PictureKind* SniffPicture(const unsigned char* data, size_t size)
{
    if (data == nullptr) {
        return nullptr;
    }
    for (const PictureKind& kind : kPictureKinds) {
        if (kind.sniff(data, size)) {
            return &kind;
        }
    }
    return nullptr;
}

void ClearPicture(DecodedPicture* picture)
{
    picture->pixels = nullptr;
    picture->bytesPerRow = 0;
    picture->bitsPerPixel = 0;
    picture->width = 0;
    picture->height = 0;
    picture->fullWidth = 0;
    picture->fullHeight = 0;
    picture->scaleNum = 1;
    picture->scaleDenom = 1;
}

}  // namespace

bool PictureSizeAccepted(long long width, long long height)
{
    return width >= 1 && height >= 1 && width <= kPictureMaxSide && height <= kPictureMaxSide &&
           static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) <= kPictureMaxPixels;
}

bool AllocateDecodedPicture(DecodedPicture* picture, int width, int height, int bitsPerPixel)
{
    ClearPicture(picture);
    if (!PictureSizeAccepted(width, height) || (bitsPerPixel != 24 && bitsPerPixel != 32)) {
        return false;
    }
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel / 8);
    auto* pixels = static_cast<unsigned char*>(std::malloc(stride * static_cast<size_t>(height)));
    if (pixels == nullptr) {
        return false;
    }
    picture->pixels = pixels;
    picture->bytesPerRow = stride;
    picture->bitsPerPixel = bitsPerPixel;
    picture->width = width;
    picture->height = height;
    picture->fullWidth = width;
    picture->fullHeight = height;
    return true;
}

void CoveringSize(int fullWidth, int fullHeight, int minWidth, int minHeight, int* width, int* height)
{
    *width = fullWidth;
    *height = fullHeight;
    if (fullWidth < 1 || fullHeight < 1 || (minWidth <= 0 && minHeight <= 0)) {
        return;
    }
    const double scale =
        std::max(double(std::max(minWidth, 0)) / fullWidth, double(std::max(minHeight, 0)) / fullHeight);
    if (scale >= 1.0) {
        return;
    }
    // The small allowance keeps an exact fit (1024 of 2048 at 1/2) from
    // rounding up a pixel.
    auto side = [scale](int full) { return std::clamp(static_cast<int>(std::ceil(full * scale - 1e-9)), 1, full); };
    *width = side(fullWidth);
    *height = side(fullHeight);
}

void SetDecodedScale(DecodedPicture* picture, int fullWidth, int fullHeight)
{
    picture->fullWidth = fullWidth;
    picture->fullHeight = fullHeight;
    const bool wide = fullWidth >= fullHeight;
    const int decoded = wide ? picture->width : picture->height;
    const int full = wide ? fullWidth : fullHeight;
    picture->scaleNum = decoded == full ? 1 : decoded;
    picture->scaleDenom = decoded == full ? 1 : full;
}

bool ReadPictureFile(const char* path, PictureFile* file)
{
    file->bytes.clear();
    if (!ReadSmallFile(path, kPictureMaxFileBytes, &file->bytes) || file->bytes.empty()) {
        file->bytes.clear();
        return false;
    }
    return true;
}

void FreePictureFile(PictureFile* file)
{
    std::string().swap(file->bytes);
}

bool ReadPictureSize(const unsigned char* data, size_t size, int* width, int* height)
{
    int w = 0;
    int h = 0;
    const PictureKind* kind = SniffPicture(data, size);
    const bool ok = kind != nullptr && kind->readSize(data, size, &w, &h);
    if (!ok || !PictureSizeAccepted(w, h)) {
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

bool DecodePicture(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture)
{
    ClearPicture(picture);
    DecodedPicture result;
    ClearPicture(&result);
    const PictureKind* kind = SniffPicture(data, size);
    const bool ok = kind != nullptr && kind->decode(data, size, minWidth, minHeight, &result);
    if (!ok) {
        FreeDecodedPicture(&result);
        return false;
    }
    *picture = result;
    return true;
}

bool DecodePictureFile(const char* path, int minWidth, int minHeight, DecodedPicture* picture)
{
    ClearPicture(picture);
    PictureFile file;
    if (!ReadPictureFile(path, &file)) {
        return false;
    }
    const bool ok = DecodePicture(file.data(), file.size(), minWidth, minHeight, picture);
    FreePictureFile(&file);
    return ok;
}

void FreeDecodedPicture(DecodedPicture* picture)
{
    std::free(picture->pixels);
    ClearPicture(picture);
}

bool DecodePictureFileRgba(const char* path, int* width, int* height, std::vector<unsigned char>* rgba)
{
    DecodedPicture picture = {};
    if (!DecodePictureFile(path, 0, 0, &picture)) {
        return false;
    }
    const int w = picture.width, h = picture.height;
    const int channels = picture.bitsPerPixel / 8;
    rgba->assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 255);
    for (int y = 0; y < h; ++y) {
        const unsigned char* in = picture.pixels + static_cast<size_t>(y) * picture.bytesPerRow;
        unsigned char* out = rgba->data() + static_cast<size_t>(y) * static_cast<size_t>(w) * 4;
        for (int x = 0; x < w; ++x, in += channels, out += 4) {
            std::memcpy(out, in, static_cast<size_t>(channels));
        }
    }
    FreeDecodedPicture(&picture);
    *width = w;
    *height = h;
    return true;
}
