// The engine's picture on screen: a freshly built board under the host's view
// shows every cell of the picture at its place, for landscape, portrait and
// square pictures and for the desktop grab, whose board is stretched to fill
// the view. Frames go to frames/engine_board_*.png in the build directory.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "engine/SSMAIN.h"
#include "loading/Texture.h"
#include "pictures/Pictures.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/engine_pictures.h"
#include "tests/support/engine_view.h"

namespace {

struct BoardCase {
    const char* name;
    int bgType;        // 0 = desktop grab (view-sized picture), 1 = picture file
    int picWidth;      // picture size, pixels
    int picHeight;
    int puzzleWidth;   // pieces along the longer side
    int resolution;    // BGRES
    int viewWidth;     // view size, pixels
    int viewHeight;
    int columns;       // the board the engine must cut for it
    int rows;
};

void PrintTo(const BoardCase& c, std::ostream* os) { *os << c.name; }

class AssembledBoard : public ::testing::TestWithParam<BoardCase> {};

TEST_P(AssembledBoard, ShowsEveryCellAtItsPlace)
{
    const BoardCase c = GetParam();
    EngineView view;
    ASSERT_TRUE(view.Open(c.viewWidth, c.viewHeight)) << view.Error();

    const std::vector<uint8_t> picture = CellPicture(c.picWidth, c.picHeight, c.columns, c.rows);
    SETTINGS settings = EngineTestSettings(c.bgType, c.puzzleWidth);
    settings.BGRES = c.resolution;
    SSMAIN engine;
    view.Init(&engine);

    // What the host view hands over before Setup: the texture and the picture size.
    if (c.bgType == 0) {
        engine.pictureTex = UploadGrabTexture(c.picWidth, c.picHeight, picture, 512);
        ASSERT_NE(engine.pictureTex, 0u);
        settings.picWidth = c.viewWidth;
        settings.picHeight = c.viewHeight;
    } else {
        const std::string dir = FreshFixtureDir(std::string("engine_board_") + c.name);
        const std::string path = dir + "picture.png";
        ASSERT_TRUE(WriteTestPNG(path, c.picWidth, c.picHeight, picture));
        Texture desk;
        ASSERT_TRUE(loadPicFile(path.c_str(), &desk, settings.BGRES));
        engine.pictureTex = desk.texID;
        desk.texID = 0;
        settings.picWidth = static_cast<int>(desk.width);
        settings.picHeight = static_cast<int>(desk.height);
    }

    std::vector<char> resources = EngineResourceDir();
    ASSERT_TRUE(engine.Setup(false, c.viewWidth, c.viewHeight, &settings, resources.data()));
    ASSERT_NE(engine.puzzle, nullptr);
    ASSERT_EQ(engine.puzzle->columns, c.columns);
    ASSERT_EQ(engine.puzzle->rows, c.rows);

    view.Tick(engine, 1.0 / 30.0);
    const Frame frame = view.Grab();
    EXPECT_TRUE(SaveFrame(frame, std::string("engine_board_") + c.name));

    const double sx = c.bgType == 0 ? engine.puzzle->boardScaleX : 1.0;
    const double sy = c.bgType == 0 ? engine.puzzle->boardScaleY : 1.0;
    const CellReport report = CheckBoardCells(frame, view, *engine.puzzle, sx, sy);
    EXPECT_EQ(report.matched, report.checked) << report.firstMisses;
    EXPECT_GE(report.checked, c.columns * c.rows * 3 / 4);  // most of the board is in view

    // The top-left cell top-left, the bottom-right cell bottom-right.
    double x0, y0, x1, y1;
    view.ProjectBoardPoint(-(c.columns - 1) * 0.5, (c.rows - 1) * 0.5, engine.puzzle->boardZ, sx, sy, &x0, &y0);
    view.ProjectBoardPoint((c.columns - 1) * 0.5, -(c.rows - 1) * 0.5, engine.puzzle->boardZ, sx, sy, &x1, &y1);
    EXPECT_LT(x0, c.viewWidth * 0.5);
    EXPECT_GT(y0, c.viewHeight * 0.5);
    EXPECT_GT(x1, c.viewWidth * 0.5);
    EXPECT_LT(y1, c.viewHeight * 0.5);

    if (c.bgType == 0) {
        // The grab's board is stretched to fill the view, as the desktop was.
        EXPECT_GT(frame.LitFraction(40), 0.8);
    }
    GLfloat textureMatrix[16];
    glGetFloatv(GL_TEXTURE_MATRIX, textureMatrix);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(textureMatrix[k], (k % 5 == 0) ? 1.0f : 0.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, AssembledBoard,
    ::testing::Values(
        BoardCase{"landscape", 1, 480, 300, 12, 0, 320, 200, 12, 7},
        BoardCase{"landscape25", 1, 1024, 768, 25, 1, 320, 200, 25, 18},
        BoardCase{"portrait", 1, 300, 450, 10, 0, 320, 200, 6, 10},
        BoardCase{"portrait_in_portrait_view", 1, 300, 450, 10, 2, 200, 320, 6, 10},
        BoardCase{"square", 1, 400, 400, 8, 0, 320, 200, 8, 8},
        BoardCase{"grab", 0, 320, 200, 10, 0, 320, 200, 10, 6},
        BoardCase{"grab_portrait", 0, 200, 320, 10, 0, 200, 320, 6, 10}),
    [](const ::testing::TestParamInfo<BoardCase>& info) { return std::string(info.param.name); });

TEST(EngineDraw, WithoutSetupIssuesNoGLCall)
{
    EngineView view;
    ASSERT_TRUE(view.Open(64, 48)) << view.Error();
    glClearColor(0.5f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glColor4f(0.25f, 0.5f, 0.75f, 1.0f);

    SSMAIN engine;
    engine.Update(0.1);
    engine.Draw();
    glFinish();

    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.25f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    const Frame frame = view.Grab();
    EXPECT_NEAR(frame.At(10, 10).r, 128, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A failed Setup leaves no puzzle: the frames stay black and nothing is
// drawn with textures that don't exist.
TEST(EngineDraw, FailedSetupDrawsNothing)
{
    EngineView view;
    ASSERT_TRUE(view.Open(96, 64)) << view.Error();

    // Only the texture container, no piece models.
    const std::string onlyTextures = FreshFixtureDir("engine_only_textures");
    std::filesystem::copy_file(std::string(ZARNET_BUILD_RESOURCES) + "vantor.morvence",
                               onlyTextures + "vantor.morvence");
    const std::string dirs[] = {"/nonexistent-zarnet-resources/", onlyTextures};
    for (const std::string& dir : dirs) {
        SCOPED_TRACE(dir);
        SETTINGS settings = EngineTestSettings(1, 6, "", 64, 64);
        SSMAIN engine;
        view.Init(&engine);
        std::vector<char> path(dir.begin(), dir.end());
        path.push_back('\0');
        EXPECT_FALSE(engine.Setup(false, 96, 64, &settings, path.data()));
        EXPECT_EQ(engine.puzzle, nullptr);
        for (int k = 0; k < 3; ++k)
            view.Tick(engine, 1.0);
        EXPECT_EQ(view.Grab().LitFraction(0), 0.0);
        EXPECT_FLOAT_EQ(engine.cardTimer, 90.0f);  // the overlay never ran
        engine.Cleanup();
    }
}

// Setup twice replaces puzzle and textures; Cleanup releases the handed-over
// picture texture once, and again is harmless.
TEST(EngineDraw, SetupAgainAndCleanupTwice)
{
    EngineView view;
    ASSERT_TRUE(view.Open(160, 100)) << view.Error();
    SETTINGS settings = EngineTestSettings(0, 6, "", 160, 100);
    std::vector<char> resources = EngineResourceDir();
    {
        SSMAIN engine;
        view.Init(&engine);
        engine.pictureTex = UploadGrabTexture(160, 100, CellPicture(160, 100, 6, 3), 512);
        const unsigned picture = engine.pictureTex;
        ASSERT_TRUE(engine.Setup(false, 160, 100, &settings, resources.data()));
        view.Tick(engine, 0.05);
        view.Reshape();  // Setup expects the view's perspective, as at the first tick
        ASSERT_TRUE(engine.Setup(false, 160, 100, &settings, resources.data()));
        EXPECT_EQ(engine.pictureTex, picture);  // kept: only LoadPic or the caller replace it
        view.Tick(engine, 0.05);
        EXPECT_GT(view.Grab().LitFraction(40), 0.5);
        const unsigned strip = engine.textures[1].texID;
        ASSERT_TRUE(glIsTexture(strip));
        engine.Cleanup();
        EXPECT_FALSE(glIsTexture(strip));
        EXPECT_EQ(engine.puzzle, nullptr);
        EXPECT_EQ(engine.textures, nullptr);
        EXPECT_EQ(engine.pictureTex, 0u);
        EXPECT_FALSE(glIsTexture(picture));
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        engine.Cleanup();
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
