// The board and its cycle, and the shipped joining step against the
// reference step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "puzzle/Frustum.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/ppInfo.h"
#include "tests/support/reference_join.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;
const double kTan = std::tan(22.5 * 3.141592653589793 / 180.0);

// A board cut for a picture of width x height pixels under the engine's view.
bool MakeBoard(ONEPUZZLE& p, int width, int height, int puzzleWidth, float aspect = 4.0f / 3.0f)
{
    SetEngineFrustum(aspect);
    p.picWidth = width;
    p.picHeight = height;
    p.puzzleWidth = puzzleWidth;
    return p.NewPuzzle();
}

// The piece of home cell (column, row), row 0 at the bottom.
ONEPIECE& At(ONEPUZZLE& p, int column, int row)
{
    return p.pieces[(p.rows - 1 - row) * p.columns + column];
}

bool Near(VECTOR3D a, VECTOR3D b, float tolerance)
{
    return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance && std::fabs(a.z - b.z) <= tolerance;
}

// Bit for bit on purpose: -0 and 0 differ, as they would in the next pass, and a NaN equals itself.
template <typename T> bool Same(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;  // NOLINT(bugprone-suspicious-memory-comparison)
}

// The light shapes take over where a cell comes out narrower than the
// threshold on screen, along the wider of the board's two axes.
TEST(Frustum, LightShapesBeyondTheirDepth)
{
    float projection[16], modelview[16];
    EngineCameraMatrices(16.0f / 9.0f, projection, modelview);
    const double cell = 1280.0 / 2 / (40 * kTan * 16 / 9);  // pixels of a cell at the origin, 40 in front of the eye
    const auto wOf = [](const DetailSplit& split, float x, float y, float z) {
        return split.w[0] * x + split.w[1] * y + split.w[2] * z + split.w[3];
    };
    DetailSplit split = DetailSplitFromMatrices(projection, modelview, 1280, 720, 20.0f);
    EXPECT_NEAR(wOf(split, 3, -2, 0), 40, 1e-4);
    EXPECT_NEAR(wOf(split, 0, 0, -10), 50, 1e-4);
    EXPECT_NEAR(split.lightFrom, 40 * cell / 20, 1e-3);  // 43.4: the board at the origin is drawn full, 10 deeper light
    modelview[0] = modelview[5] = 0.5f;                  // a board scaled to half its size ...
    modelview[4] = 1.5f;                                 // ... and sheared: its y axis is the longer one on screen
    split = DetailSplitFromMatrices(projection, modelview, 1280, 720, 20.0f);
    EXPECT_NEAR(split.lightFrom, 40 * cell / 20 * std::sqrt(1.5 * 1.5 + 0.5 * 0.5), 1e-3);
}

// The board's long side (the picture's) lies at scale 1 with its outer cell
// centres on the view's edge (40 in front of the eye, 45 degrees high) one
// unit in front of the board; the other side fills the view at the board's
// depth. (The view's edges are found by the frustum's planes: this is their
// one caller.)
TEST(NewPuzzle, BoardSizesDepthScaleAndCut)
{
    std::srand(1);
    const struct {
        int width, height, puzzleWidth, columns, rows;
        float aspect = 4.0f / 3.0f;
    } cases[] = {
        {1024, 768, 25, 25, 18},
        {768, 1024, 25, 18, 25},
        {800, 800, 25, 25, 25},
        {0, 0, 25, 25, 25},
        {1920, 1080, 25, 25, 14, 16.0f / 9.0f},
        {600, 800, 25, 18, 25, 16.0f / 9.0f},
        {1024, 768, 40, 40, 30},
        // Never fewer than two rows or columns: a single one could never be cut.
        {1000, 10, 25, 25, 2},
        {1024, 768, 1, 2, 2},
        {800, 800, -7, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " width " << c.puzzleWidth << " aspect "
                                        << c.aspect);
        ONEPUZZLE p;
        ASSERT_TRUE(MakeBoard(p, c.width, c.height, c.puzzleWidth, c.aspect));
        EXPECT_TRUE(p.columns == c.columns && p.rows == c.rows && p.pieceCount == c.columns * c.rows)
            << p.columns << " x " << p.rows << ", " << p.pieceCount << " pieces";
        EXPECT_TRUE(p.texCellWidth == float(1.0 / c.columns) && p.texCellHeight == float(1.0 / c.rows));
        const bool wide = c.width > c.height;
        EXPECT_EQ(wide ? p.boardScaleX : p.boardScaleY, 1.0f);
        const double wideAspect = wide ? c.aspect : 1.0, narrowAspect = wide ? 1.0 : c.aspect;
        EXPECT_NEAR((39 - p.boardZ) * kTan * wideAspect, ((wide ? p.columns : p.rows) - 1) * 0.5, 1e-3);
        EXPECT_NEAR((40 - p.boardZ) * kTan * narrowAspect,
                    (wide ? p.rows * p.boardScaleY : p.columns * p.boardScaleX) * 0.5, 1e-3);
        EXPECT_TRUE(std::isfinite(p.boardScaleX + p.boardScaleY + p.boardZ) && p.boardZ < 39.0f);
        // Borders straight, interior edges interlocking with opposite codes; every piece at home.
        for (int k = 0; k < p.pieceCount; ++k) {
            const ONEPIECE& piece = p.pieces[k];
            const int i = k % p.columns, j = k / p.columns;
            ASSERT_TRUE(piece.shape >= 0 && piece.shape < 64);
            const int* e = ppInfo[piece.shape];  // top, right, bottom, left
            EXPECT_TRUE((e[0] == 0) == (j == 0) && (e[1] == 0) == (i == p.columns - 1) &&
                        (e[2] == 0) == (j == p.rows - 1) && (e[3] == 0) == (i == 0))
                << "cell " << i << "," << j;
            EXPECT_TRUE(i + 1 == p.columns || e[1] == -ppInfo[p.pieces[k + 1].shape][3]) << "cell " << i << "," << j;
            EXPECT_TRUE(j + 1 == p.rows || e[2] == -ppInfo[p.pieces[k + p.columns].shape][0])
                << "cell " << i << "," << j;
            EXPECT_TRUE(piece.column == i && piece.row == p.rows - 1 - j && piece.parent == nullptr);
            const VECTOR3D home{float(i - (p.columns - 1) * 0.5), float(piece.row - (p.rows - 1) * 0.5), p.boardZ};
            EXPECT_TRUE(Near(piece.pos, home, 0.0f)) << "cell " << i << "," << j;
        }
    }
}

// A board whose pieces stand still 10 units apart, assembling (timer 21),
// with neither flying-home rule able to fire.
void Park(ONEPUZZLE& p, int columns, int rows)
{
    ASSERT_TRUE(MakeBoard(p, columns * 100, rows * 100, std::max(columns, rows)));
    ASSERT_TRUE(p.columns == columns && p.rows == rows);
    p.restartTimer = 21.0f;
    p.lockInPlace = false;
    p.finishFraction = 2.0f;
    for (int i = 0; i < p.pieceCount; ++i) {
        ONEPIECE& piece = p.pieces[i];
        const int column = i % 8, row = i / 8;
        piece.pos = VECTOR3D{-35.0f + 10.0f * column, -35.0f + 10.0f * row, -30.0f};
        piece.direction = piece.velocity = piece.spin = piece.targetSpin = VECTOR3D{0, 0, 0};
        piece.speed = piece.targetSpeed = 0.0f;
        piece.moveTimer = 1000.0f;
    }
}

// Where `piece` belongs in its root's frame: its cell offset turned by the root.
VECTOR3D InFrame(VECTOR3D rootPos, const MATRIX& rootRotation, const ONEPIECE& piece, const ONEPIECE& root)
{
    const VECTOR3D d = MatrixRotatePoint(rootRotation, VECTOR3D{static_cast<float>(piece.column - root.column),
                                                                static_cast<float>(piece.row - root.row), 0});
    return VECTOR3D{rootPos.x + d.x, rootPos.y + d.y, rootPos.z + d.z};
}

// Only grid neighbours join, only closer than 2.25 on every axis, only while
// the timer is above zero; the earlier piece in array order hangs under the later.
TEST(Join, NeighboursWithinReachWhileAssembling)
{
    const struct {
        int column, row;  // of the second piece; the first is at cell (0, 0)
        VECTOR3D offset;  // of the second piece from the first
        float timer;
        bool joins;
    } cases[] = {
        {1, 0, {-1.5f, 0, 0}, 21, true},  {0, 1, {0.1f, -0.1f, 0.1f}, 21, true}, {1, 0, {2.2f, 2.2f, 2.2f}, 21, true},
        {1, 0, {2.25f, 0, 0}, 21, false}, {1, 0, {1, 2.24f, -2.26f}, 21, false}, {1, 1, {0.5f, 0, 0}, 21, false},
        {2, 0, {0.5f, 0, 0}, 21, false},  {0, 1, {0, 0.5f, 0}, 0.5f, true},      {0, 1, {0, 0.5f, 0}, 0.0f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.column << "," << c.row << " " << c.offset.x << "," << c.offset.y << ","
                                        << c.offset.z << " timer " << c.timer);
        ONEPUZZLE p;
        Park(p, 4, 3);
        p.restartTimer = c.timer;
        ONEPIECE& a = At(p, 0, 0);
        ONEPIECE& b = At(p, c.column, c.row);
        a.pos = VECTOR3D{20, 20, 0};
        b.pos = VECTOR3D{20 + c.offset.x, 20 + c.offset.y, c.offset.z};
        for (int i = 0; i < p.pieceCount; ++i)  // one pass, without the countdown
            p.pieces[i].Move(kStep, &p);
        EXPECT_EQ((&a < &b ? a : b).parent, !c.joins ? nullptr : &a < &b ? &b : &a);
        EXPECT_EQ(std::count_if(p.pieces, p.pieces + p.pieceCount, [](const ONEPIECE& q) { return q.parent; }),
                  c.joins ? 1 : 0);
    }
}

// A newcomer swings into its cell offset in the root's rotated frame in a
// little over a second, whichever side it arrived on.
TEST(Join, NewcomerSettlesInRootFrame)
{
    ONEPUZZLE p;
    Park(p, 2, 2);
    ONEPIECE& root = At(p, 1, 0);
    ONEPIECE& a = At(p, 0, 0);  // left of the root, arriving on its right
    root.pos = VECTOR3D{10, -5, 3};
    root.angle = VECTOR3D{30, 45, 60};
    root.rotation = MatrixFromAngle(root.angle);
    a.pos = VECTOR3D{11.2f, -5.5f, 3.5f};
    a.angle = VECTOR3D{-100, 10, 200};
    int passes = 0;
    do
        p.Move(kStep);
    while (++passes < 4 * 60 && (a.parent == nullptr || a.blend < 1.0f));
    EXPECT_GT(passes * kStep, 1.0);
    EXPECT_LT(passes * kStep, 1.4);
    ASSERT_EQ(a.parent, &root);
    EXPECT_TRUE(Near(a.pos, InFrame(root.pos, root.rotation, a, root), 1e-4f));
    EXPECT_TRUE(Same(a.rotation, root.rotation));
}

// Lock in place: a root flies home when two members counted themselves before
// its own step in the same pass, so a root first in array order never does.
TEST(FlyHome, LockInPlaceDependsOnArrayOrder)
{
    // 3 x 3 board, array order: 0 1 2 / 3 4 5 / 6 7 8 (top row first).
    const struct {
        int root;
        std::vector<int> members;
        bool fliesHome;
    } cases[] = {{0, {1, 3}, false}, {8, {5, 7}, true}, {8, {7}, false}, {4, {1, 5}, false}, {4, {1, 3, 5}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        ONEPUZZLE p;
        Park(p, 3, 3);
        p.lockInPlace = true;
        ONEPIECE& root = p.pieces[c.root];
        root.pos = VECTOR3D{20, 20, 0};
        for (int m : c.members)
            p.pieces[m].parent = &root;
        p.Move(kStep);
        const float k = c.fliesHome ? kStep * 0.25f : 0.0f;
        EXPECT_TRUE(Near(root.pos,
                         VECTOR3D{20 + (root.column - 1 - 20) * k, 20 + (root.row - 1 - 20) * k, p.boardZ * k}, 1e-5f));
    }
}

// The box turns only headings pointing out of it; angles wrap once past ±360.
// A group's share (kept while it counts no members) slows its turning.
// Each case is applied to x and z as given and to y mirrored.
TEST(Drift, BoxTurnAndAngleWrap)
{
    const struct {
        float pos, heading, wantHeading, angle, spin, wantAngle, share;
    } cases[] = {
        {45, 0.6f, -0.6f, 359, 2, 1, 0},          {45, -0.6f, -0.6f, -359, -2, -1, 0},
        {-45, -0.6f, 0.6f, 358, 2, 360, 0},       {-40.5f, -0.8f, 0.8f, -358, -2, -360, 0},
        {40, 0.5f, 0.5f, 100, 40, 132.5f, 0.25f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pos << " " << c.heading << " " << c.angle << " " << c.spin);
        ONEPUZZLE p;
        Park(p, 2, 2);
        p.restartTimer = -5.0f;  // scattering: no joining, no new headings
        ONEPIECE& piece = p.pieces[3];
        piece.pos = VECTOR3D{c.pos, -c.pos, c.pos};
        piece.direction = VECTOR3D{c.heading, -c.heading, c.heading};
        piece.angle = VECTOR3D{c.angle, -c.angle, c.angle};
        piece.spin = piece.targetSpin = VECTOR3D{c.spin, -c.spin, c.spin};
        piece.groupShare = c.share;
        p.Move(1.0f);  // parked pieces have no speed: only the spin moves them
        EXPECT_TRUE(Near(piece.direction, VECTOR3D{c.wantHeading, -c.wantHeading, c.wantHeading}, 0.0f));
        EXPECT_TRUE(Near(piece.angle, VECTOR3D{c.wantAngle, -c.wantAngle, c.wantAngle}, 0.0f));
        EXPECT_TRUE(Same(piece.rotation, MatrixFromAngle(piece.angle)));
    }
}

// The countdown runs once the largest group holds more than 95 % of the board
// (counted in the previous pass; a count of one is no group) or once the timer
// is below 20.
TEST(Cycle, CountdownRunsBelowTwentyOrWhenWhole)
{
    const struct {
        float timer;
        int members;  // hung on the last piece of 25
        bool runs;
    } cases[] = {{20.0f, 0, false}, {19.99f, 0, true}, {21.0f, 24, true}, {21.0f, 23, false}, {21.0f, 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.timer << " with " << c.members);
        ONEPUZZLE p;
        Park(p, 5, 5);
        for (int i = 1; i <= c.members; ++i)
            p.pieces[p.pieceCount - 1 - i].parent = &p.pieces[p.pieceCount - 1];
        p.Move(kStep);
        p.restartTimer = c.timer;
        p.Move(kStep);
        EXPECT_EQ(p.restartTimer, c.runs ? c.timer - kStep : c.timer);
        EXPECT_EQ(p.largestGroup, c.members > 1 ? c.members / 25.0f : 0.0f);
    }
}

// Whole cycles of a 10 x 8 board at 1/60 s steps: a new board stands at home
// for 1 s, scatters for 15 s, and once nearly whole counts down from 21,
// asking for a new picture in the pass crossing 2 and blowing apart in the
// pass crossing 0. (Groups following their roots and coming apart when blown:
// EngineGL's folder board; joins of neighbours only: JoinIndex and Join.)
TEST(Cycle, StandsScattersCountsDownAndRestartsOnTime)
{
    for (unsigned seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        std::srand(seed);
        ONEPUZZLE p;
        ASSERT_TRUE(MakeBoard(p, 1000, 800, 10));
        int cycles = 0;
        double blownApart = -1.0, countdown = -1.0;
        for (long pass = 1; pass <= 1500L * 60 && cycles < 3; ++pass) {
            const double t = pass * static_cast<double>(kStep);
            const float before = p.restartTimer;
            const bool requested = p.newPicture;
            p.Move(kStep);
            const float timer = p.restartTimer;
            const bool raised = !requested && p.newPicture;
            SCOPED_TRACE(testing::Message() << "t=" << t);
            for (int i = 0; i < p.pieceCount; ++i)
                ASSERT_TRUE(std::isfinite(p.pieces[i].pos.x + p.pieces[i].pos.y + p.pieces[i].pos.z)) << i;
            ASSERT_EQ(raised, before >= 2.0f && timer < 2.0f);
            ASSERT_TRUE(!requested || p.newPicture == (timer >= 0.0f)) << "cleared in the pass crossing 0";
            if (before == 21.0f && timer < 21.0f)
                countdown = t;
            EXPECT_TRUE(!raised || std::fabs(t - countdown - 19.0) < 1.5 * kStep) << "raised 19 s into the countdown";
            if (before >= 0.0f && timer < 0.0f) {
                EXPECT_NEAR(countdown < 0.0 ? t : t - countdown, countdown < 0.0 ? 1.0 : 21.0, 1.5 * kStep);
                cycles += countdown >= 0.0;
                countdown = -1.0;
                blownApart = t;
            }
            EXPECT_TRUE(before >= 0.0f || timer != 21.0f || std::fabs(t - blownApart - 15.0) < 2.5 * kStep)
                << "back to 21 after 15 s of scattering";
        }
        EXPECT_EQ(cycles, 3);
    }
}

// Which element of two tuples first differs bit for bit; -1 when none does.
template <typename Tuple, size_t... I> int FirstDifferent(const Tuple& a, const Tuple& b, std::index_sequence<I...>)
{
    int at = -1;
    ((at < 0 && !Same(std::get<I>(a), std::get<I>(b)) ? at = int(I) : 0), ...);
    return at;
}

// The state of a piece and of the puzzle, every field the next pass reads.
auto Fields(const ONEPUZZLE& b, const ONEPIECE& x)
{
    return std::make_tuple(x.parent ? x.parent - b.pieces : -1, x.pos, x.velocity, x.direction, x.angle, x.spin,
                           x.targetSpin, x.rotation, x.speed, x.targetSpeed, x.shape, x.column, x.row, x.moveTimer,
                           x.realPosValid, x.realPosValid ? x.realPos : VECTOR3D{}, x.blend, x.blendSpeed,
                           x.attachedCount, x.groupShare, b.largestGroup, b.restartTimer, b.newPicture);
}

// The first difference between the two boards ("piece 3 field 1": its pos,
// in Fields' order), or "" when they agree bit for bit.
std::string Difference(const ONEPUZZLE& a, const ONEPUZZLE& b)
{
    if (a.pieceCount != b.pieceCount)
        return "piece count";
    for (int i = 0; i < a.pieceCount; ++i) {
        constexpr size_t kFields = std::tuple_size_v<decltype(Fields(a, a.pieces[0]))>;
        const int at =
            FirstDifferent(Fields(a, a.pieces[i]), Fields(b, b.pieces[i]), std::make_index_sequence<kFields>());
        if (at >= 0)
            return "piece " + std::to_string(i) + " field " + std::to_string(at);
    }
    return "";
}

// The shipped joining step (the join index, grid neighbours only) against the
// reference step (every piece against every other): two boards cut from the
// same seed run side by side through whole cycles and must hold the same
// state, bit for bit, after every pass. Frame steps on boards the reference
// can afford; irregular steps, drawn between 1/60 s and 2 s (the host's range)
// from a generator of the test's own so the puzzle's rand() draws stay the
// pass's, carry the large board through whole cycles in a few hundred passes.
TEST(JoinIndex, SameStateAsTheReferenceEveryPass)
{
    const struct {
        int width, height, puzzleWidth, columns, rows;
        bool lockInPlace;
        int percentage;
        bool irregular;
        int cycles;
    } boards[] = {
        {1000, 800, 10, 10, 8, true, 75, false, 2},   {1000, 800, 10, 10, 8, false, 0, false, 2},
        {1000, 800, 10, 10, 8, false, 100, true, 3},  {1920, 1080, 25, 25, 14, false, 75, false, 1},
        {1920, 1080, 25, 25, 14, true, 100, true, 2}, {1920, 1080, 25, 25, 14, true, 0, true, 2},
        {1920, 1080, 50, 50, 28, true, 75, true, 2},  {1920, 1080, 50, 50, 28, false, 0, true, 1},
    };
    for (const auto& run : boards)
        for (unsigned seed : {1u, 2u}) {
            SCOPED_TRACE(testing::Message()
                         << run.columns << "x" << run.rows << " lock " << run.lockInPlace << " share " << run.percentage
                         << " irregular " << run.irregular << " seed " << seed);
            ONEPUZZLE shipped, reference;
            for (ONEPUZZLE* p : {&shipped, &reference}) {
                std::srand(seed);
                p->lockInPlace = run.lockInPlace;
                p->finishFraction = static_cast<float>(run.percentage / 100.0);
                ASSERT_TRUE(MakeBoard(*p, run.width, run.height, run.puzzleWidth, 16.0f / 9.0f));
            }
            ASSERT_TRUE(shipped.columns == run.columns && shipped.rows == run.rows);
            ASSERT_EQ(Difference(shipped, reference), "");
            unsigned state = seed;
            int cycles = 0, joiningPasses = 0;
            for (int pass = 0; pass < (run.irregular ? 20000 : 12 * 3600) && cycles < run.cycles; ++pass) {
                state = state * 1664525u + 1013904223u;
                const float u = static_cast<float>(state >> 8) / 16777216.0f;  // mostly short steps, now and then long
                const float dt = run.irregular ? kStep + u * u * (2.0f - kStep) : kStep, before = shipped.restartTimer;
                joiningPasses += before > 0.0f;
                std::srand(seed * 7919u + static_cast<unsigned>(pass));
                shipped.Move(dt);
                std::srand(seed * 7919u + static_cast<unsigned>(pass));
                ReferenceMove(reference, dt);
                ASSERT_EQ(Difference(shipped, reference), "") << "after pass " << pass << " (dt " << dt << ")";
                cycles += before >= 0.0f && shipped.restartTimer < 0.0f && pass > 0;
            }
            EXPECT_EQ(cycles, run.cycles) << "the runs didn't complete their cycles";
            EXPECT_GT(joiningPasses, 0);
        }
}

}  // namespace
