// Picture decoding: file reading, kind sniffing and dispatch to the readers.
#include "pictures/picture_decoder.h"
#include "platform/posix_small_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "pictures/picture_decoder_formats.h"

namespace {

enum class PictureKind { None, Jpeg, Png, Gif, Webp, Svg };

// The kind from the first bytes of the data, whatever the file is called.
PictureKind SniffPicture(const unsigned char* data, size_t size)
{
    constexpr unsigned char kJpeg[] = {0xFF, 0xD8, 0xFF};
    constexpr unsigned char kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (data == nullptr) {
        return PictureKind::None;
    }
    if (size >= sizeof kJpeg && std::memcmp(data, kJpeg, sizeof kJpeg) == 0) {
        return PictureKind::Jpeg;
    }
    if (size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0) {
        return PictureKind::Png;
    }
    if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
        return PictureKind::Gif;
    }
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0) {
        return PictureKind::Webp;
    }
    if (LooksLikeSvg(data, size)) {
        return PictureKind::Svg;
    }
    return PictureKind::None;
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
    bool ok = false;
    switch (SniffPicture(data, size)) {
    case PictureKind::Jpeg:
        ok = ReadJpegSize(data, size, &w, &h);
        break;
    case PictureKind::Png:
        ok = ReadPngSize(data, size, &w, &h);
        break;
    case PictureKind::Gif:
        ok = ReadGifSize(data, size, &w, &h);
        break;
    case PictureKind::Webp:
        ok = ReadWebpSize(data, size, &w, &h);
        break;
    case PictureKind::Svg:
        ok = ReadSvgSize(data, size, &w, &h);
        break;
    case PictureKind::None:
        break;
    }
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
    bool ok = false;
    switch (SniffPicture(data, size)) {
    case PictureKind::Jpeg:
        ok = DecodeJpeg(data, size, minWidth, minHeight, &result);
        break;
    case PictureKind::Png:
        ok = DecodePng(data, size, &result);
        break;
    case PictureKind::Gif:
        ok = DecodeGif(data, size, &result);
        break;
    case PictureKind::Webp:
        ok = DecodeWebp(data, size, minWidth, minHeight, &result);
        break;
    case PictureKind::Svg:
        ok = DecodeSvg(data, size, minWidth, minHeight, &result);
        break;
    case PictureKind::None:
        break;
    }
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
