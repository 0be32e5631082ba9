#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Picture decoding for the picture loader: JPEG (libjpeg-turbo), PNG (libpng),
// GIF (giflib, first frame), WebP (libwebp) and SVG (librsvg), recognised by
// their first bytes, never by the file name. Every picture comes out as 8-bit
// RGB (24 bits per pixel) or RGBA (32), rows from the top of the picture
// downwards, as a viewer shows it:
//   grey, grey + alpha, palette (with tRNS), 16-bit and interlaced PNG;
//   grey, RGB and CMYK/YCCK JPEG (Adobe-inverted CMYK understood), at a
//   reduced DCT scale when the caller needs fewer pixels, turned and
//   mirrored as its EXIF orientation says (size included);
//   GIF: the first image on the logical screen, palette colours, RGBA when
//   it has a transparent colour or leaves part of the screen uncovered;
//   WebP: lossy or lossless, RGBA when it has alpha, scaled down by libwebp
//   when the caller needs fewer pixels; an animation's first frame (RGBA);
//   SVG: drawn at the size the caller needs (aspect kept, never above its
//   own size), RGBA when anything in it is not opaque. Its own size is its
//   width and height in pixels (at 96 dpi), else its viewBox's, enlarged
//   until the shorter side is 1024 and fitted into the size bound.
// Anything else, damaged or truncated data included, is a failed result.
//
// Size bound: a picture is refused, before any pixel buffer is allocated,
// when a side exceeds kPictureMaxSide or it has more than kPictureMaxPixels
// pixels (so a decoded buffer never exceeds 256 MiB). Files larger than
// kPictureMaxFileBytes are not read.

constexpr int kPictureMaxSide = 16384;                    // pixels per side
constexpr size_t kPictureMaxPixels = size_t(1) << 26;     // 64 megapixels
constexpr size_t kPictureMaxFileBytes = size_t(1) << 28;  // 256 MiB

// A picture file's bytes, read whole.
struct PictureFile {
    std::string bytes;  // file contents (owned)

    const unsigned char* data() const { return reinterpret_cast<const unsigned char*>(bytes.data()); }
    size_t size() const { return bytes.size(); }
};

// One decoded picture. Decoded pixel (x, y) covers the picture's own pixels
// from (x * scaleDenom / scaleNum, y * scaleDenom / scaleNum) on.
struct DecodedPicture {
    unsigned char* pixels;  // rows from the top (malloc'd, owned; FreeDecodedPicture)
    size_t bytesPerRow;     // row stride in bytes, >= width * bitsPerPixel / 8
    int bitsPerPixel;       // 24 (R,G,B) or 32 (R,G,B,A)
    int width;              // decoded pixels wide
    int height;             // decoded pixels high
    int fullWidth;          // the picture's own pixels wide
    int fullHeight;         // the picture's own pixels high
    int scaleNum;           // decoded size / own size = scaleNum / scaleDenom
    int scaleDenom;         //   (1/1 unless decoded at a reduced scale)
};

// Reads the whole regular file at `path`. False (file left empty) when it
// can't be opened, isn't a regular file (a FIFO named like a picture is
// refused without blocking), is empty, is larger than kPictureMaxFileBytes
// or can't be read completely.
bool ReadPictureFile(const char* path, PictureFile* file);
// Releases the bytes; safe twice.
void FreePictureFile(PictureFile* file);

// The picture's own size from its header (for SVG, the parsed document), as
// shown: a JPEG turned a quarter by its orientation has its sides swapped.
// False when the bytes are no picture of the kinds above, the header is
// damaged, or the picture is beyond the size bound.
bool ReadPictureSize(const unsigned char* data, size_t size, int* width, int* height);

// Decodes the picture in `data`. A JPEG is decoded at the smallest DCT scale
// whose result is still at least minWidth x minHeight (sizes as shown), or at
// full size when the picture is smaller; a still WebP and an SVG at the
// smallest size that covers minWidth x minHeight; pass 0, 0 for full size.
// PNG and GIF are always decoded at full size. False, `picture` left empty,
// on any failure.
bool DecodePicture(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture);
// ReadPictureFile + DecodePicture.
bool DecodePictureFile(const char* path, int minWidth, int minHeight, DecodedPicture* picture);
// Releases the pixels; safe twice.
void FreeDecodedPicture(DecodedPicture* picture);

// The picture file at `path` at its own size as RGBA rows, top row first
// (opaque pictures get alpha 255). False when it can't be decoded.
bool DecodePictureFileRgba(const char* path, int* width, int* height, std::vector<unsigned char>* rgba);
