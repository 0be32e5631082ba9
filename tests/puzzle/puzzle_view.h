#pragma once
// The engine's view for puzzle tests, without GL: the matrices that
// gluPerspective(45, aspect, 1, 120) and gluLookAt((0, 0, 40), origin, +y)
// leave on the stacks, read back as floats, turned into the frustum planes.
#include <cmath>

#include "puzzle/Frustum.h"
#include "puzzle/ONEPUZZLE.h"

namespace puzzle_test {

inline void ViewMatrices(float aspect, float projection[16], float modelview[16])
{
    const double zNear = 1.0, zFar = 120.0;
    const double f = 1.0 / std::tan(45.0 / 2.0 * 3.141592653589793 / 180.0);
    for (int i = 0; i < 16; ++i)
        projection[i] = modelview[i] = 0.0f;
    projection[0] = static_cast<float>(f / aspect);
    projection[5] = static_cast<float>(f);
    projection[10] = static_cast<float>((zFar + zNear) / (zNear - zFar));
    projection[11] = -1.0f;
    projection[14] = static_cast<float>(2.0 * zFar * zNear / (zNear - zFar));
    modelview[0] = modelview[5] = modelview[10] = modelview[15] = 1.0f;
    modelview[14] = -40.0f;  // the look-at from (0, 0, 40)
}

// Sets the process-wide frustum planes as the engine's set-up does.
inline void SetEngineFrustum(float aspect = 4.0f / 3.0f)
{
    float projection[16], modelview[16];
    ViewMatrices(aspect, projection, modelview);
    FrustumPlanesFromMatrices(projection, modelview, frustum);
}

// A board cut for a picture of width x height pixels under the engine's view.
inline bool MakeBoard(ONEPUZZLE& puzzle, int width, int height, int puzzleWidth,
                      float aspect = 4.0f / 3.0f)
{
    SetEngineFrustum(aspect);
    puzzle.picWidth = width;
    puzzle.picHeight = height;
    puzzle.puzzleWidth = puzzleWidth;
    return puzzle.NewPuzzle();
}

// The piece of home cell (column, row), row 0 at the bottom.
inline ONEPIECE& At(ONEPUZZLE& puzzle, int column, int row)
{
    return puzzle.pieces[(puzzle.rows - 1 - row) * puzzle.columns + column];
}

// The root at the end of a piece's chain; null when the chain is longer than
// the board (a loop).
inline const ONEPIECE* RootOf(const ONEPUZZLE& puzzle, const ONEPIECE* piece)
{
    for (int steps = 0; piece->parent != nullptr; ++steps) {
        if (steps > puzzle.pieceCount)
            return nullptr;
        piece = piece->parent;
    }
    return piece;
}

}  // namespace puzzle_test
