// Piece flight and joining: the cycle's timings, joining rules, rigid
// groups, flying home, the box, the angle wrap and the per-pass cache.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "puzzle/ONEPUZZLE.h"
#include "tests/puzzle/puzzle_view.h"

namespace {

using puzzle_test::At;
using puzzle_test::MakeBoard;
using puzzle_test::RootOf;

constexpr float kStep = 1.0f / 60.0f;

// A board whose pieces stand still far apart (10 units), assembling
// (timer 21), with neither flying-home rule able to fire.
void Park(ONEPUZZLE& p, int columns, int rows)
{
    ASSERT_TRUE(MakeBoard(p, columns * 100, rows * 100, columns > rows ? columns : rows));
    ASSERT_EQ(p.columns, columns);
    ASSERT_EQ(p.rows, rows);
    p.restartTimer = 21.0f;
    p.lockInPlace = false;
    p.finishFraction = 2.0f;
    for (int i = 0; i < p.pieceCount; ++i) {
        ONEPIECE& piece = p.pieces[i];
        piece.pos = VECTOR3D{-35.0f + 10.0f * (i % 8), -35.0f + 10.0f * (i / 8), -30.0f};
        piece.direction = piece.velocity = piece.spin = piece.targetSpin = VECTOR3D{0, 0, 0};
        piece.speed = piece.targetSpeed = 0.0f;
        piece.moveTimer = 1000.0f;
    }
}

VECTOR3D Add(VECTOR3D a, VECTOR3D b)
{
    return VECTOR3D{a.x + b.x, a.y + b.y, a.z + b.z};
}

void ExpectNear(VECTOR3D got, VECTOR3D want, float tolerance)
{
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
}

// Hangs `piece` directly on `root`, settled at its cell offset.
void Attach(ONEPIECE& piece, ONEPIECE& root)
{
    piece.parent = &root;
    piece.velocity = VECTOR3D{static_cast<float>(piece.column - root.column),
                              static_cast<float>(piece.row - root.row), 0.0f};
    piece.pos = Add(root.pos, MatrixRotatePoint(root.rotation, piece.velocity));
    piece.angle = root.angle;
    piece.rotation = root.rotation;
    piece.blend = 1.0f;
}

TEST(Join, NeighboursWithinReachOnEveryAxis)
{
    const struct {
        VECTOR3D offset;   // of the right neighbour from the left piece
        bool joins;
    } cases[] = {
        {{1, 0, 0}, true},        {{-1.5f, 0, 0}, true},  // wrong side: still joins
        {{2.2f, 2.2f, 2.2f}, true}, {{0.1f, -0.1f, 0.1f}, true},
        {{2.25f, 0, 0}, false},   {{0, -2.25f, 0}, false}, {{0, 0, 2.3f}, false},
        {{1, 2.24f, -2.26f}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset.x << "," << c.offset.y << "," << c.offset.z);
        ONEPUZZLE p;
        Park(p, 4, 3);
        ONEPIECE& left = At(p, 0, 0);
        ONEPIECE& right = At(p, 1, 0);
        left.pos = VECTOR3D{20, 20, 0};
        right.pos = Add(left.pos, c.offset);
        p.Move(kStep);
        if (c.joins) {
            // The earlier piece in array order hangs under the later one,
            // its offset set from the cells wherever it was.
            EXPECT_EQ(left.parent, &right);
            EXPECT_EQ(left.velocity.x, -1.0f);
            EXPECT_EQ(left.velocity.y, 0.0f);
            EXPECT_EQ(right.parent, nullptr);
        } else {
            EXPECT_EQ(left.parent, nullptr);
            EXPECT_EQ(right.parent, nullptr);
        }
    }
}

TEST(Join, OnlyGridNeighbours)
{
    const struct {
        int c0, r0, c1, r1;
        bool joins;
    } cases[] = {
        {0, 0, 1, 0, true}, {0, 0, 0, 1, true},  {2, 1, 2, 2, true},  {3, 2, 2, 2, true},
        {0, 0, 1, 1, false}, {0, 0, 2, 0, false}, {0, 0, 0, 2, false}, {1, 2, 2, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.c0 << "," << c.r0 << " - " << c.c1 << "," << c.r1);
        ONEPUZZLE p;
        Park(p, 4, 3);
        ONEPIECE& a = At(p, c.c0, c.r0);
        ONEPIECE& b = At(p, c.c1, c.r1);
        a.pos = VECTOR3D{20, 20, 0};
        b.pos = VECTOR3D{20.5f, 20, 0};
        for (int pass = 0; pass < 10; ++pass)
            p.Move(kStep);
        EXPECT_EQ(a.parent == &b || b.parent == &a, c.joins);
        for (int i = 0; i < p.pieceCount; ++i)
            if (&p.pieces[i] != &a && &p.pieces[i] != &b) {
                EXPECT_EQ(p.pieces[i].parent, nullptr);
            }
    }
}

TEST(Join, OnlyWhileTimerAboveZero)
{
    const struct {
        float timer;
        bool joins;
    } cases[] = {{21.0f, true}, {0.5f, true}, {-0.5f, false}, {-10.0f, false}, {-14.9f, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timer);
        ONEPUZZLE p;
        Park(p, 3, 3);
        p.restartTimer = c.timer;
        ONEPIECE& a = At(p, 1, 1);
        ONEPIECE& b = At(p, 1, 2);
        a.pos = VECTOR3D{0, 0, 0};
        b.pos = VECTOR3D{0, 0.5f, 0};
        p.Move(kStep);
        EXPECT_EQ(a.parent != nullptr || b.parent != nullptr, c.joins);
    }
}

// A group settles into its root's rotated frame and stays rigid; members are
// never joined to each other again.
TEST(Join, GroupSettlesRigidInRootFrame)
{
    ONEPUZZLE p;
    Park(p, 4, 3);
    ONEPIECE& root = At(p, 1, 1);
    ONEPIECE& a = At(p, 0, 1);   // left of the root
    ONEPIECE& b = At(p, 0, 2);   // above a, diagonal to the root
    root.pos = VECTOR3D{10, -5, 3};
    root.angle = VECTOR3D{30, 45, 60};
    root.rotation = MatrixFromAngle(root.angle);
    // a on the wrong side of the root, b close to where a is.
    a.pos = VECTOR3D{11.2f, -5.5f, 3.5f};
    b.pos = VECTOR3D{11.0f, -4.0f, 3.0f};
    a.angle = VECTOR3D{-100, 10, 200};
    double settled = -1.0;
    for (int pass = 0; pass < 4 * 60; ++pass) {
        p.Move(kStep);
        if (settled < 0.0 && a.parent != nullptr && a.blend >= 1.0f)
            settled = (pass + 1) * kStep;
        for (int i = 0; i < p.pieceCount; ++i)
            ASSERT_NE(RootOf(p, &p.pieces[i]), nullptr);
    }
    // The newcomer swings into place in a little over a second.
    EXPECT_GT(settled, 1.0);
    EXPECT_LT(settled, 1.4);
    ONEPIECE* members[] = {&a, &b};
    const ONEPIECE* groupRoot = RootOf(p, &root);
    for (ONEPIECE* m : members)
        ASSERT_EQ(RootOf(p, m), groupRoot);
    for (ONEPIECE* m : {&root, &a, &b}) {
        if (m == groupRoot)
            continue;
        SCOPED_TRACE(m->column * 10 + m->row);
        EXPECT_EQ(m->parent, groupRoot);
        EXPECT_GE(m->blend, 1.0f);
        const VECTOR3D offset{static_cast<float>(m->column - groupRoot->column),
                              static_cast<float>(m->row - groupRoot->row), 0.0f};
        ExpectNear(m->pos, Add(groupRoot->pos, MatrixRotatePoint(groupRoot->rotation, offset)), 1e-4f);
        EXPECT_EQ(std::memcmp(&m->rotation, &groupRoot->rotation, sizeof(MATRIX)), 0);
        EXPECT_EQ(m->angle.x, groupRoot->angle.x);
    }
    // Nothing else joined, and the root is free.
    EXPECT_EQ(groupRoot->parent, nullptr);
    for (int i = 0; i < p.pieceCount; ++i)
        if (&p.pieces[i] != &root && &p.pieces[i] != &a && &p.pieces[i] != &b) {
            EXPECT_EQ(p.pieces[i].parent, nullptr);
        }
}

// Two groups meet: one root is hung under the other, and its members move
// over to the new root when they next walk their chain, settling in anew.
TEST(Join, GroupsMergeAndChainsShorten)
{
    ONEPUZZLE p;
    Park(p, 4, 3);
    ONEPIECE& r1 = At(p, 0, 0);
    ONEPIECE& m1 = At(p, 0, 1);
    ONEPIECE& r2 = At(p, 2, 0);
    ONEPIECE& m2 = At(p, 1, 0);
    r1.pos = VECTOR3D{0, 0, 0};
    Attach(m1, r1);
    r2.pos = VECTOR3D{2, 0, 0};
    Attach(m2, r2);   // m2 at (1, 0, 0): next to r1
    p.Move(kStep);
    p.Move(kStep);
    const ONEPIECE* root = RootOf(p, &r1);
    ASSERT_EQ(RootOf(p, &r2), root);
    for (ONEPIECE* m : {&r1, &m1, &r2, &m2}) {
        ASSERT_EQ(RootOf(p, m), root);
        if (m != root) {
            EXPECT_EQ(m->parent, root);   // chain shortened to the root
            EXPECT_EQ(m->velocity.x, static_cast<float>(m->column - root->column));
            EXPECT_EQ(m->velocity.y, static_cast<float>(m->row - root->row));
        }
    }
}

// One piece's step hangs its whole group: its root goes under the other
// group's root with its offset from that root at once.
TEST(Join, RootHungWithOffsetAtOnce)
{
    ONEPUZZLE p;
    Park(p, 4, 3);
    ONEPIECE& r1 = At(p, 0, 0);
    ONEPIECE& m1 = At(p, 0, 1);
    ONEPIECE& r2 = At(p, 1, 1);
    r1.pos = VECTOR3D{0, 0, 0};
    Attach(m1, r1);                  // m1 at (0, 1, 0)
    r2.pos = VECTOR3D{1.5f, 1, 0};   // next to m1
    r1.blend = 0.5f;
    m1.blendSpeed = 1.5f;
    m1.Move(kStep, &p);
    EXPECT_EQ(r1.parent, &r2);
    EXPECT_EQ(r1.velocity.x, -1.0f);
    EXPECT_EQ(r1.velocity.y, -1.0f);
    EXPECT_EQ(r1.velocity.z, 0.0f);
    EXPECT_EQ(r1.blend, 0.0f);
    EXPECT_EQ(r2.parent, nullptr);
    // m1 walked its chain in its own motion step and settles in anew.
    EXPECT_EQ(m1.parent, &r2);
    EXPECT_EQ(m1.velocity.x, -1.0f);
    EXPECT_EQ(m1.velocity.y, 0.0f);
    EXPECT_NEAR(m1.blendSpeed, 2.0f * kStep, 1e-6f);   // restarted from 0
    EXPECT_LT(m1.blend, 0.01f);
}

// Lock in place: a root flies home when two members counted themselves before
// its own step; a root first in array order only does through finishFraction.
TEST(FlyHome, LockInPlaceDependsOnArrayOrder)
{
    // 3 x 3 board, array order: 0 1 2 / 3 4 5 / 6 7 8 (top row first).
    const struct {
        int root;
        int members[3];   // -1 = none
        bool fliesHome;
    } cases[] = {
        {0, {1, 3, -1}, false},   // both members after the root: count 0 at its step
        {8, {5, 7, -1}, true},    // both before: count 2
        {8, {7, -1, -1}, false},  // one before: count 1
        {4, {1, 5, -1}, false},   // one before, one after
        {4, {1, 3, 5}, true},     // two before, one after
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        ONEPUZZLE p;
        Park(p, 3, 3);
        p.lockInPlace = true;
        ONEPIECE& root = p.pieces[c.root];
        root.pos = VECTOR3D{20, 20, 0};
        for (int m : c.members) {
            if (m >= 0)
                Attach(p.pieces[m], root);
        }
        const VECTOR3D start = root.pos;
        const VECTOR3D home{static_cast<float>(root.column - 1.0), static_cast<float>(root.row - 1.0),
                            p.boardZ};
        p.Move(kStep);
        if (!c.fliesHome) {
            ExpectNear(root.pos, start, 0.0f);
        } else {
            ExpectNear(root.pos, VECTOR3D{start.x + (home.x - start.x) * kStep * 0.25f,
                                          start.y + (home.y - start.y) * kStep * 0.25f,
                                          start.z + (home.z - start.z) * kStep * 0.25f},
                       1e-5f);
        }
        // Members keep hanging on the root whatever it does.
        for (int m : c.members) {
            EXPECT_TRUE(m < 0 || p.pieces[m].parent == &root) << m;
        }
    }
    // Through finishFraction the first root flies home from the next pass,
    // once the counts of the previous pass make largestGroup.
    ONEPUZZLE p;
    Park(p, 3, 3);
    p.finishFraction = 0.1f;
    ONEPIECE& root = p.pieces[0];
    root.pos = VECTOR3D{20, 20, 0};
    Attach(p.pieces[1], root);
    Attach(p.pieces[3], root);
    p.Move(kStep);
    EXPECT_EQ(root.pos.x, 20.0f);
    EXPECT_EQ(p.largestGroup, 0.0f);
    p.Move(kStep);
    EXPECT_FLOAT_EQ(p.largestGroup, 2.0f / 9.0f);
    EXPECT_LT(root.pos.x, 20.0f);
    // and every free piece with it.
    EXPECT_NE(p.pieces[8].pos.z, -30.0f);
}

TEST(FlyHome, LosesRotation)
{
    ONEPUZZLE p;
    Park(p, 3, 3);
    p.finishFraction = -1.0f;   // every free piece flies home
    ONEPIECE& piece = p.pieces[4];
    piece.angle = VECTOR3D{100, -50, 20};
    for (int pass = 0; pass < 60 * 60; ++pass)
        p.Move(kStep);
    EXPECT_NEAR(piece.angle.x, 0.0f, 0.01f);
    ExpectNear(piece.pos, VECTOR3D{0, 0, p.boardZ}, 0.01f);
}

// Only counts above 1 refresh a root's groupShare; largestGroup comes from
// those counts alone. The share slows a drifting group down.
TEST(Counts, GroupShareKeptForSmallCountsAndSlowsDrift)
{
    ONEPUZZLE p;
    Park(p, 3, 3);
    ONEPIECE& single = p.pieces[0];     // one member
    ONEPIECE& pair = p.pieces[8];       // two members
    single.pos = VECTOR3D{-20, 20, 0};
    pair.pos = VECTOR3D{20, 20, 0};
    Attach(p.pieces[1], single);
    Attach(p.pieces[5], pair);
    Attach(p.pieces[7], pair);
    single.groupShare = 0.5f;
    p.Move(kStep);
    for (ONEPIECE* root : {&single, &pair}) {
        root->speed = root->targetSpeed = 1.0f;
        root->velocity = root->direction = VECTOR3D{1, 0, 0};
    }
    p.Move(kStep);
    EXPECT_EQ(single.attachedCount, 1);
    EXPECT_EQ(pair.attachedCount, 2);
    EXPECT_EQ(single.groupShare, 0.5f);
    EXPECT_EQ(pair.groupShare, 2.0f / 9.0f);
    EXPECT_EQ(p.largestGroup, 2.0f / 9.0f);
    EXPECT_NEAR(single.pos.x, -20.0f + kStep * (1.0f - 0.75f * 0.5f), 1e-5f);
    EXPECT_NEAR(pair.pos.x, 20.0f + kStep * (1.0f - 0.75f * 2.0f / 9.0f), 1e-5f);
}

// A free piece picking a new heading while something hangs on it heads for
// the origin when its random pick is one of its own members.
TEST(Drift, HeadingTargets)
{
    int origin = 0;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        ONEPUZZLE p;
        Park(p, 2, 2);
        ONEPIECE& root = p.pieces[3];   // bottom right
        root.pos = VECTOR3D{20, 10, 5};
        for (int i = 0; i < 3; ++i)
            Attach(p.pieces[i], root);
        root.moveTimer = 0.0f;
        std::srand(seed);
        p.Move(kStep);
        const VECTOR3D d = root.direction;
        const float len = std::sqrt(20 * 20 + 10 * 10 + 5 * 5);
        const bool toOrigin = std::fabs(d.x + 20 / len) < 1e-5f && std::fabs(d.y + 10 / len) < 1e-5f &&
                              std::fabs(d.z + 5 / len) < 1e-5f;
        const bool toLeft = std::fabs(d.x + 1) < 1e-5f && std::fabs(d.y) < 1e-5f;   // left neighbour
        const bool toAbove = std::fabs(d.y - 1) < 1e-5f && std::fabs(d.x) < 1e-5f;  // upper neighbour
        const bool none = d.x == 0 && d.y == 0 && d.z == 0;                         // picked itself
        EXPECT_TRUE(toOrigin || toLeft || toAbove || none) << d.x << "," << d.y << "," << d.z;
        origin += toOrigin;
    }
    EXPECT_GE(origin, 8);   // 3 of the 4 random picks are members
}

TEST(Drift, BoxTurnsOnlyOutwardHeadings)
{
    const struct {
        int axis;
        float pos, heading, want;
    } cases[] = {
        {0, 45, 0.6f, -0.6f}, {0, 45, -0.6f, -0.6f}, {0, -45, -0.6f, 0.6f}, {0, -45, 0.6f, 0.6f},
        {1, 41, 1.0f, -1.0f}, {1, -41, 0.3f, 0.3f}, {2, -40.5f, -0.8f, 0.8f}, {2, 39.9f, 0.8f, 0.8f},
        {0, 40.0f, 0.5f, 0.5f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.axis << " " << c.pos << " " << c.heading);
        ONEPUZZLE p;
        Park(p, 2, 2);
        p.restartTimer = -5.0f;   // scattering: no joining, no new headings
        ONEPIECE& piece = p.pieces[0];
        float* pos = c.axis == 0 ? &piece.pos.x : c.axis == 1 ? &piece.pos.y : &piece.pos.z;
        float* dir = c.axis == 0 ? &piece.direction.x : c.axis == 1 ? &piece.direction.y
                                                                     : &piece.direction.z;
        *pos = c.pos;
        *dir = c.heading;
        p.Move(kStep);
        EXPECT_EQ(*dir, c.want);
    }
}

TEST(Drift, AngleWrapsOnce)
{
    const struct {
        float angle, spin, want;
    } cases[] = {{359, 2, 1}, {-359, -2, -1}, {358, 2, 360}, {-358, -2, -360}, {100, 30, 130},
                 {300, 39, 339}, {-1, -39, -40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.angle << " + " << c.spin);
        ONEPUZZLE p;
        Park(p, 2, 2);
        p.restartTimer = -5.0f;
        ONEPIECE& piece = p.pieces[3];
        piece.angle = VECTOR3D{c.angle, -c.angle, c.angle};
        piece.spin = piece.targetSpin = VECTOR3D{c.spin, -c.spin, c.spin};
        p.Move(1.0f);
        EXPECT_EQ(piece.angle.x, c.want);
        EXPECT_EQ(piece.angle.y, -c.want);
        EXPECT_EQ(piece.angle.z, c.want);
        const MATRIX want = MatrixFromAngle(piece.angle);
        EXPECT_EQ(std::memcmp(&piece.rotation, &want, sizeof want), 0);
    }
}

TEST(Drift, ScatteringKeepsHeadingWhenTimerRunsOut)
{
    ONEPUZZLE p;
    Park(p, 2, 2);
    p.restartTimer = -5.0f;
    ONEPIECE& piece = p.pieces[2];
    piece.direction = VECTOR3D{0.6f, 0.0f, -0.8f};
    piece.moveTimer = 0.0f;
    p.Move(kStep);
    EXPECT_EQ(piece.direction.x, 0.6f);
    EXPECT_EQ(piece.direction.z, -0.8f);
    EXPECT_GE(piece.moveTimer, 5.0f);   // new speed and spin all the same
    EXPECT_LE(piece.moveTimer, 24.0f);
}

TEST(Drift, NewTargetsInRange)
{
    std::srand(11);
    ONEPUZZLE p;
    ASSERT_TRUE(MakeBoard(p, 1024, 768, 12));
    // Blow apart, scatter a little, then take the first assembling pass.
    p.restartTimer = 0.01f;
    for (int pass = 0; pass < 5 * 60; ++pass)
        p.Move(kStep);
    p.restartTimer = 21.0f;
    for (int i = 0; i < p.pieceCount; ++i)
        p.pieces[i].moveTimer = 0.0f;
    p.Move(kStep);
    int checked = 0;
    bool lowest = false, highest = false;
    for (int i = 0; i < p.pieceCount; ++i) {
        const ONEPIECE& piece = p.pieces[i];
        if (piece.parent != nullptr)
            continue;
        SCOPED_TRACE(i);
        ++checked;
        lowest |= piece.moveTimer == 5.0f;
        highest |= piece.moveTimer == 24.0f;
        const float timer = piece.moveTimer;
        EXPECT_TRUE(timer >= 5.0f && timer <= 24.0f && timer == std::floor(timer)) << timer;
        const float speed10 = piece.targetSpeed * 10.0f;
        EXPECT_TRUE(piece.targetSpeed >= 0.0f && piece.targetSpeed <= 2.9f + 1e-6f);
        EXPECT_NEAR(speed10, std::round(speed10), 1e-4);
        for (float s : {piece.targetSpin.x, piece.targetSpin.y, piece.targetSpin.z})
            EXPECT_TRUE(s >= -40.0f && s <= 39.0f && s == std::floor(s)) << s;
        const VECTOR3D d = piece.direction;
        const float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        EXPECT_TRUE(len == 0.0f || std::fabs(len - 1.0f) < 1e-5f) << len;
    }
    EXPECT_GT(checked, p.pieceCount / 2);
    EXPECT_TRUE(lowest && highest);   // the whole range 5..24 is drawn
}

TEST(Cycle, NewBoardStandsOneSecondThenScattersFifteen)
{
    std::srand(3);
    ONEPUZZLE p;
    ASSERT_TRUE(MakeBoard(p, 1024, 768, 8));
    double t = 0.0;
    double blowApart = -1.0, assembling = -1.0;
    for (int pass = 0; pass < 20 * 60 && assembling < 0.0; ++pass) {
        const float before = p.restartTimer;
        p.Move(kStep);
        t += kStep;
        ASSERT_FALSE(p.newPicture) << t;   // the timer starts below 2
        if (before >= 0.0f) {
            if (p.restartTimer < 0.0f) {
                blowApart = t;
                for (int i = 0; i < p.pieceCount; ++i) {
                    ASSERT_EQ(p.pieces[i].parent, nullptr);
                    ASSERT_EQ(p.pieces[i].angle.x, 0.0f);
                    ASSERT_EQ(p.pieces[i].velocity.y, 0.0f);
                }
            } else {
                // Still standing: every piece close to home.
                for (int i = 0; i < p.pieceCount; ++i) {
                    const ONEPIECE& piece = p.pieces[i];
                    const float hx = static_cast<float>(piece.column - (p.columns - 1) * 0.5);
                    const float hy = static_cast<float>(piece.row - (p.rows - 1) * 0.5);
                    ASSERT_LT(std::fabs(piece.pos.x - hx) + std::fabs(piece.pos.y - hy) +
                                  std::fabs(piece.pos.z - p.boardZ), 0.5f) << t;
                }
            }
        } else {
            for (int i = 0; i < p.pieceCount; ++i)
                ASSERT_EQ(p.pieces[i].parent, nullptr) << t;   // no joining while scattering
            if (p.restartTimer == 21.0f)
                assembling = t;
        }
    }
    EXPECT_NEAR(blowApart, 1.0, 1.5 * kStep);
    EXPECT_NEAR(assembling, 16.0, 2.5 * kStep);
    // Assembling: the timer holds while no group holds the board.
    p.Move(kStep);
    EXPECT_EQ(p.restartTimer, 21.0f);
}

// A whole board at home with the timer at 21: the countdown starts once the
// largest group is above 95 %, raises newPicture 19 s later and clears it with
// the reset 2 s after that. Boards of 20 pieces or fewer never get there.
TEST(Cycle, CountdownAndNewPicture)
{
    const struct {
        int columns, rows;
        bool counts;
    } boards[] = {{5, 5, true}, {4, 5, false}, {6, 4, true}, {2, 2, false}};
    for (const auto& b : boards) {
        SCOPED_TRACE(testing::Message() << b.columns << "x" << b.rows);
        std::srand(9);
        ONEPUZZLE p;
        ASSERT_TRUE(MakeBoard(p, b.columns * 100, b.rows * 100, b.columns > b.rows ? b.columns : b.rows));
        ASSERT_EQ(p.pieceCount, b.columns * b.rows);
        p.restartTimer = 21.0f;
        double t = 0.0, start = -1.0, raised = -1.0, cleared = -1.0;
        for (int pass = 0; pass < 40 * 60 && cleared < 0.0; ++pass) {
            const float before = p.restartTimer;
            const bool wasRaised = p.newPicture;
            p.Move(kStep);
            t += kStep;
            if (before == 21.0f && p.restartTimer < 21.0f) {
                start = t;
                EXPECT_GT(p.largestGroup, 0.95f);
            }
            if (!wasRaised && p.newPicture) {
                raised = t;
                EXPECT_TRUE(before >= 2.0f && p.restartTimer < 2.0f) << before;
            }
            if (wasRaised && !p.newPicture) {
                cleared = t;
                EXPECT_TRUE(before >= 0.0f && p.restartTimer < 0.0f) << before;
                for (int i = 0; i < p.pieceCount; ++i)
                    EXPECT_EQ(p.pieces[i].parent, nullptr);
            }
            if (raised >= 0.0 && cleared < 0.0 && t > raised) {
                ASSERT_TRUE(p.newPicture || cleared >= 0.0);
            }
        }
        if (!b.counts) {
            EXPECT_EQ(start, -1.0);
            EXPECT_EQ(p.restartTimer, 21.0f);
            // The whole board is one group, yet its share stays at (n - 1) / n.
            EXPECT_EQ(p.largestGroup, static_cast<float>(p.pieceCount - 1) / p.pieceCount);
            continue;
        }
        ASSERT_GT(start, 0.0);
        EXPECT_LT(start, 0.2);   // the board joins within its first passes
        EXPECT_NEAR(raised - start, 19.0, 1.5 * kStep);
        EXPECT_NEAR(cleared - start, 21.0, 1.5 * kStep);
    }
}

// The countdown runs while the board is whole or once below 20 seconds.
TEST(Cycle, CountdownRunsBelowTwentyOrWhenWhole)
{
    const struct {
        float timer;
        bool whole;
        bool runs;
    } cases[] = {{21.0f, false, false}, {20.5f, false, false}, {20.0f, false, false},
                 {19.99f, false, true}, {5.0f, false, true}, {21.0f, true, true}, {20.5f, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.timer << (c.whole ? " whole" : " scattered"));
        ONEPUZZLE p;
        Park(p, 5, 5);
        if (c.whole) {
            // The whole board hung on its last piece, counted in the previous pass.
            ONEPIECE& root = p.pieces[p.pieceCount - 1];
            for (int i = 0; i < p.pieceCount - 1; ++i)
                Attach(p.pieces[i], root);
            p.Move(kStep);
        }
        p.restartTimer = c.timer;
        p.Move(kStep);
        EXPECT_EQ(p.restartTimer, c.runs ? c.timer - kStep : c.timer);
    }
}

TEST(RealPos, CachedWithinAPass)
{
    ONEPIECE root, child;
    root.pos = VECTOR3D{1, 2, 3};
    root.rotation = MatrixFromAngle(VECTOR3D{0, 0, 90});
    child.parent = &root;
    child.velocity = VECTOR3D{1, 0, 0};
    ExpectNear(child.RealPos(), VECTOR3D{1, 1, 3}, 1e-6f);   // (1,0,0) turned to (0,-1,0)
    root.pos = VECTOR3D{5, 5, 5};
    ExpectNear(child.RealPos(), VECTOR3D{1, 1, 3}, 1e-6f);   // cached
    child.realPosValid = false;
    ExpectNear(child.RealPos(), VECTOR3D{5, 4, 5}, 1e-6f);
    // A root is where its pos says, cache or not.
    root.realPosValid = true;
    root.realPos = VECTOR3D{-9, -9, -9};
    ExpectNear(root.RealPos(), root.pos, 0.0f);
}

// A chain that loops can't come from joining; the motion step frees a piece
// rather than walk for ever.
TEST(RealPos, BrokenChainIsFreed)
{
    ONEPUZZLE p;
    Park(p, 2, 2);
    p.restartTimer = -5.0f;
    p.pieces[0].parent = &p.pieces[1];
    p.pieces[1].parent = &p.pieces[0];
    p.Move(kStep);
    for (int i = 0; i < p.pieceCount; ++i)
        EXPECT_NE(RootOf(p, &p.pieces[i]), nullptr);
}

}  // namespace
