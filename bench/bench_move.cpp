// One ONEPUZZLE::Move pass at 1/60 s for boards of 25 x 25, 50 x 37 and
// 100 x 56 pieces, while scattering (joining off) and while assembling
// (joining on: every piece against every other). Each case is seeded and runs
// a fixed number of passes from the same starting state, so figures compare
// across changes of the pass. The timer is pinned to keep the board in its
// phase; the pieces move on from pass to pass as they would on screen.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

#include "puzzle/Frustum.h"
#include "puzzle/ONEPUZZLE.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;

struct Board {
    int pictureWidth, pictureHeight, puzzleWidth;  // gives the board's columns x rows
    int columns, rows;
    int passes;                                    // measured passes while assembling
};

const Board kBoards[] = {
    {1000, 1000, 25, 25, 25, 600},
    {1600, 1200, 50, 50, 37, 120},
    {1920, 1080, 100, 100, 56, 20},
};

// The engine's view: 45-degree perspective, near 1, far 120, eye at z = 40.
void SetViewFrustum(float aspect)
{
    const double f = 1.0 / std::tan(22.5 * 3.141592653589793 / 180.0);
    float projection[16] = {};
    projection[0] = static_cast<float>(f / aspect);
    projection[5] = static_cast<float>(f);
    projection[10] = static_cast<float>(121.0 / -119.0);
    projection[11] = -1.0f;
    projection[14] = static_cast<float>(240.0 / -119.0);
    float modelview[16] = {};
    modelview[0] = modelview[5] = modelview[10] = modelview[15] = 1.0f;
    modelview[14] = -40.0f;
    FrustumPlanesFromMatrices(projection, modelview, frustum);
}

// A board of the given kind, blown apart and scattered for `seconds`.
bool Scattered(ONEPUZZLE& puzzle, const Board& board, float seconds)
{
    std::srand(1);
    SetViewFrustum(16.0f / 9.0f);
    puzzle.picWidth = board.pictureWidth;
    puzzle.picHeight = board.pictureHeight;
    puzzle.puzzleWidth = board.puzzleWidth;
    if (!puzzle.NewPuzzle() || puzzle.columns != board.columns || puzzle.rows != board.rows)
        return false;
    puzzle.restartTimer = 0.0f;   // blow apart in the first pass
    for (float t = 0.0f; t < seconds; t += kStep)
        puzzle.Move(kStep);
    return true;
}

void BM_MoveScattering(benchmark::State& state)
{
    const Board& board = kBoards[state.range(0)];
    ONEPUZZLE puzzle;
    if (!Scattered(puzzle, board, 5.0f)) {
        state.SkipWithError("board not as expected");
        return;
    }
    for (auto _ : state) {
        puzzle.restartTimer = -5.0f;
        puzzle.Move(kStep);
    }
    state.counters["pieces"] = puzzle.pieceCount;
    state.SetLabel(std::to_string(board.columns) + "x" + std::to_string(board.rows));
}

void BM_MoveAssembling(benchmark::State& state)
{
    const Board& board = kBoards[state.range(0)];
    ONEPUZZLE puzzle;
    if (!Scattered(puzzle, board, 15.0f)) {
        state.SkipWithError("board not as expected");
        return;
    }
    for (auto _ : state) {
        puzzle.restartTimer = 21.0f;
        puzzle.Move(kStep);
    }
    state.counters["pieces"] = puzzle.pieceCount;
    state.counters["largestGroup"] = puzzle.largestGroup;
    state.SetLabel(std::to_string(board.columns) + "x" + std::to_string(board.rows));
}

}  // namespace

BENCHMARK(BM_MoveScattering)->Arg(0)->Arg(1)->Arg(2)->Iterations(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MoveAssembling)->Arg(0)->Iterations(kBoards[0].passes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveAssembling)->Arg(1)->Iterations(kBoards[1].passes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveAssembling)->Arg(2)->Iterations(kBoards[2].passes)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
