// The shipped joining step (the join index, grid neighbours only) against the
// reference step (every piece against every other): two boards cut from the
// same seed run side by side through whole cycles and must hold the same
// state, bit for bit, after every pass.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "puzzle/Frustum.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/reference_join.h"

namespace {

// Bit for bit on purpose: -0 and 0 differ, and a NaN equals itself.
template <typename T> bool Same(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;  // NOLINT(bugprone-suspicious-memory-comparison)
}

// The first difference between the two boards, or "" when they agree in
// every field of every piece and of the puzzle.
std::string Difference(const ONEPUZZLE& a, const ONEPUZZLE& b)
{
    if (a.pieceCount != b.pieceCount)
        return "piece count";
    if (!Same(a.largestGroup, b.largestGroup) || !Same(a.restartTimer, b.restartTimer) || a.newPicture != b.newPicture)
        return "puzzle";
    for (int i = 0; i < a.pieceCount; ++i) {
        const ONEPIECE &p = a.pieces[i], &q = b.pieces[i];
        const std::pair<const char*, bool> fields[] = {
            {"parent", (p.parent ? p.parent - a.pieces : -1) == (q.parent ? q.parent - b.pieces : -1)},
            {"pos", Same(p.pos, q.pos)},
            {"velocity", Same(p.velocity, q.velocity)},
            {"direction", Same(p.direction, q.direction)},
            {"angle", Same(p.angle, q.angle)},
            {"spin", Same(p.spin, q.spin) && Same(p.targetSpin, q.targetSpin)},
            {"rotation", Same(p.rotation, q.rotation)},
            {"speed", Same(p.speed, q.speed) && Same(p.targetSpeed, q.targetSpeed)},
            {"cell", p.shape == q.shape && p.column == q.column && p.row == q.row},
            {"moveTimer", Same(p.moveTimer, q.moveTimer)},
            {"realPos", p.realPosValid == q.realPosValid && (!p.realPosValid || Same(p.realPos, q.realPos))},
            {"blend", Same(p.blend, q.blend) && Same(p.blendSpeed, q.blendSpeed)},
            {"counts", p.attachedCount == q.attachedCount && Same(p.groupShare, q.groupShare)},
        };
        for (const auto& [field, same] : fields)
            if (!same)
                return "piece " + std::to_string(i) + " " + field;
    }
    return "";
}

enum class Steps { Frame, Irregular };

struct Board {
    int pictureWidth, pictureHeight, puzzleWidth;
    int columns, rows;
    bool lockInPlace;
    int percentage;
    Steps steps;
    int cycles;     // whole cycles to run (a cycle ends when the board is blown apart again)
    int maxPasses;  // a bound in case a cycle never ends
};

// Steps of 1/60 s, or drawn between 1/60 s and 2 s (the host's range) from a
// generator of the test's own, so the puzzle's rand() draws stay the pass's.
float NextStep(Steps steps, unsigned& state)
{
    if (steps == Steps::Frame)
        return 1.0f / 60.0f;
    state = state * 1664525u + 1013904223u;
    const float u = static_cast<float>(state >> 8) / 16777216.0f;
    return 1.0f / 60.0f + u * u * (2.0f - 1.0f / 60.0f);  // mostly short, now and then long
}

void RunSideBySide(const Board& run, unsigned seed)
{
    SCOPED_TRACE(testing::Message() << run.columns << "x" << run.rows << " lock " << run.lockInPlace << " share "
                                    << run.percentage << (run.steps == Steps::Frame ? " frame" : " irregular")
                                    << " steps, seed " << seed);
    SetEngineFrustum(16.0f / 9.0f);
    ONEPUZZLE shipped, reference;
    for (ONEPUZZLE* p : {&shipped, &reference}) {
        std::srand(seed);
        p->picWidth = run.pictureWidth;
        p->picHeight = run.pictureHeight;
        p->puzzleWidth = run.puzzleWidth;
        p->lockInPlace = run.lockInPlace;
        p->finishFraction = static_cast<float>(run.percentage / 100.0);
        ASSERT_TRUE(p->NewPuzzle());
    }
    ASSERT_EQ(shipped.columns, run.columns);
    ASSERT_EQ(shipped.rows, run.rows);
    ASSERT_EQ(Difference(shipped, reference), "");

    unsigned steps = seed;
    int cycles = 0, joiningPasses = 0;
    for (int pass = 0; pass < run.maxPasses && cycles < run.cycles; ++pass) {
        const float dt = NextStep(run.steps, steps);
        const bool joining = shipped.restartTimer > 0.0f;
        const float before = shipped.restartTimer;
        std::srand(seed * 7919u + static_cast<unsigned>(pass));
        shipped.Move(dt);
        std::srand(seed * 7919u + static_cast<unsigned>(pass));
        ReferenceMove(reference, dt);
        const std::string difference = Difference(shipped, reference);
        ASSERT_EQ(difference, "") << "after pass " << pass << " (dt " << dt << ", timer " << before << ")";
        joiningPasses += joining;
        if (before >= 0.0f && shipped.restartTimer < 0.0f && pass > 0)
            ++cycles;
    }
    EXPECT_EQ(cycles, run.cycles) << "the runs didn't complete their cycles";
    EXPECT_GT(joiningPasses, 0);
}

// Frame steps on boards the reference can afford; irregular steps up to 2 s
// carry the large board through whole cycles in a few hundred passes.
TEST(JoinIndex, SameStateAsTheReferenceEveryPass)
{
    const Board boards[] = {
        {1000, 800, 10, 10, 8, true, 75, Steps::Frame, 2, 60 * 60 * 12},
        {1000, 800, 10, 10, 8, false, 0, Steps::Frame, 2, 60 * 60 * 12},
        {1000, 800, 10, 10, 8, false, 100, Steps::Irregular, 3, 20000},
        {1920, 1080, 25, 25, 14, false, 75, Steps::Frame, 1, 60 * 60 * 12},
        {1920, 1080, 25, 25, 14, true, 100, Steps::Irregular, 2, 20000},
        {1920, 1080, 25, 25, 14, true, 0, Steps::Irregular, 2, 20000},
        {1920, 1080, 50, 50, 28, true, 75, Steps::Irregular, 2, 20000},
        {1920, 1080, 50, 50, 28, false, 0, Steps::Irregular, 1, 20000},
    };
    for (const Board& run : boards)
        for (unsigned seed : {1u, 2u})
            RunSideBySide(run, seed);
}

}  // namespace
