// A card's fins: drawn while it is turned edge on, where its faces vanish and
// the fins alone show the piece, and left out while it faces the eye.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <string>

#include "engine/SSMAIN.h"
#include "math/MATRIX.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/engine_view.h"

namespace {

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
