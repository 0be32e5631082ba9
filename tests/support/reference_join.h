#pragma once
// The reference joining step: the piece against every other piece of the
// board in array order, as the pass was first written. Quadratic in the
// pieces; kept for the tests and benchmarks that hold the shipped step
// (the puzzle's join index) against it.
#include "puzzle/ONEPUZZLE.h"

inline void ReferenceJoin(ONEPIECE& piece, ONEPUZZLE& puzzle)
{
    for (int k = 0; k < puzzle.pieceCount; ++k) {
        if (piece.MustWalkChainFirst())
            break;  // every further candidate of this pass is skipped
        ONEPIECE& other = puzzle.pieces[k];
        if (piece.PassesOver(other))
            continue;
        if (ONEPIECE* root = piece.JoinTarget(other, puzzle.pieceCount))
            piece.HangGroupUnder(root);
    }
}

// One pass of the puzzle with the reference joining step.
inline void ReferenceMove(ONEPUZZLE& puzzle, float dt)
{
    puzzle.MoveWith(dt, ReferenceJoin);
}
