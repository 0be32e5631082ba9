// Picture decoding: file reading, kind sniffing and dispatch to the readers.
#include "platform/picture_decoder.h"
#include "platform/posix_small_file.h"

#include <cstdlib>
#include <cstring>

#include "platform/picture_decoder_formats.h"

namespace {

enum class PictureKind { None, Jpeg, Png, Gif };

// The kind from the first bytes of the data, whatever the file is called.
PictureKind SniffPicture(const unsigned char* data, size_t size) {
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
    return PictureKind::None;
}

void ClearPicture(DecodedPicture* picture) {
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

bool PictureSizeAccepted(long long width, long long height) {
    return width >= 1 && height >= 1 && width <= kPictureMaxSide && height <= kPictureMaxSide &&
           static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) <=
               kPictureMaxPixels;
}

bool AllocateDecodedPicture(DecodedPicture* picture, int width, int height, int bitsPerPixel) {
    ClearPicture(picture);
    if (!PictureSizeAccepted(width, height) || (bitsPerPixel != 24 && bitsPerPixel != 32)) {
        return false;
    }
    size_t const stride = static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel / 8);
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

bool ReadPictureFile(const char* path, PictureFile* file) {
    file->bytes.clear();
    if (!ReadSmallFile(path, kPictureMaxFileBytes, &file->bytes) || file->bytes.empty()) {
        file->bytes.clear();
        return false;
    }
    return true;
}

void FreePictureFile(PictureFile* file) {
    std::string().swap(file->bytes);
}

bool ReadPictureSize(const unsigned char* data, size_t size, int* width, int* height) {
    int w = 0;
    int h = 0;
    bool ok = false;
    switch (SniffPicture(data, size)) {
    case PictureKind::Jpeg: ok = ReadJpegSize(data, size, &w, &h); break;
    case PictureKind::Png: ok = ReadPngSize(data, size, &w, &h); break;
    case PictureKind::Gif: ok = ReadGifSize(data, size, &w, &h); break;
    case PictureKind::None: break;
    }
    if (!ok || !PictureSizeAccepted(w, h)) {
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

bool DecodePicture(const unsigned char* data, size_t size, int minWidth, int minHeight,
                   DecodedPicture* picture) {
    ClearPicture(picture);
    DecodedPicture result;
    ClearPicture(&result);
    bool ok = false;
    switch (SniffPicture(data, size)) {
    case PictureKind::Jpeg: ok = DecodeJpeg(data, size, minWidth, minHeight, &result); break;
    case PictureKind::Png: ok = DecodePng(data, size, &result); break;
    case PictureKind::Gif: ok = DecodeGif(data, size, &result); break;
    case PictureKind::None: break;
    }
    if (!ok) {
        FreeDecodedPicture(&result);
        return false;
    }
    *picture = result;
    return true;
}

bool DecodePictureFile(const char* path, int minWidth, int minHeight, DecodedPicture* picture) {
    ClearPicture(picture);
    PictureFile file;
    if (!ReadPictureFile(path, &file)) {
        return false;
    }
    bool const ok = DecodePicture(file.data(), file.size(), minWidth, minHeight, picture);
    FreePictureFile(&file);
    return ok;
}

void FreeDecodedPicture(DecodedPicture* picture) {
    std::free(picture->pixels);
    ClearPicture(picture);
}
