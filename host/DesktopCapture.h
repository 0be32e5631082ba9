#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/screens.h"

// The arithmetic of the desktop grab (ZarnetView::GetDesktopTexture), kept
// apart from its GL so it can be checked without a context.

// The screen a grab for `frame` reads: the number of the first screen in
// the list's order that `frame` meets, else the main screen's; -1 when the
// list is empty.
int ScreenNumberForFrame(const ScreenList& screens, const ScreenRect& frame);

// Largest texture side for a grab at `detail`: 512 for 0, 1024 for 1, and
// `maxTextureSize` (the context's GL_MAX_TEXTURE_SIZE) for anything else.
int GrabSizeLimit(int detail, int maxTextureSize);

// Texture side for a screen side: the power of two nearest to it on a
// logarithmic scale (2^floor(log2(side) + 0.5)), at most `limit`. A side
// below 1 counts as 1.
int GrabTextureSide(int side, int limit);

// True when no pixel of the RGBA buffer has a red, green or blue byte other
// than 0 (alpha is not looked at). An empty buffer is all black.
bool GrabIsAllBlack(const uint8_t* rgba, size_t pixelCount);

// Scales an RGBA picture of width x height to outWidth x outHeight (both
// buffers rows of 4 bytes a pixel, no padding) with a box filter, as GLU's
// gluScaleImage does, at a tenth of its time: each output pixel averages the
// input over its own footprint when shrinking, over a one-pixel box around
// its centre when enlarging, weighted by overlap; footprints wrap around the
// edges, as the texture repeats. False when a size is below 1.
bool ScaleRgbaBox(const uint8_t* in, int width, int height, uint8_t* out, int outWidth, int outHeight);

// Builds the grab's texture in the current context (DesktopCapture_gl.cpp):
// makes `*texture` when it is 0, sets repeat wrapping and linear filters,
// scales `grab` (RGBA, bottom row first) with ScaleRgbaBox to the texture
// size of `detail`, and uploads it as GL_RGBA8 unless it came out all black.
// When the scaling fails or everything is black the texture is deleted and
// `*texture` becomes 0. False in those cases.
struct ScreenGrab;
bool BuildGrabTexture(const ScreenGrab& grab, int detail, unsigned* texture);
// Deletes the desktop picture's texture `*texture` in the current context
// unless it is 0 (as when the engine took it), and makes it 0.
void ReleaseDesktopTexture(unsigned* texture);
