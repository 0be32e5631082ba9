// The puzzle's cycle as the viewer sees it: the board blows apart, scatters,
// and looks like the picture again once reassembled; with the folder source a
// new picture and a freshly cut board appear two seconds before the old board
// would blow apart; an empty folder gives plain white pieces. The pieces are
// stepped without drawing; only the checked frames are drawn.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "engine/SSMAIN.h"
#include "loading/Texture.h"
#include "pictures/Pictures.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/engine_pictures.h"
#include "tests/support/engine_view.h"

namespace {

constexpr float kStep = 1.0f / 30.0f;  // seconds per simulated frame
constexpr int kViewWidth = 320;
constexpr int kViewHeight = 200;

// Moves the pieces alone, kStep at a time, until done() holds or `limit`
// seconds have passed. True when done() held.
template <class Done>
bool StepUntil(ONEPUZZLE& puzzle, Done done, double limit)
{
    for (double t = 0.0; t < limit; t += kStep) {
        if (done())
            return true;
        puzzle.Move(kStep);
    }
    return done();
}

// Every piece within a fiftieth of a cell of its home, unturned (a fresh
// board's free pieces start drifting at once, by a hair per frame).
bool AllPiecesAtHome(const ONEPUZZLE& puzzle)
{
    for (int k = 0; k < puzzle.pieceCount; ++k) {
        const ONEPIECE& p = puzzle.pieces[k];
        const double hx = p.column + (puzzle.columns - 1) * -0.5;
        const double hy = p.row + (puzzle.rows - 1) * -0.5;
        if (std::fabs(p.pos.x - hx) > 0.02 || std::fabs(p.pos.y - hy) > 0.02 ||
            std::fabs(p.pos.z - puzzle.boardZ) > 0.02 || std::fabs(p.angle.x) > 0.5f ||
            std::fabs(p.angle.y) > 0.5f || std::fabs(p.angle.z) > 0.5f)
            return false;
    }
    return true;
}

TEST(EngineCycle, ScatteredBoardDiffersAndReassembledBoardShowsThePicture)
{
    srand(2024);
    EngineView view;
    ASSERT_TRUE(view.Open(kViewWidth, kViewHeight)) << view.Error();
    const std::string dir = FreshFixtureDir("engine_cycle");
    ASSERT_TRUE(WriteTestPNG(dir + "picture.png", 480, 300, CellPicture(480, 300, 8, 5)));

    SETTINGS settings = EngineTestSettings(1, 8);
    SSMAIN engine;
    view.Init(&engine);
    Texture desk;
    ASSERT_TRUE(loadPicFile((dir + "picture.png").c_str(), &desk, 0));
    engine.pictureTex = desk.texID;
    desk.texID = 0;
    settings.picWidth = static_cast<int>(desk.width);
    settings.picHeight = static_cast<int>(desk.height);
    std::vector<char> resources = EngineResourceDir();
    ASSERT_TRUE(engine.Setup(false, kViewWidth, kViewHeight, &settings, resources.data()));
    ONEPUZZLE& puzzle = *engine.puzzle;
    ASSERT_EQ(puzzle.columns, 8);
    ASSERT_EQ(puzzle.rows, 5);

    view.Tick(engine, kStep);
    const Frame assembled = view.Grab();
    SaveFrame(assembled, "engine_cycle_assembled");
    CellReport report = CheckBoardCells(assembled, view, puzzle);
    EXPECT_EQ(report.matched, report.checked) << report.firstMisses;

    // One second standing, then eight seconds of scattering.
    ASSERT_TRUE(StepUntil(puzzle, [&] { return puzzle.restartTimer < -8.0f; }, 20.0));
    view.Tick(engine, kStep);
    const Frame scattered = view.Grab();
    SaveFrame(scattered, "engine_cycle_scattered");
    report = CheckBoardCells(scattered, view, puzzle);
    EXPECT_LT(report.matched, report.checked / 4);
    EXPECT_GT(scattered.MeanDifference(assembled), 25.0);

    // Reassembly: the board is whole and its countdown runs; 19 s into it
    // (just before the new-picture request) every piece is home again.
    bool assembling = false;
    ASSERT_TRUE(StepUntil(
        puzzle,
        [&] {
            assembling = assembling || puzzle.restartTimer == 21.0f;
            return assembling && puzzle.restartTimer < 2.5f;
        },
        1200.0))
        << "largest group " << puzzle.largestGroup;
    view.Tick(engine, kStep);
    const Frame reassembled = view.Grab();
    SaveFrame(reassembled, "engine_cycle_reassembled");
    report = CheckBoardCells(reassembled, view, puzzle);
    EXPECT_EQ(report.matched, report.checked) << report.firstMisses;
    EXPECT_LT(reassembled.MeanDifference(assembled), 10.0)  // seams may sit a pixel off
        << "scattered differed by " << scattered.MeanDifference(assembled);

    // With a desktop picture nobody answers the new-picture request: the
    // next frame neither loads a picture nor cuts a new board.
    ASSERT_TRUE(StepUntil(puzzle, [&] { return puzzle.newPicture; }, 1.0));
    const unsigned picture = engine.pictureTex;
    auto attached = [&] {
        int n = 0;
        for (int k = 0; k < puzzle.pieceCount; ++k)
            n += puzzle.pieces[k].parent != nullptr ? 1 : 0;
        return n;
    };
    const int attachedBefore = attached();
    EXPECT_GT(attachedBefore, puzzle.pieceCount * 9 / 10);  // one group holds the board
    view.Tick(engine, kStep);
    EXPECT_TRUE(puzzle.newPicture);
    EXPECT_EQ(engine.pictureTex, picture);
    EXPECT_EQ(attached(), attachedBefore);  // the same board, not a fresh cut
}

// A folder picture the engine may choose: its file, size and board.
struct FolderPicture {
    std::string file;
    int width, height;   // pixels
    int columns, rows;   // board for a puzzle width of 8
};

TEST(EngineCycle, FolderSourceBringsANewPictureTwoSecondsBeforeTheBoardBlowsApart)
{
    srand(4242);
    EngineView view;
    ASSERT_TRUE(view.Open(kViewWidth, kViewHeight)) << view.Error();
    const std::string dir = FreshFixtureDir("engine_folder");
    const FolderPicture pictures[] = {
        {"wide.png", 480, 300, 8, 5},
        {"tall.jpg", 300, 450, 5, 8},
        {"square.gif", 400, 400, 8, 8},
    };
    for (const FolderPicture& p : pictures) {
        const std::vector<uint8_t> rgb = CellPicture(p.width, p.height, p.columns, p.rows);
        const std::string path = dir + p.file;
        if (p.file.ends_with(".png"))
            ASSERT_TRUE(WriteTestPNG(path, p.width, p.height, rgb));
        else if (p.file.ends_with(".jpg"))
            ASSERT_TRUE(WriteTestJPEG(path, p.width, p.height, rgb));
        else
            ASSERT_TRUE(WriteTestGIF(path, p.width, p.height, rgb));
    }
    auto shown = [&](int width, int height) -> const FolderPicture* {
        for (const FolderPicture& p : pictures)
            if (p.width == width && p.height == height)
                return &p;
        return nullptr;
    };

    SETTINGS settings = EngineTestSettings(2, 8, dir);
    SSMAIN engine;
    view.Init(&engine);
    std::vector<char> resources = EngineResourceDir();
    ASSERT_TRUE(engine.Setup(false, kViewWidth, kViewHeight, &settings, resources.data()));
    const FolderPicture* current = shown(engine.pictureWidth, engine.pictureHeight);
    ASSERT_NE(current, nullptr);
    ASSERT_NE(engine.pictureTex, 0u);
    view.Tick(engine, kStep);
    CellReport report = CheckBoardCells(view.Grab(), view, *engine.puzzle);
    EXPECT_EQ(report.matched, report.checked) << current->file << ": " << report.firstMisses;

    std::set<std::string> seen{current->file};
    int changes = 0;
    for (int cycle = 0; cycle < 3; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        ONEPUZZLE* puzzle = engine.puzzle;
        ASSERT_TRUE(StepUntil(*puzzle, [&] { return puzzle->newPicture; }, 1200.0));
        EXPECT_LT(puzzle->restartTimer, 2.0f);
        EXPECT_GE(puzzle->restartTimer, 2.0f - kStep);

        // The next frame answers the request before moving anything: a new
        // picture, and a board cut for it standing assembled.
        view.Tick(engine, kStep);
        ASSERT_EQ(engine.puzzle, puzzle);  // same puzzle object, new board
        EXPECT_FALSE(puzzle->newPicture);
        const FolderPicture* next = shown(engine.pictureWidth, engine.pictureHeight);
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(puzzle->columns, next->columns);
        EXPECT_EQ(puzzle->rows, next->rows);
        EXPECT_TRUE(AllPiecesAtHome(*puzzle));
        Frame frame = view.Grab();
        if (cycle == 0)
            SaveFrame(frame, "engine_folder_new_board");
        report = CheckBoardCells(frame, view, *puzzle);
        EXPECT_EQ(report.matched, report.checked) << next->file << ": " << report.firstMisses;
        changes += next != current ? 1 : 0;
        current = next;
        seen.insert(next->file);

        // Seen whole until the countdown runs out two seconds after the request ...
        ASSERT_TRUE(StepUntil(*puzzle, [&] { return puzzle->restartTimer < 0.1f; }, 3.0));
        view.Tick(engine, kStep);
        EXPECT_GT(puzzle->restartTimer, 0.0f);
        report = CheckBoardCells(view.Grab(), view, *puzzle);
        EXPECT_EQ(report.matched, report.checked) << report.firstMisses;
        // ... then it blows apart.
        ASSERT_TRUE(StepUntil(*puzzle, [&] { return puzzle->restartTimer < -1.5f; }, 3.0));
        view.Tick(engine, kStep);
        frame = view.Grab();
        if (cycle == 0)
            SaveFrame(frame, "engine_folder_blown_apart");
        report = CheckBoardCells(frame, view, *puzzle);
        EXPECT_LT(report.matched, report.checked / 2);
    }
    EXPECT_GE(changes, 1);
    EXPECT_GE(seen.size(), 2u);
}

TEST(EngineCycle, EmptyFolderLeavesWhitePieces)
{
    srand(99);
    EngineView view;
    ASSERT_TRUE(view.Open(kViewWidth, kViewHeight)) << view.Error();
    const std::string dir = FreshFixtureDir("engine_empty_folder");
    SETTINGS settings = EngineTestSettings(2, 6, dir);
    SSMAIN engine;
    view.Init(&engine);
    std::vector<char> resources = EngineResourceDir();
    ASSERT_TRUE(engine.Setup(false, kViewWidth, kViewHeight, &settings, resources.data()));
    EXPECT_EQ(engine.pictureTex, 0u);
    EXPECT_EQ(engine.pictureWidth, 0);  // the settings' size at Setup
    ASSERT_NE(engine.puzzle, nullptr);
    EXPECT_EQ(engine.puzzle->columns, 6);  // a size of 0 counts as square
    EXPECT_EQ(engine.puzzle->rows, 6);

    auto expectWhitePieces = [&](const char* name) {
        view.Tick(engine, kStep);
        const Frame frame = view.Grab();
        SaveFrame(frame, name);
        ONEPUZZLE& p = *engine.puzzle;
        int white = 0;
        for (int k = 0; k < p.pieceCount; ++k) {
            double wx, wy;
            view.ProjectBoardPoint(p.pieces[k].pos.x, p.pieces[k].pos.y, p.pieces[k].pos.z, 1, 1, &wx, &wy);
            const Rgb c = frame.At(static_cast<int>(wx), static_cast<int>(wy));
            white += (c.r > 150 && std::abs(c.r - c.g) < 8 && std::abs(c.g - c.b) < 8) ? 1 : 0;
        }
        EXPECT_GE(white, p.pieceCount * 3 / 4) << name;
    };
    expectWhitePieces("engine_folder_empty");

    // The next picture request finds nothing either: a new board, still plain.
    ONEPUZZLE& puzzle = *engine.puzzle;
    ASSERT_TRUE(StepUntil(puzzle, [&] { return puzzle.newPicture; }, 1200.0));
    expectWhitePieces("engine_folder_empty_next_board");
    EXPECT_EQ(engine.pictureTex, 0u);
    EXPECT_TRUE(AllPiecesAtHome(puzzle));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
