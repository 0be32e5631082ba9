// The shapes drawn: the display lists ONEPUZZLE::Setup makes from "zar.vnt"
// (read back through GL feedback) and an assembled block of the shipped
// shapes without gaps (<build>/test-renders/shapes_block.png); and cards, the
// smallest pieces' flat stand-ins, against the shapes they stand for, and
// their fins, drawn only while a card is turned edge on.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "engine/SSMAIN.h"
#include "loading/MS3D.h"
#include "math/MATRIX.h"
#include "pictures/png_writer.h"
#include "platform/egl_headless.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/PieceCards.h"
#include "puzzle/PieceShapes.h"
#include "puzzle/ppInfo.h"
#include "tests/support/engine_view.h"
#include "tests/support/scratch_dir.h"
#include "tools/ms3d_writer.h"
#include "tools/vanf_writer.h"

namespace {

// The shape of the given edge codes (top, right, bottom, left).
int ShapeWith(int top, int right, int bottom, int left)
{
    const int codes[4] = {top, right, bottom, left};
    const auto* found =
        std::find_if(ppInfo, ppInfo + 64, [&codes](const int* shape) { return std::equal(codes, codes + 4, shape); });
    return static_cast<int>(found - ppInfo);
}

bool SetupFrom(ONEPUZZLE& puzzle, std::string directory)
{
    SETTINGS settings{};  // the shapes don't depend on it
    return puzzle.Setup(&settings, directory.data());
}

class PieceShapes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl_.Create(256, 256)) << gl_.Error(); }
    HeadlessGLContext gl_;
};

TEST_F(PieceShapes, SetupNeedsSixtyFourModelsAndMapsTheTextureFromPositions)
{
    // Corner (40, -20, 4), the texture mapping's corners (20, 20) and
    // (-20, -20), and the centre; the stored coordinates (9) are replaced.
    ms3dw::Mesh mesh;
    mesh.positions = {{40, -20, 4}, {20, 20, 0}, {-20, -20, 0}, {0, 0, -2}};
    mesh.groups = {"probe"};
    mesh.triangles.resize(2);
    for (auto& triangle : mesh.triangles)
        triangle.s = triangle.t = {9, 9, 9}, triangle.n = {{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}};
    mesh.triangles[0].v = {0, 1, 2};
    mesh.triangles[1].v = {1, 2, 3};
    std::vector<vanf::Lump> lumps(63);
    ASSERT_TRUE(ms3dw::Write(mesh, lumps[0].data));
    ScratchDir dir;
    ONEPUZZLE puzzle;
    // 128 lumps, the last one damaged: a light set that can't be read whole
    // is dropped, and the full shapes are drawn at every size.
    for (size_t count : {63, 128, 64}) {
        lumps.resize(count, lumps[0]);
        if (count == 128)
            lumps[127].data.assign(8, 0xff);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(vanf::Pack(lumps, bytes) && WriteWholeFile(dir.Join("zar.vnt"), bytes));
        ASSERT_EQ(SetupFrom(puzzle, dir.Path() + "/"), count != 63) << count << " lumps";
        EXPECT_TRUE(count == 63 || std::equal(puzzle.lightLists, puzzle.lightLists + 64, puzzle.modelLists));
    }
    // An orthographic view of [-2, 2]^3 on a 4 x 4 viewport: window x, y =
    // x + 2, y + 2, depth = (2 - z) / 4.
    glViewport(0, 0, 4, 4);
    glMatrixMode(GL_PROJECTION);
    glOrtho(-2, 2, -2, 2, -2, 2);
    std::vector<GLfloat> buffer(256);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glCallList(puzzle.modelLists[17]);
    ASSERT_EQ(glRenderMode(GL_RENDER), 2 * 35);  // per triangle a token, 3, then x y z, r g b a, s t r q per corner
    const double expected[4][5] = {              // x, y, z in the list; s, t handed to GL
                                   {1, -0.5, 0.1, 3, 2},
                                   {0.5, 0.5, 0, 2, 0},
                                   {-0.5, -0.5, 0, 0, 2},
                                   {0, 0, -0.05, 1, 1}};
    for (const auto& e : expected) {
        int found = 0;
        for (int corner = 0; corner < 6; ++corner) {
            const GLfloat* f = &buffer[corner / 3 * 35 + 2 + corner % 3 * 11];
            bool here = std::fabs(f[0] - 2 - e[0]) + std::fabs(f[1] - 2 - e[1]) + std::fabs(2 - 4 * f[2] - e[2]) < 1e-4;
            found += here;
            EXPECT_TRUE(!here || std::fabs(f[7] / f[10] - e[3]) + std::fabs(f[8] / f[10] - e[4]) < 1e-5)
                << "at (" << e[0] << ", " << e[1] << "): s, t = " << f[7] / f[10] << ", " << f[8] / f[10];
        }
        EXPECT_GT(found, 0) << "no corner at (" << e[0] << ", " << e[1] << ", " << e[2] << ")";
    }
}

// The shape of cell (i, j) of a 4 x 4 block (row j = 0 at the top): straight
// outer edges, knobs and holes mixed inside.
int BlockShape(int i, int j)
{
    auto right = [](int x, int y) { return x < 0 || x > 2 ? 0 : (x + 2 * y) % 3 ? 1 : -1; };  // code on the right edge
    auto down = [](int x, int y) { return y < 0 || y > 2 ? 0 : (2 * x + y) % 3 ? -1 : 1; };   // on the bottom edge
    return ShapeWith(-down(i, j - 1), right(i, j), down(i, j), -right(i - 1, j));
}

TEST_F(PieceShapes, ShippedShapesMakeSixtyFourListsAndABlockWithoutGaps)
{
    ONEPUZZLE puzzle;
    ASSERT_TRUE(SetupFrom(puzzle, ZARNET_BUILD_RESOURCES));
    std::set<unsigned> lists(puzzle.modelLists, puzzle.modelLists + 64);
    lists.insert(puzzle.lightLists, puzzle.lightLists + 64);
    EXPECT_TRUE(lists.size() == 128 && !lists.count(0) && glIsList(*lists.begin()) && glIsList(*lists.rbegin()));
    const int size = 256;
    glMatrixMode(GL_PROJECTION);
    glOrtho(-2.5, 2.5, -2.5, 2.5, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);  // white, shining from the eye
    glEnable(GL_COLOR_MATERIAL);
    glClearColor(0, 0, 1, 1);  // pure blue: anything blue inside the block is a hole
    const struct {
        float tilt, shift;  // degrees about x; cells one piece is moved by
        int holes;          // at least
    } views[] = {{0, 0.06f, 20}, {0, 0, 0}, {35, 0, 0}};
    std::vector<uint8_t> rgba;
    for (const auto& v : views) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        glRotatef(v.tilt, 1, 0, 0);
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) {
                glPushMatrix();
                glTranslatef(i - 1.5f + (i == 1 && j == 1 ? v.shift : 0), 1.5f - j, 0);
                glCallList(puzzle.modelLists[BlockShape(i, j)]);
                glPopMatrix();
            }
        rgba = gl_.ReadPixels();
        const double halfX = 1.95 / 5 * size, halfY = halfX * std::cos(v.tilt * M_PI / 180);
        int holes = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const uint8_t* p = &rgba[(size_t(y) * size + x) * 4];
                holes += std::fabs(x + 0.5 - size / 2.0) < halfX && std::fabs(y + 0.5 - size / 2.0) < halfY &&
                         p[2] > p[0] + 64 && p[2] > p[1] + 64;
            }
        EXPECT_TRUE(v.holes ? holes > v.holes : holes == 0) << holes << " holes, view " << &v - views;
    }
    const std::string renders = std::string(ZARNET_BUILD_RESOURCES) + "../test-renders/";
    std::filesystem::create_directories(renders);
    EXPECT_TRUE(WritePNG((renders + "shapes_block.png").c_str(), size, size, rgba.data()));  // the tilted view
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
        {"knob head on the right", 28.2f, 0, 255, 255, 250, 255},
        {"hole at the bottom", 0, -11.8f, 0, 0, 0, 255},
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
}

// A desktop-grab board of across x rows cells in `view`, its picture `scale` times the view's size, standing
// assembled (nothing moves between frames); false without the cards' texture.
bool StandingBoard(EngineView& view, SSMAIN& engine, SETTINGS& settings, int across, int rows, int scale)
{
    const int w = view.width * scale, h = view.height * scale;
    settings = EngineTestSettings(0, across, "", view.width, view.height);
    engine.pictureTex = UploadGrabTexture(w, h, CellPicture(w, h, across, rows));
    view.Init(&engine);
    std::string resources = ZARNET_BUILD_RESOURCES;
    if (!engine.Setup(false, view.width, view.height, &settings, resources.data()) || !engine.puzzle->cardTexture)
        return false;
    engine.puzzle->restartTimer = 21.0f;
    return engine.puzzle->columns == across;
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
        SETTINGS settings;
        SSMAIN engine;
        ASSERT_TRUE(StandingBoard(view, engine, settings, b.across, b.rows, 2));
        ONEPUZZLE& puzzle = *engine.puzzle;
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
        int holes = 0, blocks = 0;
        double blockDifference = 0.0;  // of the mean colour over 9 x 9 squares
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                holes += cards.At(x, y).b < 25 && shapes.At(x, y).b >= 25;
                if (x % 9 != 4 || y % 9 != 4)
                    continue;
                const Rgb c = cards.MeanAround(x, y, 4), s = shapes.MeanAround(x, y, 4);
                blockDifference += (std::abs(c.r - s.r) + std::abs(c.g - s.g) + std::abs(c.b - s.b)) / 3.0;
                ++blocks;
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

// Turned edge on, a card's faces vanish and its fins alone show the piece; facing the eye they are left out.
TEST(CardFins, ShowAnEdgeOnBoardAndOnlyIt)
{
    const int w = 320, h = 180;  // 25 across: cells of about 13 px, all cards
    EngineView view;
    ASSERT_TRUE(view.Open(w, h)) << view.Error();
    SETTINGS settings;
    SSMAIN engine;
    ASSERT_TRUE(StandingBoard(view, engine, settings, 25, 14, 1));
    ONEPUZZLE& puzzle = *engine.puzzle;

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
