#pragma once
#include <cstdint>

// Writes an 8-bit RGBA image, rows top first, to `path` as PNG. The file is
// written beside `path` and renamed into place, so a failed write never
// leaves a half-written picture. False when the file can't be written.
bool WritePNG(const char* path, int width, int height, const uint8_t* rgbaTopFirst);
// The same for an 8-bit RGB image (3 bytes per pixel).
bool WritePNGRGB(const char* path, int width, int height, const uint8_t* rgbTopFirst);
