// A card's geometry: its faces reach every texel of the mask that can pass
// the alpha cut, and its fins are drawn while it is turned edge on, where its
// faces vanish and the fins alone show the piece, and left out while it
// faces the eye.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/SSMAIN.h"
#include "loading/MS3D.h"
#include "math/MATRIX.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/PieceCards.h"
#include "puzzle/PieceShapes.h"
#include "tests/support/engine_view.h"

namespace {

// Beyond a card's faces (CardReach on each side), the mask of the shipped shapes, filtered as GL filters it at any
// level, stays at or under the alpha cut: a card cut shorter would lose
// pixels of its piece.
TEST(CardGeometry, FacesReachEveryTexelOverTheCut)
{
    PieceCardAtlas atlas;
    atlas.Reset();
    bool lightSet = false;
    std::string resources = ZARNET_BUILD_RESOURCES;
    ASSERT_TRUE(ReadPieceShapes(
        resources.data(), [&](int shape, bool light, MS3D& model) { light || atlas.AddShape(shape, model); },
        &lightSet));
    ASSERT_TRUE(atlas.Complete());
    for (int shape = 0; shape < 64; ++shape) {
        const float top = CardReach(shape, 0), right = CardReach(shape, 1);
        const float bottom = -CardReach(shape, 2), left = -CardReach(shape, 3);
        for (int level = 0; level < kCardLevels; ++level) {
            const int side = atlas.size >> level;
            const auto& texels = atlas.levels[static_cast<size_t>(level)];
            auto alpha = [&](int x, int y) {  // clamped to the atlas, as GL_CLAMP_TO_EDGE
                x = std::min(std::max(x, 0), side - 1);
                y = std::min(std::max(y, 0), side - 1);
                return texels[2 * static_cast<size_t>(y * side + x) + 1] / 255.0f;
            };
            float worst = 0.0f;
            for (float y = -kCardHalfSpan; y <= kCardHalfSpan; y += 0.25f)
                for (float x = -kCardHalfSpan; x <= kCardHalfSpan; x += 0.25f) {
                    if (x >= left && x <= right && y >= bottom && y <= top)
                        continue;
                    float s = 0.0f, t = 0.0f;
                    PieceCardAtlas::TileCoordinates(shape, x, y, &s, &t);
                    const float u = s * side - 0.5f, v = t * side - 0.5f;
                    const int i = static_cast<int>(std::floor(u)), j = static_cast<int>(std::floor(v));
                    const float fu = u - i, fv = v - j;
                    worst = std::max(worst, (1 - fu) * (1 - fv) * alpha(i, j) + fu * (1 - fv) * alpha(i + 1, j) +
                                                (1 - fu) * fv * alpha(i, j + 1) + fu * fv * alpha(i + 1, j + 1));
                }
            EXPECT_LE(worst, kCardAlphaCut) << "shape " << shape << " level " << level;
        }
    }
}

TEST(CardFins, ShowAnEdgeOnBoardAndOnlyIt)
{
    const int w = 320, h = 180;  // 25 across: cells of about 13 px, all cards
    EngineView view;
    ASSERT_TRUE(view.Open(w, h)) << view.Error();
    SETTINGS settings = EngineTestSettings(0, 25, "", w, h);
    SSMAIN engine;
    engine.pictureTex = UploadGrabTexture(w, h, CellPicture(w, h, 25, 14));
    view.Init(&engine);
    std::string resources = ZARNET_BUILD_RESOURCES;
    ASSERT_TRUE(engine.Setup(false, w, h, &settings, resources.data()));
    ONEPUZZLE& puzzle = *engine.puzzle;
    ASSERT_NE(puzzle.cardTexture, 0u);
    puzzle.restartTimer = 21.0f;  // stands: nothing moves between frames

    // The board turned by `degrees` about x, drawn with or without the
    // fins' lists: its lit pixels, and the fragments GL shaded for it.
    struct Drawn {
        double lit;
        GLuint64 shaded;
    };
    GLuint query = 0;
    glGenQueries(1, &query);
    auto draw = [&](float degrees, bool fins) {
        for (int k = 0; k < puzzle.pieceCount; ++k) {
            puzzle.pieces[k].angle = VECTOR3D(degrees, 0.0f, 0.0f);
            puzzle.pieces[k].rotation = MatrixFromAngle(puzzle.pieces[k].angle);
        }
        unsigned saved[64];
        for (int s = 0; s < 64; ++s) {
            saved[s] = puzzle.finLists[s];
            if (!fins)
                puzzle.finLists[s] = 0;  // calling list 0 draws nothing
        }
        glBeginQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB, query);
        view.Tick(engine, 0.0);
        glEndQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB);
        for (int s = 0; s < 64; ++s)
            puzzle.finLists[s] = saved[s];
        Drawn drawn{view.Grab().LitFraction(30) * w * h, 0};
        glGetQueryObjectui64v(query, GL_QUERY_RESULT, &drawn.shaded);
        return drawn;
    };
    // Edge on, the rows near the eye's height are fins alone: a sliver of
    // about a pixel per piece in a row of 25.
    EXPECT_GT(draw(90.0f, true).lit, draw(90.0f, false).lit + 25 * 8) << "an edge-on card lost its side";
    // Facing the eye the fins would lie behind the faces: not drawn at all,
    // so not a fragment more is shaded with their lists than without.
    const Drawn facing = draw(0.0f, true);
    EXPECT_EQ(facing.shaded, draw(0.0f, false).shaded) << "fins drawn behind a face";
    EXPECT_GT(facing.lit, 0.5 * w * h);
    EXPECT_GT(facing.shaded, 0u);
    glDeleteQueries(1, &query);
    engine.Cleanup();
}

}  // namespace
