// Picture decoding: file reading, kind sniffing and dispatch to the readers.
#include "platform/picture_decoder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    file->data = nullptr;
    file->size = 0;
    if (path == nullptr) {
        return false;
    }
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        static_cast<unsigned long long>(info.st_size) > kPictureMaxFileBytes) {
        close(fd);
        return false;
    }
    size_t const size = static_cast<size_t>(info.st_size);
    auto* data = static_cast<unsigned char*>(std::malloc(size));
    if (data == nullptr) {
        close(fd);
        return false;
    }
    size_t done = 0;
    while (done < size) {
        ssize_t const got = read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;  // error, or the file shrank under us
        }
        done += static_cast<size_t>(got);
    }
    close(fd);
    if (done != size) {
        std::free(data);
        return false;
    }
    file->data = data;
    file->size = size;
    return true;
}

void FreePictureFile(PictureFile* file) {
    std::free(file->data);
    file->data = nullptr;
    file->size = 0;
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
    bool const ok = DecodePicture(file.data, file.size, minWidth, minHeight, picture);
    FreePictureFile(&file);
    return ok;
}

void FreeDecodedPicture(DecodedPicture* picture) {
    std::free(picture->pixels);
    ClearPicture(picture);
}
