// The board: shape table, frustum planes, set-up, the cut, and Cleanup.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "puzzle/Frustum.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/ppInfo.h"
#include "tests/puzzle/puzzle_view.h"

namespace {

using puzzle_test::At;
using puzzle_test::MakeBoard;
using puzzle_test::SetEngineFrustum;

const double kTan = std::tan(22.5 * 3.141592653589793 / 180.0);

TEST(ShapeTable, HoldsEveryLegalShapeInOrder)
{
    // top, right and bottom run 0, +1, -1; left runs 0, -1, +1.
    const int tri[3] = {0, 1, -1};
    const int left[3] = {0, -1, 1};
    std::vector<std::vector<int>> want;
    for (int t : tri)
        for (int r : tri)
            for (int b : tri)
                for (int l : left)
                    if (!(t == 0 && b == 0) && !(r == 0 && l == 0))
                        want.push_back({t, r, b, l});
    ASSERT_EQ(want.size(), 64u);
    for (int s = 0; s < 64; ++s)
        for (int e = 0; e < 4; ++e)
            EXPECT_EQ(ppInfo[s][e], want[s][e]) << "shape " << s << " edge " << e;
}

TEST(Frustum, EngineViewEdges)
{
    for (float aspect : {0.5f, 1.0f, 4.0f / 3.0f, 16.0f / 9.0f}) {
        SCOPED_TRACE(aspect);
        SetEngineFrustum(aspect);
        // Depth where the top edge passes through y = 12, and its height there.
        EXPECT_NEAR(ValueAtEdgeOfFrustum(3, 2, VECTOR3D{0, 12, 0}).z, 40 - 12 / kTan, 1e-3);
        EXPECT_NEAR(40 - 12 / kTan, 11.03, 0.005);
        const VECTOR3D top = ValueAtEdgeOfFrustum(3, 1, VECTOR3D{0, 0, 10.03f});
        EXPECT_NEAR(top.y, 12.41, 0.01);
        EXPECT_EQ(top.x, 0.0f);
        EXPECT_EQ(top.z, 10.03f);
        // The right edge at z = 0 is aspect times wider than the top edge.
        EXPECT_NEAR(ValueAtEdgeOfFrustum(0, 0, VECTOR3D{0, 0, 0}).x, 40 * kTan * aspect, 1e-3);
        EXPECT_NEAR(ValueAtEdgeOfFrustum(0, 2, VECTOR3D{6, 0, 0}).z, 40 - 6 / (kTan * aspect), 1e-3);
    }
}

TEST(Frustum, PlanesAreUnitAndFaceInward)
{
    SetEngineFrustum(1.5f);
    for (int p = 0; p < 6; ++p) {
        const float* f = frustum[p];
        EXPECT_NEAR(std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]), 1.0, 1e-6) << p;
        // The board's centre is inside every plane.
        EXPECT_GT(f[3], 0.0f) << p;
    }
    // Order: right, left, bottom, top, far, near (normals point inward).
    EXPECT_LT(frustum[0][0], 0);
    EXPECT_GT(frustum[1][0], 0);
    EXPECT_GT(frustum[2][1], 0);
    EXPECT_LT(frustum[3][1], 0);
    EXPECT_GT(frustum[4][2], 0);
    EXPECT_LT(frustum[5][2], 0);
    EXPECT_NEAR(frustum[0][0], -frustum[1][0], 1e-6);
    EXPECT_NEAR(frustum[2][1], -frustum[3][1], 1e-6);
    // Far at z = 40 - 120, near at z = 40 - 1.
    EXPECT_NEAR(ValueAtEdgeOfFrustum(4, 2, VECTOR3D{0, 0, 0}).z, -80.0, 1e-3);
    EXPECT_NEAR(ValueAtEdgeOfFrustum(5, 2, VECTOR3D{0, 0, 0}).z, 39.0, 1e-3);
}

TEST(Frustum, OutOfRangeGivesZero)
{
    SetEngineFrustum();
    const struct {
        int plane, axis;
    } cases[] = {{0, 3}, {3, -1}, {5, 100}, {6, 0}, {-1, 1}};
    for (const auto& c : cases) {
        const VECTOR3D v = ValueAtEdgeOfFrustum(c.plane, c.axis, VECTOR3D{1, 2, 3});
        EXPECT_EQ(v.x, 0.0f);
        EXPECT_EQ(v.y, 0.0f);
        EXPECT_EQ(v.z, 0.0f);
    }
}

TEST(Puzzle, InitialValues)
{
    const ONEPUZZLE p;
    EXPECT_EQ(p.pieces, nullptr);
    EXPECT_EQ(p.columns, 0);
    EXPECT_EQ(p.rows, 0);
    EXPECT_EQ(p.largestGroup, 0.0f);
    EXPECT_EQ(p.restartTimer, 1.0f);
    EXPECT_EQ(p.boardZ, 0.0f);
    EXPECT_EQ(p.boardScaleX, 1.0f);
    EXPECT_EQ(p.boardScaleY, 1.0f);
    EXPECT_FALSE(p.newPicture);
    EXPECT_EQ(p.finishFraction, 0.75f);
    EXPECT_EQ(p.puzzleWidth, 25);
    EXPECT_TRUE(p.lockInPlace);

    const ONEPIECE piece;
    EXPECT_EQ(piece.shape, 0);
    EXPECT_EQ(piece.column, 0);
    EXPECT_EQ(piece.row, 0);
    EXPECT_EQ(piece.pos.x, 0.0f);
    EXPECT_EQ(piece.angle.z, 0.0f);
    EXPECT_EQ(piece.realPos.y, 0.0f);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(piece.rotation.m[i], (i % 5 == 0) ? 1.0 : 0.0);
}

TEST(Puzzle, SetupCopiesSettingsEvenWhenShapesFail)
{
    SETTINGS settings{};
    settings.PERCENTAGE = 60;
    settings.PUZZLEWIDTH = 13;
    settings.LOCKINPLACE = false;
    char nowhere[] = "/nonexistent-zarnet-resources/";
    ONEPUZZLE p;
    EXPECT_FALSE(p.Setup(&settings, nowhere));
    EXPECT_EQ(p.finishFraction, static_cast<float>(60 / 100.0));
    EXPECT_EQ(p.puzzleWidth, 13);
    EXPECT_FALSE(p.lockInPlace);
    EXPECT_FALSE(p.Setup(nullptr, nowhere));
}

struct SizeCase {
    int width, height, puzzleWidth;
    int columns, rows;
    bool landscape;
};

TEST(NewPuzzle, BoardSizes)
{
    const SizeCase cases[] = {
        {1024, 768, 25, 25, 18, true},
        {768, 1024, 25, 18, 25, false},
        {800, 800, 25, 25, 25, false},
        {0, 0, 25, 25, 25, false},
        {0, 768, 25, 25, 25, false},
        {1920, 1080, 25, 25, 14, true},
        {1024, 768, 40, 40, 30, true},
        // Never fewer than two rows or columns: one would never cut.
        {1000, 10, 25, 25, 2, true},
        {10, 1000, 25, 2, 25, false},
        {1024, 768, 2, 2, 2, true},
        {1024, 768, 1, 2, 2, true},
        {768, 1024, 0, 2, 2, false},
        {800, 800, -7, 2, 2, false},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " width " << c.puzzleWidth);
        ONEPUZZLE p;
        ASSERT_TRUE(MakeBoard(p, c.width, c.height, c.puzzleWidth));
        EXPECT_EQ(p.columns, c.columns);
        EXPECT_EQ(p.rows, c.rows);
        EXPECT_EQ(p.pieceCount, c.columns * c.rows);
        EXPECT_EQ(p.texCellWidth, static_cast<float>(1.0 / c.columns));
        EXPECT_EQ(p.texCellHeight, static_cast<float>(1.0 / c.rows));
        EXPECT_EQ(c.landscape ? p.boardScaleX : p.boardScaleY, 1.0f);
        EXPECT_TRUE(std::isfinite(p.boardZ));
        EXPECT_TRUE(std::isfinite(p.boardScaleX) && std::isfinite(p.boardScaleY));
        EXPECT_LT(p.boardZ, 39.0f);   // in front of the near plane
    }
}

TEST(NewPuzzle, DepthAndScaleUnderTheEngineView)
{
    const float aspect = 16.0f / 9.0f;  // the view's shape; only the right plane depends on it
    {
        // 25 rows: the top edge passes through the top row's centre one unit in front.
        ONEPUZZLE p;
        ASSERT_TRUE(MakeBoard(p, 600, 800, 25, aspect));
        EXPECT_NEAR(p.boardZ, 40 - 12 / kTan - 1, 1e-3);
        EXPECT_NEAR(p.boardZ, 10.03, 0.005);
        const double xEdge = (40 - p.boardZ) * kTan * aspect;
        EXPECT_NEAR(p.boardScaleX, xEdge / (0.5 * p.columns), 1e-4);
        EXPECT_NEAR(p.picAspect, 0.75, 1e-6);
    }
    {
        // Landscape: the right edge passes through the last column's centre.
        ONEPUZZLE p;
        ASSERT_TRUE(MakeBoard(p, 1920, 1080, 25, aspect));
        EXPECT_NEAR(p.boardZ, 40 - 12 / (kTan * aspect) - 1, 1e-3);
        const double yEdge = (40 - p.boardZ) * kTan;
        EXPECT_NEAR(p.boardScaleY, yEdge / (0.5 * 14), 1e-4);
        // On a 16:9 view a 16:9 grab fills the view almost exactly.
        EXPECT_NEAR(p.boardScaleY, 1.0, 0.05);
    }
}

// Every edge of the cut: borders straight, interior edges interlocking with
// opposite codes on the two sides; pieces at home, free and reset.
TEST(NewPuzzle, CutInterlocks)
{
    const struct {
        int width, height, puzzleWidth;
        unsigned seed;
    } boards[] = {{1024, 768, 25, 1}, {768, 1024, 12, 2}, {500, 500, 2, 3}, {1000, 10, 9, 4},
                  {1920, 1080, 50, 5}};
    for (const auto& b : boards) {
        SCOPED_TRACE(testing::Message() << b.width << "x" << b.height << " width " << b.puzzleWidth);
        std::srand(b.seed);
        ONEPUZZLE p;
        ASSERT_TRUE(MakeBoard(p, b.width, b.height, b.puzzleWidth));
        for (int j = 0; j < p.rows; ++j) {
            for (int i = 0; i < p.columns; ++i) {
                const ONEPIECE& piece = p.pieces[j * p.columns + i];
                ASSERT_GE(piece.shape, 0);
                ASSERT_LT(piece.shape, 64);
                const int* e = ppInfo[piece.shape];  // top, right, bottom, left
                EXPECT_EQ(piece.column, i);
                EXPECT_EQ(piece.row, p.rows - 1 - j);
                EXPECT_EQ(e[0] == 0, j == 0) << i << "," << j;
                EXPECT_EQ(e[2] == 0, j == p.rows - 1) << i << "," << j;
                EXPECT_EQ(e[3] == 0, i == 0) << i << "," << j;
                EXPECT_EQ(e[1] == 0, i == p.columns - 1) << i << "," << j;
                if (i + 1 < p.columns) {
                    EXPECT_EQ(e[1], -ppInfo[p.pieces[j * p.columns + i + 1].shape][3]);
                }
                if (j + 1 < p.rows) {
                    EXPECT_EQ(e[2], -ppInfo[p.pieces[(j + 1) * p.columns + i].shape][0]);
                }

                EXPECT_EQ(piece.pos.x, static_cast<float>(i - (p.columns - 1) * 0.5));
                EXPECT_EQ(piece.pos.y, static_cast<float>(piece.row - (p.rows - 1) * 0.5));
                EXPECT_EQ(piece.pos.z, p.boardZ);
                EXPECT_EQ(piece.parent, nullptr);
                EXPECT_EQ(piece.angle.x, 0.0f);
                EXPECT_EQ(piece.speed, 2.0f);
                EXPECT_EQ(piece.moveTimer, 0.0f);
                const VECTOR3D d = piece.direction;
                const float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
                EXPECT_TRUE(len == 0.0f || std::fabs(len - 1.0f) < 1e-5f);
            }
        }
    }
}

TEST(NewPuzzle, SeededCutRepeats)
{
    auto cut = [](unsigned seed) {
        std::srand(seed);
        ONEPUZZLE p;
        MakeBoard(p, 1024, 768, 10);
        std::vector<float> out;
        for (int i = 0; i < p.pieceCount; ++i) {
            out.push_back(static_cast<float>(p.pieces[i].shape));
            out.push_back(p.pieces[i].direction.x);
            out.push_back(p.pieces[i].direction.z);
        }
        return out;
    };
    EXPECT_EQ(cut(42), cut(42));
    EXPECT_NE(cut(42), cut(43));
}

TEST(NewPuzzle, NewBoardKeepsCycleAndSettings)
{
    ONEPUZZLE p;
    ASSERT_TRUE(MakeBoard(p, 1024, 768, 8));
    p.restartTimer = 1.5f;
    p.largestGroup = 0.97f;
    p.newPicture = true;
    p.finishFraction = 0.5f;
    p.lockInPlace = false;
    p.picWidth = 300;
    p.picHeight = 900;
    ASSERT_TRUE(p.NewPuzzle());
    EXPECT_FALSE(p.newPicture);
    EXPECT_EQ(p.restartTimer, 1.5f);
    EXPECT_EQ(p.largestGroup, 0.97f);
    EXPECT_EQ(p.finishFraction, 0.5f);
    EXPECT_FALSE(p.lockInPlace);
    EXPECT_EQ(p.rows, 8);
    EXPECT_EQ(p.columns, 2);
}

TEST(Cleanup, SafeTwiceAndWithoutPieces)
{
    ONEPUZZLE empty;
    empty.Cleanup();
    empty.Cleanup();
    EXPECT_EQ(empty.pieces, nullptr);

    ONEPUZZLE p;
    ASSERT_TRUE(MakeBoard(p, 640, 480, 6));
    const int columns = p.columns;
    p.Cleanup();
    EXPECT_EQ(p.pieces, nullptr);
    EXPECT_EQ(p.columns, columns);  // nothing else changes
    p.Cleanup();
    EXPECT_EQ(p.pieces, nullptr);
    ASSERT_TRUE(p.NewPuzzle());     // and a board can be cut again
    EXPECT_NE(p.pieces, nullptr);
}

TEST(Reset, FreesAndKeepsPlace)
{
    ONEPIECE a, b;
    a.parent = &b;
    a.pos = VECTOR3D{1, 2, 3};
    a.rotation = MatrixFromAngle(VECTOR3D{10, 20, 30});
    a.shape = 17;
    a.column = 4;
    a.row = 5;
    a.angle = VECTOR3D{10, 20, 30};
    a.spin = a.targetSpin = a.velocity = VECTOR3D{1, 1, 1};
    a.speed = a.targetSpeed = 0.5f;
    a.moveTimer = 9;
    a.realPosValid = true;
    a.blend = a.blendSpeed = 0.7f;
    a.attachedCount = 3;
    a.groupShare = 0.4f;
    const MATRIX kept = a.rotation;
    std::srand(5);
    a.Reset();
    EXPECT_EQ(a.parent, nullptr);
    EXPECT_EQ(a.pos.z, 3.0f);
    EXPECT_EQ(std::memcmp(&a.rotation, &kept, sizeof kept), 0);
    EXPECT_EQ(a.shape, 17);
    EXPECT_EQ(a.column, 4);
    EXPECT_EQ(a.row, 5);
    EXPECT_EQ(a.angle.y, 0.0f);
    EXPECT_EQ(a.spin.x, 0.0f);
    EXPECT_EQ(a.targetSpin.z, 0.0f);
    EXPECT_EQ(a.velocity.x, 0.0f);
    EXPECT_EQ(a.speed, 2.0f);
    EXPECT_EQ(a.targetSpeed, 2.0f);
    EXPECT_EQ(a.moveTimer, 0.0f);
    EXPECT_FALSE(a.realPosValid);
    EXPECT_EQ(a.blend, 0.0f);
    EXPECT_EQ(a.blendSpeed, 0.0f);
    EXPECT_EQ(a.attachedCount, 0);
    EXPECT_EQ(a.groupShare, 0.0f);
    // The heading is three draws of -5..4, made unit length.
    std::srand(5);
    VECTOR3D want{static_cast<float>(std::rand() % 10 - 5), static_cast<float>(std::rand() % 10 - 5),
                  static_cast<float>(std::rand() % 10 - 5)};
    want.Normalize();
    EXPECT_EQ(a.direction.x, want.x);
    EXPECT_EQ(a.direction.y, want.y);
    EXPECT_EQ(a.direction.z, want.z);
}

}  // namespace
