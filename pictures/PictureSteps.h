#pragma once
#include "pictures/picture_decoder.h"

// The GL-free steps of the picture loader (pictures/Pictures.h), apart so
// that they can be tested without a context.

// Path buffers hold 1024 characters and the terminator.
constexpr int kPicturePathSize = 1025;

// Joins folder and file name into `path` (kPicturePathSize bytes) as JoinPath
// (platform/join_path.h) does: a "/" between them unless the folder ends in
// one, the name alone for an empty folder. False, path empty, when the result
// exceeds 1024 characters.
bool JoinPicturePath(const char* folder, const char* name, char* path);

// Texture size for a pictureWidth x pictureHeight picture: 512 x 512 for
// resolution 0, 1024 x 1024 for 1, otherwise each side the power of two
// nearest in the logarithmic sense (724 -> 512, 725 -> 1024), capped at
// maxTextureSize when that is positive.
void PictureTextureSize(int resolution, int pictureWidth, int pictureHeight, int maxTextureSize, int* width,
                        int* height);

// Resamples `picture` by nearest neighbour into width x height texels of 3 or
// 4 bytes (as picture.bitsPerPixel says), bottom row first: texel (i, j)
// takes the picture's own pixel (floor(fx * i), floor(fy * j)) counted from
// the top, fx = fullWidth / width, fy = fullHeight / height in single
// precision, read from the decoded pixel that covers it when the picture was
// decoded at a reduced scale. False only when working memory runs out.
bool ResamplePicture(const DecodedPicture& picture, int width, int height, unsigned char* texels);
// The same sampling into opaque RGBA texels (4 bytes, alpha 255, whatever
// the picture's own alpha), as BuildTexture would upload them in alpha mode 0.
bool ResamplePictureOpaque(const DecodedPicture& picture, int width, int height, unsigned char* texels);

// A picture file made ready for upload.
struct PictureTexels {
    unsigned char* texels;  // width x height texels, bottom row first (malloc'd; caller frees)
    int width;              // texture pixels wide
    int height;             // texture pixels high
    unsigned type;          // GL_RGB (3 bytes a texel) or GL_RGBA (4)
    int pictureWidth;       // the picture's own pixels wide
    int pictureHeight;      // the picture's own pixels high
};

// Reads, decodes (JPEG at the smallest DCT scale that covers the texture
// size) and resamples the picture at `path`. False, `texels` null, when the
// file is no decodable picture within the size bound or memory runs out.
// With `opaque` the texels are always opaque RGBA (ResamplePictureOpaque).
bool MakePictureTexels(const char* path, int resolution, int maxTextureSize, PictureTexels* texels,
                       bool opaque = false);
