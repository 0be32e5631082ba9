// libFuzzer harness for the picture decoder (JPEG with EXIF, PNG, GIF, WebP, SVG by content).
// The first input byte picks the size the caller needs (0: full size, else a
// JPEG may be decoded at a reduced DCT scale); the rest is the file. The
// first and last byte of each row of a decoded picture are read so that a
// buffer smaller than its stated size shows up under ASan. Pictures above
// 1 M pixels are skipped after the header is read, to keep each run fast
// (the size bound has unit tests of its own).
#include <cstddef>
#include <cstdint>

#include "pictures/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const int need = data[0] * 8;
    ++data;
    --size;
    int width = 0, height = 0;
    if (!ReadPictureSize(data, size, &width, &height)) {
        DecodedPicture picture;
        if (DecodePicture(data, size, need, need, &picture)) {
            __builtin_trap();  // a picture whose header can't be read must not decode
        }
        return 0;
    }
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > (uint64_t{1} << 20)) {
        return 0;
    }
    DecodedPicture picture;
    if (!DecodePicture(data, size, need, need, &picture)) {
        return 0;
    }
    if (picture.fullWidth != width || picture.fullHeight != height || picture.width > width ||
        picture.height > height || (picture.bitsPerPixel != 24 && picture.bitsPerPixel != 32)) {
        __builtin_trap();
    }
    const size_t rowBytes = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.bitsPerPixel / 8);
    volatile unsigned char sink = 0;
    for (int y = 0; y < picture.height && rowBytes > 0; ++y) {
        const unsigned char* row = picture.pixels + static_cast<size_t>(y) * picture.bytesPerRow;
        sink = row[0];
        sink = row[rowBytes - 1];
    }
    (void)sink;
    FreeDecodedPicture(&picture);
    return 0;
}
