#pragma once
#include <cstddef>
#include <string>

// Picture decoding for the picture loader: JPEG (libjpeg-turbo), PNG (libpng)
// and GIF (giflib, first frame), recognised by their first bytes, never by the
// file name. Every picture comes out as 8-bit RGB (24 bits per pixel) or RGBA
// (32), rows from the top of the picture downwards:
//   grey, grey + alpha, palette (with tRNS), 16-bit and interlaced PNG;
//   grey, RGB and CMYK/YCCK JPEG (Adobe-inverted CMYK understood), at a
//   reduced DCT scale when the caller needs fewer pixels;
//   GIF: the first image on the logical screen, palette colours, RGBA when
//   it has a transparent colour or leaves part of the screen uncovered.
// Anything else, damaged or truncated data included, is a failed result.
//
// Size bound: a picture is refused, before any pixel buffer is allocated,
// when a side exceeds kPictureMaxSide or it has more than kPictureMaxPixels
// pixels (so a decoded buffer never exceeds 256 MiB). Files larger than
// kPictureMaxFileBytes are not read.

constexpr int kPictureMaxSide = 16384;                     // pixels per side
constexpr size_t kPictureMaxPixels = size_t(1) << 26;      // 64 megapixels
constexpr size_t kPictureMaxFileBytes = size_t(1) << 28;   // 256 MiB

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
    int scaleDenom;         //   (1/1 unless a JPEG was decoded at reduced scale)
};

// Reads the whole regular file at `path`. False (file left empty) when it
// can't be opened, isn't a regular file (a FIFO named like a picture is
// refused without blocking), is empty, is larger than kPictureMaxFileBytes
// or can't be read completely.
bool ReadPictureFile(const char* path, PictureFile* file);
// Releases the bytes; safe twice.
void FreePictureFile(PictureFile* file);

// The picture's own size from its header. False when the bytes are no
// JPEG, PNG or GIF, the header is damaged, or the picture is beyond the
// size bound.
bool ReadPictureSize(const unsigned char* data, size_t size, int* width, int* height);

// Decodes the picture in `data`. A JPEG is decoded at the smallest DCT scale
// whose result is still at least minWidth x minHeight (or at full size when
// the picture is smaller); pass 0, 0 for full size. Other kinds are always
// decoded at full size. False, `picture` left empty, on any failure.
bool DecodePicture(const unsigned char* data, size_t size, int minWidth, int minHeight,
                   DecodedPicture* picture);
// ReadPictureFile + DecodePicture.
bool DecodePictureFile(const char* path, int minWidth, int minHeight, DecodedPicture* picture);
// Releases the pixels; safe twice.
void FreeDecodedPicture(DecodedPicture* picture);
