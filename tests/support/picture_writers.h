#pragma once
// Test pictures encoded into memory with the libraries the decoder uses.
#include <functional>
#include <string>
#include <vector>

namespace testpics {

using Bytes = std::vector<unsigned char>;

// PNG of rows as PNG stores them (top first, no filter byte); colorType 2 RGB, 6 RGBA. Empty on failure.
Bytes EncodePng(int width, int height, int colorType, int bitDepth, const Bytes& rows, bool interlaced = false);
// Quality-95 JPEG of interleaved 8-bit samples, top row first; components 1 (grey) or 3 (RGB).
Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels);
// GIF89a of full-screen images of palette indices (indices holds one or more frames, 50 ms each); paletteRgb has
// 2..256 entries, a power of two.
Bytes EncodeGif(int width, int height, const Bytes& paletteRgb, const Bytes& indices);

// 8-bit RGB pixels (top row first) as one kind of file: 16-bit PNG holds v*257, grey JPEG the channels' mean,
// GIF a palette of the picture's colours (empty beyond 256).
enum class Kind { Png, Png16, Jpeg, GreyJpeg, Gif };
Bytes EncodeAs(Kind kind, int width, int height, const Bytes& rgb);

// Signature, an 8-bit IHDR of the given size and colour type, one IDAT of `idat` (unless given, a tiny stream of no
// rows) and IEND: a header too large to decode, or data that doesn't fit it.
Bytes PngHeaderOnly(unsigned width, unsigned height, int colorType = 2, const Bytes& idat = {});

// Pictures written a row at a time, so that any size takes no memory to make: fill(y, row) makes row y (top first).
// 8-bit RGB or 16-bit RGBA PNG of the fastest compression; RGB JPEG (quality 80 unless given), baseline or
// progressive.
using RowFill = std::function<void(int y, unsigned char* row)>;
bool WritePngFile(const std::string& path, int width, int height, bool deep, const RowFill& fill);
bool WriteJpegFile(const std::string& path, int width, int height, bool progressive, const RowFill& fill,
                   int quality = 80);
// width x height pixels of `channels` deterministic busy samples, top row first.
Bytes PatternPixels(int width, int height, int channels);
// Number of open file descriptors of this process.
int CountOpenFds();

}  // namespace testpics
