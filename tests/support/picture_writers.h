#pragma once
// Test pictures made in code: PNG (any colour type and depth, interlaced,
// palette with tRNS), JPEG (grey, RGB, CMYK, progressive) and GIF (palette,
// transparency, offset and interlaced first image), encoded into memory with
// the same libraries the decoder uses.
#include <string>
#include <vector>

namespace testpics {

using Bytes = std::vector<unsigned char>;

// PNG from rows packed as PNG stores them (top first, no filter byte).
// colorType: 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA. paletteRgb
// holds 3 bytes per entry; trns is the tRNS chunk's payload. Empty on failure.
Bytes EncodePng(int width, int height, int colorType, int bitDepth, const Bytes& rows,
                bool interlaced = false, const Bytes& paletteRgb = {}, const Bytes& trns = {});
// 8-bit RGB (channels 3) or RGBA (4) pixels, top row first.
Bytes EncodePngRgb(int width, int height, const Bytes& pixels, int channels);
// JPEG from interleaved 8-bit samples, top row first: components 1 (grey),
// 3 (RGB) or 4 (CMYK, stored as given with an Adobe marker).
Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels, int quality = 90,
                 bool progressive = false);
// GIF89a with one image of w x h palette indices at (left, top) on a
// screenWidth x screenHeight screen; paletteRgb 3 bytes per entry (2..256
// entries, a power of two). transparentIndex -1 for none.
Bytes EncodeGif(int screenWidth, int screenHeight, int left, int top, int width, int height,
                const Bytes& paletteRgb, const Bytes& indices, int transparentIndex = -1,
                bool interlaced = false);

// A PNG that is only a signature, an IHDR of the given size (8-bit RGB), a
// tiny IDAT and IEND: a header claiming a picture too large to decode.
Bytes PngHeaderOnly(unsigned width, unsigned height);

// Deterministic busy content: channel k of pixel (x, y).
unsigned char PatternSample(int x, int y, int k);
// width x height pixels of `channels` PatternSample values, top row first.
Bytes PatternPixels(int width, int height, int channels);

bool WriteFileBytes(const std::string& path, const Bytes& bytes);
// Number of open file descriptors of this process.
int CountOpenFds();

// A fresh directory under /tmp, removed with its contents when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }   // no trailing "/"
    std::string Join(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;  // made by mkdtemp; empty when that failed
};

}  // namespace testpics
