#pragma once
// Internal to the picture decoder: one reader per picture kind, each over the
// file's bytes in memory, plus the size bound and buffer set-up they share.
// The public interface is pictures/picture_decoder.h.
#include <cstddef>

#include "pictures/picture_decoder.h"

// True when a width x height picture is within the decoder's size bound
// (both sides at least 1, at most kPictureMaxSide, at most kPictureMaxPixels).
bool PictureSizeAccepted(long long width, long long height);

// Allocates picture->pixels for width x height pixels of bitsPerPixel (24 or
// 32), rows packed, and fills in the size fields with a 1/1 scale. False,
// picture left empty, when the size is out of bound or malloc fails.
bool AllocateDecodedPicture(DecodedPicture* picture, int width, int height, int bitsPerPixel);

// The size at which a picture of fullWidth x fullHeight, drawn at a scale
// of the decoder's choosing with its aspect kept, still covers minWidth x
// minHeight: never above its own size, its own size for 0, 0.
void CoveringSize(int fullWidth, int fullHeight, int minWidth, int minHeight, int* width, int* height);

// Records on a picture decoded at picture->width x picture->height that its
// own size is fullWidth x fullHeight, with the scale between them (taken
// along the longer side).
void SetDecodedScale(DecodedPicture* picture, int fullWidth, int fullHeight);

bool ReadJpegSize(const unsigned char* data, size_t size, int* width, int* height);
bool DecodeJpeg(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture);

bool ReadPngSize(const unsigned char* data, size_t size, int* width, int* height);
bool DecodePng(const unsigned char* data, size_t size, DecodedPicture* picture);

bool ReadGifSize(const unsigned char* data, size_t size, int* width, int* height);
bool DecodeGif(const unsigned char* data, size_t size, DecodedPicture* picture);

bool ReadWebpSize(const unsigned char* data, size_t size, int* width, int* height);
// Still pictures at CoveringSize of the need; an animation's first frame at full size.
bool DecodeWebp(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture);

// True when the bytes start (after a byte-order mark and white space) with
// markup whose first few kilobytes hold an <svg> element.
bool LooksLikeSvg(const unsigned char* data, size_t size);
bool ReadSvgSize(const unsigned char* data, size_t size, int* width, int* height);
// Drawn at CoveringSize of the need.
bool DecodeSvg(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture);
