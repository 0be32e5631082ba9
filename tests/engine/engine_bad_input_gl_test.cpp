// Bad and unusual pictures in the picture folder, as the running engine
// meets them: each either shows correctly or is a failed load after which
// the engine keeps running with plain white pieces.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "engine/SSMAIN.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/engine_pictures.h"
#include "tests/support/engine_view.h"

namespace {

constexpr int kViewWidth = 320;
constexpr int kViewHeight = 200;
constexpr int kPicWidth = 240;   // a good picture: 8 x 5 cells for a puzzle width of 8
constexpr int kPicHeight = 150;

void PutBigEndian(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

// A PNG whose header claims width x height and that holds no pixel data.
std::vector<uint8_t> PngHeaderOnly(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> chunk = {'I', 'H', 'D', 'R'};
    PutBigEndian(chunk, width);
    PutBigEndian(chunk, height);
    chunk.insert(chunk.end(), {8, 2, 0, 0, 0});
    PutBigEndian(out, 13);
    out.insert(out.end(), chunk.begin(), chunk.end());
    PutBigEndian(out, static_cast<uint32_t>(crc32(0, chunk.data(), static_cast<uInt>(chunk.size()))));
    const uint8_t iend[] = {'I', 'E', 'N', 'D'};
    PutBigEndian(out, 0);
    out.insert(out.end(), iend, iend + 4);
    PutBigEndian(out, static_cast<uint32_t>(crc32(0, iend, 4)));
    return out;
}

enum class Outcome { Shows, Fails };

struct BadCase {
    const char* name;
    Outcome outcome;
    int width, height;                               // the picture's size when it shows
    std::function<bool(const std::string& dir)> make;  // puts the entry into the folder
    std::function<void(const Frame&, const EngineView&, const ONEPUZZLE&)> looks;  // when it shows
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

std::vector<uint8_t> GoodCells() { return CellPicture(kPicWidth, kPicHeight, 8, 5); }

void ShowsCells(const Frame& frame, const EngineView& view, const ONEPUZZLE& puzzle)
{
    const CellReport report = CheckBoardCells(frame, view, puzzle);
    EXPECT_EQ(report.matched, report.checked) << report.firstMisses;
}

// Samples the centre of every piece whose home cell is in view.
template <class Check>
void ForEachCell(const Frame& frame, const EngineView& view, const ONEPUZZLE& puzzle, Check check)
{
    for (int j = 0; j < puzzle.rows; ++j) {
        for (int i = 0; i < puzzle.columns; ++i) {
            double wx, wy;
            view.ProjectBoardPoint(i - (puzzle.columns - 1) * 0.5, (puzzle.rows - 1 - j) - (puzzle.rows - 1) * 0.5,
                                   puzzle.boardZ, 1, 1, &wx, &wy);
            if (wx < 2 || wy < 2 || wx > frame.width - 3 || wy > frame.height - 3)
                continue;
            check(i, j, frame.MeanAround(static_cast<int>(wx), static_cast<int>(wy), 1));
        }
    }
}

class BadPicture : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadPicture, ShowsCorrectlyOrLeavesTheEngineRunning)
{
    const BadCase c = GetParam();
    srand(17);
    EngineView view;
    ASSERT_TRUE(view.Open(kViewWidth, kViewHeight)) << view.Error();
    const std::string dir = FreshFixtureDir(std::string("engine_bad_") + c.name);
    ASSERT_TRUE(c.make(dir));

    SETTINGS settings = EngineTestSettings(2, 8, dir);
    SSMAIN engine;
    view.Init(&engine);
    std::vector<char> resources = EngineResourceDir();
    ASSERT_TRUE(engine.Setup(false, kViewWidth, kViewHeight, &settings, resources.data()));
    ASSERT_NE(engine.puzzle, nullptr);
    for (int k = 0; k < 3; ++k)
        view.Tick(engine, 1.0 / 30.0);
    const Frame frame = view.Grab();
    SaveFrame(frame, std::string("engine_bad_") + c.name);
    EXPECT_GT(frame.LitFraction(40), 0.3);  // the board is there
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    if (c.outcome == Outcome::Shows) {
        EXPECT_NE(engine.pictureTex, 0u);
        EXPECT_EQ(engine.pictureWidth, c.width);
        EXPECT_EQ(engine.pictureHeight, c.height);
        c.looks(frame, view, *engine.puzzle);
    } else {
        EXPECT_EQ(engine.pictureTex, 0u);
        EXPECT_EQ(engine.pictureWidth, 0);
        int plain = 0, cells = 0;
        ForEachCell(frame, view, *engine.puzzle, [&](int, int, Rgb s) {
            ++cells;
            plain += (s.r > 150 && std::abs(s.r - s.g) < 8 && std::abs(s.g - s.b) < 8) ? 1 : 0;
        });
        EXPECT_EQ(plain, cells);
    }

    // The next puzzle tries again and fares the same; nothing breaks.
    engine.puzzle->newPicture = true;
    view.Tick(engine, 1.0 / 30.0);
    ASSERT_NE(engine.puzzle, nullptr);
    EXPECT_EQ(engine.pictureTex != 0u, c.outcome == Outcome::Shows);
    EXPECT_GT(view.Grab().LitFraction(40), 0.3);
}

INSTANTIATE_TEST_SUITE_P(
    Folder, BadPicture,
    ::testing::Values(
        BadCase{"damaged_png", Outcome::Fails, 0, 0,
                [](const std::string& dir) {
                    if (!WriteTestPNG(dir + "a.png", kPicWidth, kPicHeight, GoodCells()))
                        return false;
                    std::vector<uint8_t> bytes = ReadBytes(dir + "a.png");
                    for (size_t k = 60; k + 20 < bytes.size(); k += 7)
                        bytes[k] ^= 0x5A;
                    return WriteBytes(dir + "a.png", bytes);
                },
                nullptr},
        BadCase{"truncated_jpg", Outcome::Fails, 0, 0,
                [](const std::string& dir) {
                    if (!WriteTestJPEG(dir + "a.jpg", kPicWidth, kPicHeight, GoodCells()))
                        return false;
                    std::vector<uint8_t> bytes = ReadBytes(dir + "a.jpg");
                    bytes.resize(bytes.size() * 3 / 5);
                    return WriteBytes(dir + "a.jpg", bytes);
                },
                nullptr},
        BadCase{"truncated_gif", Outcome::Fails, 0, 0,
                [](const std::string& dir) {
                    if (!WriteTestGIF(dir + "a.gif", kPicWidth, kPicHeight, GoodCells()))
                        return false;
                    std::vector<uint8_t> bytes = ReadBytes(dir + "a.gif");
                    bytes.resize(bytes.size() / 2);
                    return WriteBytes(dir + "a.gif", bytes);
                },
                nullptr},
        BadCase{"zero_bytes", Outcome::Fails, 0, 0,
                [](const std::string& dir) { return WriteBytes(dir + "empty.png", {}); }, nullptr},
        BadCase{"text_named_png", Outcome::Fails, 0, 0,
                [](const std::string& dir) {
                    const std::string text = "this is a note, not a picture\n";
                    return WriteBytes(dir + "note.png", std::vector<uint8_t>(text.begin(), text.end()));
                },
                nullptr},
        BadCase{"folder_named_jpg", Outcome::Fails, 0, 0,
                [](const std::string& dir) { return std::filesystem::create_directory(dir + "x.jpg"); }, nullptr},
        BadCase{"header_claims_100000_square", Outcome::Fails, 0, 0,
                [](const std::string& dir) { return WriteBytes(dir + "huge.png", PngHeaderOnly(100000, 100000)); },
                nullptr},
        BadCase{"wider_than_accepted", Outcome::Fails, 0, 0,
                [](const std::string& dir) {
                    return WriteTestPNG(dir + "wide.png", 20000, 2, SolidPicture(20000, 2, Rgb{200, 40, 40}));
                },
                nullptr},
        BadCase{"png_named_jpg", Outcome::Shows, kPicWidth, kPicHeight,
                [](const std::string& dir) { return WriteTestPNG(dir + "really_png.jpg", kPicWidth, kPicHeight, GoodCells()); },
                ShowsCells},
        BadCase{"sixteen_bit_png", Outcome::Shows, kPicWidth, kPicHeight,
                [](const std::string& dir) {
                    return WriteTestPNG(dir + "deep.png", kPicWidth, kPicHeight, GoodCells(), true);
                },
                ShowsCells},
        BadCase{"palette_gif", Outcome::Shows, kPicWidth, kPicHeight,
                [](const std::string& dir) { return WriteTestGIF(dir + "cells.gif", kPicWidth, kPicHeight, GoodCells()); },
                ShowsCells},
        BadCase{"one_pixel", Outcome::Shows, 1, 1,
                [](const std::string& dir) {
                    return WriteTestPNG(dir + "dot.png", 1, 1, SolidPicture(1, 1, Rgb{220, 90, 30}));
                },
                [](const Frame& frame, const EngineView& view, const ONEPUZZLE& puzzle) {
                    EXPECT_EQ(puzzle.columns, 8);  // square
                    EXPECT_EQ(puzzle.rows, 8);
                    ForEachCell(frame, view, puzzle, [](int i, int j, Rgb s) {
                        // 220:90:30, however brightly lit.
                        EXPECT_NEAR(s.g * 220.0 / s.r, 90, 6) << i << "," << j;
                        EXPECT_NEAR(s.b * 220.0 / s.r, 30, 6) << i << "," << j;
                    });
                }},
        BadCase{"grey_jpg", Outcome::Shows, kPicWidth, kPicHeight,
                [](const std::string& dir) {
                    std::vector<uint8_t> rgb(static_cast<size_t>(kPicWidth) * kPicHeight * 3);
                    for (int y = 0; y < kPicHeight; ++y)
                        for (int x = 0; x < kPicWidth; ++x)
                            for (int k = 0; k < 3; ++k)
                                rgb[(static_cast<size_t>(y) * kPicWidth + x) * 3 + k] = x < kPicWidth / 2 ? 50 : 210;
                    return WriteTestJPEG(dir + "grey.jpg", kPicWidth, kPicHeight, rgb, true);
                },
                [](const Frame& frame, const EngineView& view, const ONEPUZZLE& puzzle) {
                    ForEachCell(frame, view, puzzle, [&](int i, int j, Rgb s) {
                        EXPECT_NEAR(s.r, s.g, 3) << i << "," << j;
                        EXPECT_NEAR(s.g, s.b, 3) << i << "," << j;
                        if (i < puzzle.columns / 2)
                            EXPECT_LT(s.r, 70) << i << "," << j;
                        else
                            EXPECT_GT(s.r, 170) << i << "," << j;
                    });
                }}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

}  // namespace
