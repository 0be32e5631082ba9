// Cards, the smallest pieces' flat stand-ins: the masks drawn from the
// shipped shapes (outline, knobs and holes where the shapes have them, the
// rim's shading, every level), and boards drawn with cards against the same
// boards drawn with shapes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "engine/SSMAIN.h"
#include "loading/MS3D.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/PieceCards.h"
#include "puzzle/PieceShapes.h"
#include "puzzle/ppInfo.h"
#include "tests/support/engine_view.h"

namespace {

int ShapeWith(int top, int right, int bottom, int left)
{
    const int codes[4] = {top, right, bottom, left};
    const auto* found =
        std::find_if(ppInfo, ppInfo + 64, [&codes](const int* shape) { return std::equal(codes, codes + 4, shape); });
    return static_cast<int>(found - ppInfo);
}

struct Texel {
    int light, alpha;
};

// The texel of model point (x, y) in a shape's tile at a level.
Texel At(const PieceCardAtlas& atlas, int level, int shape, float x, float y)
{
    float s = 0.0f, t = 0.0f;
    PieceCardAtlas::TileCoordinates(shape, x, y, &s, &t);
    const int side = atlas.size >> level;
    const size_t at = (static_cast<size_t>(t * side) * side + static_cast<size_t>(s * side)) * 2;
    const std::vector<uint8_t>& texels = atlas.levels[static_cast<size_t>(level)];
    return {texels[at], texels[at + 1]};
}

TEST(PieceCards, MasksFollowTheShippedOutlinesAtEveryLevel)
{
    PieceCardAtlas atlas;
    atlas.Reset();
    bool lightSet = false;
    ASSERT_TRUE(ReadPieceShapes(
        ZARNET_BUILD_RESOURCES, [&atlas](int shape, bool light, MS3D& model) { light || atlas.AddShape(shape, model); },
        &lightSet));
    ASSERT_TRUE(atlas.Complete());

    // A corner piece: top and left straight, a knob on the right, a hole at
    // the bottom. The knob's head is centred 8.2 units beyond its edge, the
    // hole's as far inside; the face ends 1.5 units inside the outline.
    const int corner = ShapeWith(0, 1, -1, 0);
    const struct {
        const char* where;
        float x, y;
        int minAlpha, maxAlpha, minLight, maxLight;
    } points[] = {
        {"centre", 0, 0, 255, 255, 255, 255},
        {"face by the top edge", 0, 17.5f, 255, 255, 250, 255},
        {"rim of the top edge", 0, 19.8f, 1, 255, 0, 200},
        {"beyond the top edge", 0, 24, 0, 0, 0, 255},
        {"beyond the left edge", -24, 5, 0, 0, 0, 255},
        {"knob head on the right", 28.2f, 0, 255, 255, 250, 255},
        {"hole at the bottom", 0, -11.8f, 0, 0, 0, 255},
        {"far corner", 33, 33, 0, 0, 0, 255},
    };
    for (const auto& p : points) {
        const Texel texel = At(atlas, 0, corner, p.x, p.y);
        EXPECT_TRUE(texel.alpha >= p.minAlpha && texel.alpha <= p.maxAlpha && texel.light >= p.minLight &&
                    texel.light <= p.maxLight)
            << p.where << ": light " << texel.light << ", alpha " << texel.alpha;
    }
    // The knob of one piece fills the hole of its neighbour: the mirrored shape's mask.
    const int mirrored = ShapeWith(0, -1, 1, 0);
    EXPECT_EQ(At(atlas, 0, mirrored, -28.2f, 0).alpha, 0);
    EXPECT_EQ(At(atlas, 0, mirrored, 0, -28.2f).alpha, 255);

    // Each level is the one above halved: a tile's coverage stays, and the
    // middle stays inside down to the smallest.
    for (int shape : {corner, mirrored, ShapeWith(1, 1, 1, 1)}) {
        double coverage[kCardLevels] = {};
        for (int level = 0; level < kCardLevels; ++level) {
            const int side = kCardTile >> level;
            for (int ty = 0; ty < side; ++ty)
                for (int tx = 0; tx < side; ++tx) {
                    const float x = (tx + 0.5f) / side * 2 * kCardHalfSpan - kCardHalfSpan;
                    const float y = (ty + 0.5f) / side * 2 * kCardHalfSpan - kCardHalfSpan;
                    coverage[level] += At(atlas, level, shape, x, y).alpha / 255.0 / (side * side);
                }
            EXPECT_GE(At(atlas, level, shape, -5, 5).alpha, 250) << "shape " << shape << " level " << level;
            EXPECT_NEAR(coverage[level], coverage[0], 0.01) << "shape " << shape << " level " << level;
        }
    }

    EXPECT_FALSE(atlas.AddShape(64, MS3D()));
    EXPECT_FALSE(atlas.AddShape(-1, MS3D()));
    EXPECT_FALSE(atlas.AddShape(3, MS3D()));  // no triangles
}

// A desktop-grab board of `across` pieces in a 160 x 90 view, standing
// assembled, drawn once with the cards and once with the shapes only.
TEST(PieceCards, BoardsDrawnWithCardsShowTheSamePictureWithoutHoles)
{
    const int w = 160, h = 90;
    EngineView view;
    ASSERT_TRUE(view.Open(w, h)) << view.Error();
    const struct {
        int across, rows;
        bool cards;  // cells under the cards' size in this view
    } boards[] = {{25, 14, true}, {4, 2, false}};
    for (const auto& b : boards) {
        SCOPED_TRACE(b.across);
        SETTINGS settings = EngineTestSettings(0, b.across, "", w, h);
        SSMAIN engine;
        engine.pictureTex = UploadGrabTexture(w * 2, h * 2, CellPicture(w * 2, h * 2, b.across, b.rows));
        view.Init(&engine);
        std::string resources = ZARNET_BUILD_RESOURCES;
        ASSERT_TRUE(engine.Setup(false, w, h, &settings, resources.data()));
        ONEPUZZLE& puzzle = *engine.puzzle;
        ASSERT_EQ(puzzle.columns, b.across);
        ASSERT_NE(puzzle.cardTexture, 0u);
        puzzle.restartTimer = 21.0f;  // stands: nothing moves between the two frames
        view.Tick(engine, 0.0);
        const Frame cards = view.Grab();
        const unsigned cardTexture = puzzle.cardTexture;
        puzzle.cardTexture = 0;
        view.Tick(engine, 0.0);
        const Frame shapes = view.Grab();
        puzzle.cardTexture = cardTexture;
        SaveFrame(cards, "cards_" + std::to_string(b.across));
        SaveFrame(shapes, "shapes_" + std::to_string(b.across));

        // Every cell at its place in its own colour, and no background shows
        // through where the shapes leave none (the picture's blue is full
        // everywhere, the darkest rim a fifth of it).
        const CellReport report = CheckBoardCells(cards, view, puzzle, puzzle.boardScaleX, puzzle.boardScaleY);
        EXPECT_EQ(report.matched, report.checked) << report.firstMisses;
        EXPECT_GE(report.checked, b.across * b.rows * 3 / 4);
        int holes = 0;
        double blockDifference = 0.0;  // of the mean colour over 9 x 9 squares
        int blocks = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                holes += cards.At(x, y).b < 25 && shapes.At(x, y).b >= 25;
                if (x % 9 == 4 && y % 9 == 4) {
                    const Rgb c = cards.MeanAround(x, y, 4), s = shapes.MeanAround(x, y, 4);
                    blockDifference += (std::abs(c.r - s.r) + std::abs(c.g - s.g) + std::abs(c.b - s.b)) / 3.0;
                    ++blocks;
                }
            }
        EXPECT_EQ(holes, 0);
        if (b.cards) {
            // Pixel by pixel the seams differ (a shape's rim is under a
            // pixel wide here, drawn or missed; a card's is filtered), but
            // the picture they make is the same.
            EXPECT_GT(cards.MeanDifference(shapes), 0.0) << "no card drawn";
            EXPECT_LT(blockDifference / blocks, 8.0);
        } else {
            EXPECT_EQ(cards.MeanDifference(shapes), 0.0) << "cards drawn for pieces large on screen";
        }
        engine.Cleanup();
    }
}

}  // namespace
