// The 64 piece shapes: read from "zar.vnt" one model at a time, given
// texture coordinates from their own positions and scaled to board units.
// PieceShapes_gl.cpp compiles them into display lists.
#include "puzzle/PieceShapes.h"

#include <cstdio>

#include "loading/MS3D.h"
#include "loading/RESFILE.h"

namespace {

const char* const kPieceFile = "zar.vnt";

// Gives every triangle corner the texture coordinate of its unscaled model
// position (x, y): s = x/20 + 1, t = y/20. Render hands (s, 1 - t) to GL,
// so the body square [-20, 20]^2 spans [0, 2] in both directions; the
// piece's texture matrix maps that onto its own cell of the picture.
void MapTextureFromPositions(MS3D& model)
{
    for (int i = 0; i < model.numTriangles; ++i) {
        MS3D_TRIANGLE& triangle = model.triangles[i];
        for (int k = 0; k < 3; ++k) {
            const float* location = model.vertices[triangle.vertexIndices[k]].location;
            triangle.s[k] = static_cast<float>(static_cast<double>(location[0]) / 20.0 + 1.0);
            triangle.t[k] = location[1] / 20.0f;
        }
    }
}

}  // namespace

bool ReadPieceShapes(const char* resourcePath, const std::function<void(int shape, bool light, MS3D& model)>& use,
                     bool* lightSet)
{
    if (lightSet != nullptr)
        *lightSet = false;
    if (resourcePath == nullptr)
        return false;
    char path[1024];
    int length = std::snprintf(path, sizeof path, "%s%s", resourcePath, kPieceFile);
    if (length < 0 || length >= static_cast<int>(sizeof path))
        return false;  // the path doesn't fit: refuse rather than open a truncated name

    RESFILE container;
    if (!container.Open(path))
        return false;
    const bool hasLight = container.header.lumpCount >= 2 * kPieceShapeCount;
    for (int i = 0; i < (hasLight ? 2 : 1) * kPieceShapeCount; ++i) {
        const bool light = i >= kPieceShapeCount;
        MS3D model;
        if (!container.SeekLump(i) || !model.LoadFromFStream(&container.stream)) {
            container.Close();
            return light;  // a damaged light set leaves the full one
        }
        MapTextureFromPositions(model);
        model.Scale(kModelToBoard);
        use(i % kPieceShapeCount, light, model);
    }
    container.Close();
    if (lightSet != nullptr)
        *lightSet = hasLight;
    return true;
}
