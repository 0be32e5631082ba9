#pragma once
#include <functional>

class MS3D;

constexpr int kPieceShapeCount = 64;         // shapes of a set, one per edge pattern
constexpr float kModelToBoard = 0.025f;      // 40 model units make one board cell
constexpr float kPieceHalfThickness = 2.0f;  // the front face at +2 model units, the back at -2

// Reads the piece shapes from "zar.vnt" in `resourcePath` (which ends in a
// slash) one at a time, each with texture coordinates from its own positions
// and scaled to board units, and hands each to `use` with its number: first
// the full set (lumps 0 to 63, light false), then, when the file has them,
// the light set (lumps 64 to 127, light true: the same outlines in fewer
// triangles, for pieces drawn small). False when the file can't be opened or
// a shape of the full set can't be read (the shapes handed over before that
// stay handed over). *lightSet tells whether the whole light set was handed
// over; when it wasn't, the caller draws the full set at every size.
bool ReadPieceShapes(const char* resourcePath, const std::function<void(int shape, bool light, MS3D& model)>& use,
                     bool* lightSet);
