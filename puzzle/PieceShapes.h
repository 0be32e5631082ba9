#pragma once
#include <functional>

class MS3D;

constexpr int kPieceShapeCount = 64;  // lumps of "zar.vnt", one per edge pattern

// Reads the piece shapes from "zar.vnt" in `resourcePath` (which ends in a
// slash) one at a time, each with texture coordinates from its own positions
// and scaled to board units, and hands each to `use` with its number. False
// when the file can't be opened or a shape can't be read (the shapes handed
// over before that stay handed over).
bool ReadPieceShapes(const char* resourcePath, const std::function<void(int shape, MS3D& model)>& use);
