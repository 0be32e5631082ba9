// One ONEPUZZLE::Move pass at 1/60 s for boards of 25 x 25, 50 x 37 and
// 100 x 56 pieces, while scattering (joining off) and while assembling
// (joining on), with the shipped joining step (the join index) and with the
// reference step that runs every piece against every other ("Reference").
// Each case is seeded and runs a fixed number of passes from the same starting
// state, so figures compare across changes of the pass. The timer is pinned to
// keep the board in its phase; the pieces move on from pass to pass as they
// would on screen.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "puzzle/Frustum.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/reference_join.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;

struct Board {
    int pictureWidth, pictureHeight, puzzleWidth;  // gives the board's columns x rows
    int columns, rows;
    int referencePasses;  // measured passes of the reference while assembling
};

const Board kBoards[] = {
    {1000, 1000, 25, 25, 25, 600},
    {1600, 1200, 50, 50, 37, 120},
    {1920, 1080, 100, 100, 56, 20},
};

// A board of the given kind, blown apart and scattered for `seconds`.
bool Scattered(ONEPUZZLE& puzzle, const Board& board, float seconds)
{
    std::srand(1);
    SetEngineFrustum(16.0f / 9.0f);
    puzzle.picWidth = board.pictureWidth;
    puzzle.picHeight = board.pictureHeight;
    puzzle.puzzleWidth = board.puzzleWidth;
    if (!puzzle.NewPuzzle() || puzzle.columns != board.columns || puzzle.rows != board.rows)
        return false;
    puzzle.restartTimer = 0.0f;  // blow apart in the first pass
    for (float t = 0.0f; t < seconds; t += kStep)
        puzzle.Move(kStep);
    return true;
}

void Pass(ONEPUZZLE& puzzle, bool reference)
{
    if (reference)
        ReferenceMove(puzzle, kStep);
    else
        puzzle.Move(kStep);
}

void MoveScattering(benchmark::State& state, const Board& board, bool reference)
{
    ONEPUZZLE puzzle;
    if (!Scattered(puzzle, board, 5.0f)) {
        state.SkipWithError("board not as expected");
        return;
    }
    for (auto _ : state) {
        puzzle.restartTimer = -5.0f;
        Pass(puzzle, reference);
    }
    state.counters["pieces"] = puzzle.pieceCount;
}

void MoveAssembling(benchmark::State& state, const Board& board, bool reference)
{
    ONEPUZZLE puzzle;
    if (!Scattered(puzzle, board, 15.0f)) {
        state.SkipWithError("board not as expected");
        return;
    }
    for (auto _ : state) {
        puzzle.restartTimer = 21.0f;
        Pass(puzzle, reference);
    }
    state.counters["pieces"] = puzzle.pieceCount;
    state.counters["largestGroup"] = puzzle.largestGroup;
}

// BM_Move/<phase>[/Reference]/<columns>x<rows>
void RegisterAll()
{
    for (const Board& board : kBoards) {
        const std::string size = std::to_string(board.columns) + "x" + std::to_string(board.rows);
        for (bool reference : {false, true}) {
            const std::string kind = reference ? "/Reference/" : "/";
            benchmark::RegisterBenchmark(("BM_Move/Scattering" + kind + size).c_str(), MoveScattering, board, reference)
                ->Iterations(600)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("BM_Move/Assembling" + kind + size).c_str(), MoveAssembling, board, reference)
                ->Iterations(reference ? board.referencePasses : 600)
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
