#pragma once
// Writing TGA images the overlay loader accepts: type 2 (uncompressed) or
// type 10 (run-length), 24 or 32 bits per pixel, no image ID, no colour map,
// zero origin, rows stored bottom row first (the loader never flips, so the
// first stored row becomes texture row 0, the bottom of the quad).
#include <cstdint>
#include <vector>

namespace tga {

// An RGBA image, row 0 at the top.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // width * height * 4

    Image() = default;
    Image(int w, int h) : width(w), height(h), rgba(size_t(w) * size_t(h) * 4, 0) {}
    uint8_t* At(int x, int y) { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
    const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

// Serialises `image` with 24 or 32 bits per pixel, run-length encoded
// (type 10) or not (type 2). Runs never cross a row end. False for another
// depth or a size that doesn't fit 16 bits.
inline bool Write(const Image& image, int bitsPerPixel, bool runLength, std::vector<uint8_t>& out)
{
    if ((bitsPerPixel != 24 && bitsPerPixel != 32) || image.width <= 0 || image.height <= 0 || image.width > 0xFFFF ||
        image.height > 0xFFFF)
        return false;
    int bytes = bitsPerPixel / 8;
    std::vector<uint8_t> file = {0, 0, uint8_t(runLength ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    file.push_back(uint8_t(image.width));
    file.push_back(uint8_t(image.width >> 8));
    file.push_back(uint8_t(image.height));
    file.push_back(uint8_t(image.height >> 8));
    file.push_back(uint8_t(bitsPerPixel));
    file.push_back(uint8_t(bitsPerPixel == 32 ? 8 : 0));  // alpha bits; bottom-left origin

    auto putPixel = [&](const uint8_t* p) {
        file.push_back(p[2]);
        file.push_back(p[1]);
        file.push_back(p[0]);
        if (bytes == 4)
            file.push_back(p[3]);
    };
    auto same = [bytes](const uint8_t* a, const uint8_t* b) {
        for (int k = 0; k < bytes; ++k)
            if (a[k] != b[k])  // R, G, B and, for 32 bits, A
                return false;
        return true;
    };
    for (int row = image.height - 1; row >= 0; --row) {
        if (!runLength) {
            for (int x = 0; x < image.width; ++x)
                putPixel(image.At(x, row));
            continue;
        }
        int x = 0;
        while (x < image.width) {
            int run = 1;
            while (x + run < image.width && run < 128 && same(image.At(x, row), image.At(x + run, row)))
                ++run;
            if (run >= 2) {
                file.push_back(uint8_t(127 + run));
                putPixel(image.At(x, row));
                x += run;
                continue;
            }
            // A raw packet up to the next run of two or more.
            int count = 1;
            while (x + count < image.width && count < 128 &&
                   !(x + count + 1 < image.width && same(image.At(x + count, row), image.At(x + count + 1, row))))
                ++count;
            file.push_back(uint8_t(count - 1));
            for (int k = 0; k < count; ++k)
                putPixel(image.At(x + k, row));
            x += count;
        }
    }
    out.swap(file);
    return true;
}

}  // namespace tga
