// A folder picture made on the worker: while it is made the finished board
// stands (same frame, no piece moves, overlay clocks wait), and once it is
// in, play goes on exactly as when the picture is made at once inside the
// asking frame: a seed gives the same pictures, boards and frames.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/SSMAIN.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/engine_view.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

using testpics::EncodeAs, testpics::Kind;

namespace {

constexpr int kW = 320;
constexpr int kH = 200;
constexpr double kStep = 1.0 / 30.0;

// What a run shows from the board's request on.
struct Changes {
    std::vector<int> pictureWidths;  // after each change
    std::vector<Frame> frames;       // frames drawn after each change, a second apart
    std::vector<int> shapes;         // every board's piece shapes, in turn
    int waitingFrames = 0;           // frames the board stood waiting for its picture
    bool standing = true;            // every waiting frame equalled the one before it, nothing moved
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
    static std::string resources = ZARNET_BUILD_RESOURCES;
    if (!engine.Setup(false, kW, kH, &settings, resources.data()))
        return run;
    for (int change = 0; change < 2; ++change) {
        ONEPUZZLE& puzzle = *engine.puzzle;
        for (double t = 0.0; t < 1500.0 && !puzzle.newPicture; t += kStep)
            puzzle.Move(static_cast<float>(kStep));
        if (!puzzle.newPicture)
            return run;  // never finished: the caller sees too few changes
        if (atOnce) {
            engine.LoadPic();
            puzzle.picWidth = engine.pictureWidth;
            puzzle.picHeight = engine.pictureHeight;
            puzzle.NewPuzzle();
            view.Tick(engine, kStep);  // the rest of the asking frame: the pieces move, the board is drawn
        } else {
            view.Tick(engine, kStep);
            Frame before = view.Grab();
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (puzzle.newPicture && std::chrono::steady_clock::now() < until) {
                const float restart = puzzle.restartTimer, card = engine.cardTimer, banner = engine.bannerTimer;
                ++run.waitingFrames;
                view.Tick(engine, kStep);
                if (!puzzle.newPicture)
                    break;
                const Frame now = view.Grab();
                run.standing = run.standing && now.rgba == before.rgba && puzzle.restartTimer == restart &&
                               engine.cardTimer == card && engine.bannerTimer == banner;
                before = now;
            }
        }
        run.pictureWidths.push_back(engine.pictureWidth);
        for (int i = 0; i < puzzle.pieceCount; ++i)
            run.shapes.push_back(puzzle.pieces[i].shape);
        // Three seconds on: the new board stands, then blows apart (every
        // piece draws its heading from rand()).
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
    ASSERT_EQ(atOnce.pictureWidths.size(), 2u);
    EXPECT_NE(atOnce.pictureWidths[0], atOnce.pictureWidths[1]);  // two different pictures: the choice counts
    EXPECT_EQ(worker.pictureWidths, atOnce.pictureWidths);
    EXPECT_EQ(worker.shapes, atOnce.shapes);
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
