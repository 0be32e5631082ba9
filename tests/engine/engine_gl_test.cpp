// The engine's picture in a small headless view, with pictures whose cells
// all differ in colour: the folder source's boards at their place through
// the cycle and new pictures, the bundled picture, the overlay, and a picture
// made on the worker. (Grab boards: PieceCards.) Frames go to
// frames/engine_*.png.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/SSMAIN.h"
#include "loading/Texture.h"
#include "pictures/Pictures.h"
#include "platform/desktop_background.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/engine_view.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

using testpics::EncodeAs, testpics::Kind;

namespace {

constexpr int kW = 320;  // view size, pixels
constexpr int kH = 200;
constexpr float kStep = 1.0f / 30.0f;  // seconds a frame

// Moves the pieces alone, kStep at a time, until done() holds or `limit` seconds have passed.
bool StepUntil(ONEPUZZLE& puzzle, double limit, const std::function<bool()>& done)
{
    for (double t = 0.0; t < limit && !done(); t += kStep)
        puzzle.Move(kStep);
    return done();
}

// One drawn frame, saved as frames/engine_<name>.png, and how many board
// cells show their own colour at their place.
struct Shot {
    Frame frame;
    CellReport cells;
    bool Whole() const { return cells.checked > 0 && cells.matched == cells.checked; }
};

Shot Draw(EngineView& view, SSMAIN& engine, const std::string& name, double sx = 1.0, double sy = 1.0)
{
    view.Tick(engine, kStep);
    Shot shot{view.Grab(), {}};
    SaveFrame(shot.frame, "engine_" + name);
    shot.cells = CheckBoardCells(shot.frame, view, *engine.puzzle, sx, sy);
    return shot;
}

// Draws frames while the engine makes the requested picture (the board
// stands meanwhile), then the frame that shows the new board; at most ten
// seconds of waiting.
Shot DrawNewBoard(EngineView& view, SSMAIN& engine, const std::string& name)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (engine.puzzle->newPicture && std::chrono::steady_clock::now() < until)
        view.Tick(engine, kStep);
    return Draw(view, engine, name);
}

// Each test draws in its own headless view of kW x kH.
class EngineGL : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(view.Open(kW, kH)) << view.Error(); }
    // The view's init, then Setup as the host view calls it, by default with the build tree's resources.
    bool Start(SSMAIN& engine, SETTINGS& settings, std::string resources = ZARNET_BUILD_RESOURCES)
    {
        view.Init(&engine);
        return engine.Setup(false, kW, kH, &settings, resources.data());
    }
    EngineView view;
};

TEST_F(EngineGL, FolderBoardScattersReassemblesAndGetsANewPictureTwoSecondsBeforeBlowingApart)
{
    srand(2);  // a seed that shows each of them in turn
    // Three shapes of picture: for a puzzle width of 8 the board is 8 x 5,
    // 5 x 8 or 8 x 8, so the board tells which picture it was cut for.
    const ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join("wide.png"), EncodeAs(Kind::Png, 480, 300, CellPicture(480, 300, 8, 5))));
    ASSERT_TRUE(WriteWholeFile(dir.Join("tall.jpg"), EncodeAs(Kind::Jpeg, 300, 450, CellPicture(300, 450, 5, 8))));
    ASSERT_TRUE(WriteWholeFile(dir.Join("square.gif"), EncodeAs(Kind::Gif, 400, 400, CellPicture(400, 400, 8, 8))));
    SETTINGS settings = EngineTestSettings(2, 8, dir.Join(""));
    SSMAIN engine;
    ASSERT_TRUE(Start(engine, settings));
    ONEPUZZLE* const puzzle = engine.puzzle;
    Shot assembled = Draw(view, engine, "cycle_assembled");
    EXPECT_TRUE(assembled.Whole()) << assembled.cells.firstMisses;
    std::set<int> shown = {engine.pictureWidth};
    for (int cycle = 0; cycle < 2; ++cycle) {
        SCOPED_TRACE(cycle);
        const std::string name = "cycle" + std::to_string(cycle);
        // Eight seconds into scattering the board differs strongly from the picture ...
        ASSERT_TRUE(StepUntil(*puzzle, 20.0, [&] { return puzzle->restartTimer < -8.0f; }));
        const Shot scattered = Draw(view, engine, name + "_scattered");
        EXPECT_LT(scattered.cells.matched, scattered.cells.checked / 4);
        EXPECT_GT(scattered.frame.MeanDifference(assembled.frame), 25.0);
        // ... and reassembled (its 21 s countdown nearly run) it looks like it again.
        bool whole = false;
        ASSERT_TRUE(
            StepUntil(*puzzle, 1200.0,
                      [&] { return (whole = whole || puzzle->restartTimer == 21.0f) && puzzle->restartTimer < 2.5f; }))
            << "largest group " << puzzle->largestGroup;
        const Shot reassembled = Draw(view, engine, name + "_reassembled");
        EXPECT_TRUE(reassembled.Whole()) << reassembled.cells.firstMisses;
        EXPECT_LT(reassembled.frame.MeanDifference(assembled.frame), 10.0);  // seams may sit a pixel off

        // Two seconds before it blows apart, the next frame shows a new picture
        // on a board cut for it, standing whole until the countdown ends.
        ASSERT_TRUE(StepUntil(*puzzle, 1.0, [&] { return puzzle->newPicture; }));
        EXPECT_TRUE(puzzle->restartTimer < 2.0f && puzzle->restartTimer >= 2.0f - kStep) << puzzle->restartTimer;
        assembled = DrawNewBoard(view, engine, name + "_new_board");
        ASSERT_EQ(engine.puzzle, puzzle);
        EXPECT_FALSE(puzzle->newPicture);
        EXPECT_TRUE(assembled.Whole()) << assembled.cells.firstMisses;
        EXPECT_EQ(puzzle->columns, engine.pictureWidth == 300 ? 5 : 8);
        EXPECT_EQ(puzzle->rows, engine.pictureWidth == 480 ? 5 : 8);
        shown.insert(engine.pictureWidth);
        ASSERT_TRUE(StepUntil(*puzzle, 4.0, [&] { return puzzle->restartTimer < -1.5f; }));
        const Shot blown = Draw(view, engine, name + "_blown_apart");
        EXPECT_LT(blown.cells.matched, blown.cells.checked / 2);
    }
    EXPECT_EQ(shown.size(), 3u) << "pictures shown; if rand()'s draws changed, pick a seed that shows all three";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Which files decode and which names count is the picture tests' business;
// here, what the engine makes of a folder that gives no picture.
TEST_F(EngineGL, AFolderWithoutAUsablePictureShowsTheBundledOneAndTheEngineRuns)
{
    // The bundled picture as its own texture at resolution 0, to hold the engine's against.
    const std::string bundled = std::string(ZARNET_BUILD_RESOURCES) + kDefaultPictureName;
    Texture reference;
    ASSERT_TRUE(loadPicFile(bundled.c_str(), &reference, 0)) << bundled << " (the build makes it)";
    int rw = 0, rh = 0;
    const std::vector<uint8_t> bundledTexels = TextureTexels(reference.texID, &rw, &rh);
    glDeleteTextures(1, &reference.texID);
    std::vector<uint8_t> damaged = EncodeAs(Kind::Png, 240, 150, CellPicture(240, 150, 8, 5));
    for (size_t k = 60; k + 20 < damaged.size(); k += 7)
        damaged[k] ^= 0x5A;
    for (const bool folder : {false, true}) {  // none there, or one holding only a damaged picture
        SCOPED_TRACE(folder);
        const ScratchDir scratch;
        const std::string dir = folder ? scratch.Join("") : scratch.Join("missing/");
        ASSERT_TRUE(!folder || WriteWholeFile(dir + "a.png", damaged));
        srand(17);
        SETTINGS settings = EngineTestSettings(2, 8, dir);
        SSMAIN engine;
        ASSERT_TRUE(Start(engine, settings));
        for (int round = 0; round < 2; ++round) {  // the next board tries again and fares the same
            engine.puzzle->newPicture = round > 0;
            const Shot shot = DrawNewBoard(view, engine, "bad_" + std::to_string(folder) + std::to_string(round));
            EXPECT_GT(shot.frame.LitFraction(40), 0.3) << round;  // the board is there
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            // The bundled picture, texel for texel, and a board cut for its shape (1600 x 1000: 8 x 5).
            ASSERT_NE(engine.pictureTex, 0u);
            int w = 0, h = 0;
            EXPECT_TRUE(TextureTexels(engine.pictureTex, &w, &h) == bundledTexels) << w << " x " << h;
            EXPECT_EQ(engine.puzzle->columns * 5, engine.puzzle->rows * 8);
        }
    }
    // Without the bundled picture too, the pieces draw plain (white) and the run goes on.
    const ScratchDir resources, empty;
    srand(17);
    SETTINGS settings = EngineTestSettings(2, 8, empty.Join(""), 0, 0);
    SSMAIN engine;
    for (const char* file : {"vantor.morvence", "zar.vnt"})  // the build's data files but the bundled picture
        std::filesystem::copy_file(std::string(ZARNET_BUILD_RESOURCES) + file, resources.Join(file));
    ASSERT_TRUE(Start(engine, settings, resources.Join("")));
    engine.puzzle->newPicture = true;
    const Shot plain = DrawNewBoard(view, engine, "bad_no_bundled_picture");
    EXPECT_EQ(engine.pictureTex, 0u);
    EXPECT_GT(plain.frame.LitFraction(150), 0.3);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The overlay, measured on the pixels of the frames at the times it is due.
constexpr int kOW = 640;  // wide enough for the side strip beside the message strip
constexpr int kOH = 240;

struct OverlayRun {
    EngineView view;
    SETTINGS settings = EngineTestSettings(0, 6, "", kOW, kOH);
    SSMAIN engine;
    double now = 0.0;  // seconds of drawn frames

    bool Start(bool preview)
    {
        srand(5);
        if (!view.Open(kOW, kOH))
            return false;
        view.Init(&engine);
        engine.pictureTex = UploadGrabTexture(kOW, kOH, CellPicture(kOW, kOH, 6, 1));
        std::string resources = ZARNET_BUILD_RESOURCES;
        return engine.Setup(preview, kOW, kOH, &settings, resources.data());
    }
    // Draws frames of dt up to `until` seconds, the last on a freshly cut board
    // (after minutes of play the pieces may be anywhere, often out of sight).
    Frame RunTo(double until, double dt)
    {
        for (; now + dt <= until + 1e-9; now += dt) {
            if (now + 2 * dt > until + 1e-9)
                engine.puzzle->NewPuzzle();
            view.Tick(engine, dt);
        }
        return view.Grab();
    }
};

// Pixels of `a` differing from `b` by more than `by` in some channel: {within rows y0..y1 (from the bottom),
// elsewhere}. An empty `b` is black.
std::pair<int, int> Differing(const Frame& a, const Frame& b, int by, int y0, int y1)
{
    std::pair<int, int> count{0, 0};
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const Rgb p = a.At(x, y), q = b.At(x, y);
            if (std::max({std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)}) > by)
                ++(y >= y0 && y <= y1 ? count.first : count.second);
        }
    return count;
}

// (When each part is due is overlay_test.cpp's.)
TEST(EngineOverlay, FirstCardAt90WithMessage5FirstBannerAt115AtTheTop)
{
    OverlayRun run;
    ASSERT_TRUE(run.Start(false)) << run.view.Error();
    // At 92 s the view is black but for the message across the middle: rows 352..416 of 768, 110..130 here (a
    // row more each side for the filtering).
    run.RunTo(88.0, 2.0);
    const Frame card = run.RunTo(92.25, 0.25);
    SaveFrame(card, "engine_overlay_card_92s");
    ASSERT_EQ(run.engine.cardAlpha, 1.0f);
    const auto [band, outside] = Differing(card, Frame{}, 40, 109, 131);
    EXPECT_GT(band, kOW * 2);
    EXPECT_EQ(outside, 0);
    // At 121 s the banner rests 40 px below the top edge, alone: the same moment drawn again without the overlay
    // differs only there.
    const Frame banner = run.RunTo(121.0, 0.25);
    SaveFrame(banner, "engine_overlay_banner_121s");
    run.engine.preview = true;
    run.view.Tick(run.engine, 0.0);
    const auto [top, elsewhere] = Differing(banner, run.view.Grab(), 2, kOH - 41, kOH - 8);
    EXPECT_GT(top, 2000);
    EXPECT_EQ(elsewhere, 0);
}

TEST(EngineOverlay, PreviewShowsNoneOfIt)
{
    OverlayRun run;
    ASSERT_TRUE(run.Start(true)) << run.view.Error();
    for (double at : {92.0, 122.0})
        EXPECT_GT(run.RunTo(at, 2.0).LitFraction(40), 0.3) << at;  // no black card
    EXPECT_FALSE(run.engine.bannerShown);
}

// A folder picture made on the worker: while it is made the finished board
// stands (same frame, no piece moves, overlay clocks wait), and once it is
// in, play goes on exactly as when the picture is made at once inside the
// asking frame: a seed gives the same pictures, boards and frames.
// What a run shows from the board's request on.
struct Changes {
    std::vector<int> boards;    // after each change: the picture's width, then every piece's shape
    std::vector<Frame> frames;  // frames drawn after each change, a second apart
    int waitingFrames = 0;      // frames the board stood waiting for its picture
    bool standing = true;       // every waiting frame equalled the one before it, nothing moved
};

// Two picture changes from a seed: the board steps to its request by Move
// alone, then frames are drawn; `atOnce` answers the request as a frame
// that makes the picture inside itself would (the order of rand() draws:
// the choice, then the cut, then the pieces' moves).
Changes RunChanges(EngineView& view, const std::string& folder, bool atOnce)
{
    Changes run;
    srand(90210);
    SETTINGS settings = EngineTestSettings(2, 8, folder);
    settings.BGRES = 2;
    SSMAIN engine;
    view.Init(&engine);
    std::string resources = ZARNET_BUILD_RESOURCES;
    if (!engine.Setup(false, kW, kH, &settings, resources.data()))
        return run;
    for (int change = 0; change < 2; ++change) {
        ONEPUZZLE& puzzle = *engine.puzzle;
        if (!StepUntil(puzzle, 1500.0, [&] { return puzzle.newPicture; }))
            return run;  // never finished: the caller sees too few changes
        if (atOnce) {
            engine.LoadPic();
            puzzle.picWidth = engine.pictureWidth;
            puzzle.picHeight = engine.pictureHeight;
            puzzle.NewPuzzle();
        }
        view.Tick(engine, kStep);  // the asking frame: at once, the pieces move and the board is drawn
        Frame before = view.Grab();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (puzzle.newPicture && std::chrono::steady_clock::now() < until) {
            const float restart = puzzle.restartTimer, card = engine.cardTimer, banner = engine.bannerTimer;
            ++run.waitingFrames;
            view.Tick(engine, kStep);
            const Frame now = view.Grab();
            run.standing =
                run.standing && (!puzzle.newPicture || (now.rgba == before.rgba && puzzle.restartTimer == restart &&
                                                        engine.cardTimer == card && engine.bannerTimer == banner));
            before = now;
        }
        run.boards.push_back(engine.pictureWidth);
        for (int i = 0; i < puzzle.pieceCount; ++i)
            run.boards.push_back(puzzle.pieces[i].shape);
        // Three seconds on: the new board stands, then blows apart (every piece draws its heading from rand()).
        for (int k = 0; k < 90; ++k) {
            view.Tick(engine, kStep);
            if (k % 30 == 29)
                run.frames.push_back(view.Grab());
        }
    }
    return run;
}

TEST(PictureChangeGL, TheBoardStandsWhileThePictureIsMadeAndASeedGivesTheSameFrames)
{
    EngineView view;
    ASSERT_TRUE(view.Open(kW, kH)) << view.Error();
    const ScratchDir dir;
    // Pictures of three shapes (each cuts another board), one big enough to
    // take several frames to make and upload.
    ASSERT_TRUE(WriteWholeFile(dir.Join("wide.jpg"), EncodeAs(Kind::Jpeg, 3000, 1600, CellPicture(3000, 1600, 6, 3))));
    ASSERT_TRUE(WriteWholeFile(dir.Join("tall.png"), EncodeAs(Kind::Png, 300, 450, CellPicture(300, 450, 4, 6))));
    ASSERT_TRUE(WriteWholeFile(dir.Join("square.gif"), EncodeAs(Kind::Gif, 400, 400, CellPicture(400, 400, 6, 6))));
    ASSERT_TRUE(WriteWholeFile(dir.Join("broken.png"), std::string("no picture")));

    const Changes atOnce = RunChanges(view, dir.Join(""), true);
    const Changes worker = RunChanges(view, dir.Join(""), false);
    ASSERT_EQ(atOnce.frames.size(), 6u);
    EXPECT_NE(atOnce.boards[0], atOnce.boards[atOnce.boards.size() / 2]);  // two different pictures: the choice counts
    EXPECT_EQ(worker.boards, atOnce.boards);
    ASSERT_EQ(worker.frames.size(), atOnce.frames.size());
    for (size_t k = 0; k < worker.frames.size(); ++k) {
        SaveFrame(worker.frames[k], "picture_change_" + std::to_string(k));
        EXPECT_TRUE(worker.frames[k].rgba == atOnce.frames[k].rgba)
            << "frame " << k << " differs by " << worker.frames[k].MeanDifference(atOnce.frames[k]);
    }
    EXPECT_GE(worker.waitingFrames, 2);  // at least the asking frame and the one that cuts the board
    EXPECT_TRUE(worker.standing);
}

}  // namespace
