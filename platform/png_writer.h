#pragma once
#include <cstdint>

// Writes an 8-bit RGBA image, rows top first, to `path` as PNG.
// False when the file can't be written.
bool WritePNG(const char* path, int width, int height, const uint8_t* rgbaTopFirst);
