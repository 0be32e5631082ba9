// `zarnet --record` end to end, one run per picture source (the wallpaper, a
// grab of the desktop): the picture upright first, scattered at 5 s, a cycle.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host/Preferences.h"
#include "tests/support/child_process.h"
#include "tests/support/engine_view.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

namespace {

// The four quarters of the picture: top left, top right, bottom left, bottom right.
const uint8_t kQuarters[4][3] = {{220, 30, 30}, {30, 200, 30}, {30, 30, 220}, {220, 200, 30}};

TEST(ZarnetRecord, WholePictureFirstScatteredAtFiveSecondsAndACompletedCycle)
{
    ScratchDir dir;
    testpics::Bytes pixels;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 240; ++x) {
            const uint8_t* quarter = kQuarters[(y >= 75) * 2 + (x >= 120)];
            pixels.insert(pixels.end(), quarter, quarter + 3);
        }
    ASSERT_TRUE(WriteWholeFile(dir.Join("quarters.png"), testpics::EncodePng(240, 150, 2, 8, pixels)));
    ASSERT_EQ(mkdir(dir.Join("zarnet").c_str(), 0700), 0);
    // The picture as the desktop's wallpaper (source 1) and as what the screen shows (source 0, grabbed).
    for (const auto& [source, option] : {std::pair{1, "--desktop-picture"}, std::pair{0, "--desktop-image"}}) {
        SCOPED_TRACE(option);
        // A small board that finishes quickly.
        ASSERT_TRUE(WriteWholeFile(dir.Join("zarnet/vmZarnetSS.conf"),
                                   std::string("[vmZarnetSS]\nversion=") + kPrefsVersion +
                                       "\nMainMonitorOnly=false\nLockInPlace=true\nPuzzleWidth=7\nPercentage=5\n"
                                       "BGType=" +
                                       std::to_string(source) + "\nBGPath=/nowhere/\nBGRes=0\n"));
        const std::string frames = dir.Join(option);
        std::string out;
        // Ticks of 0.1 s: drawn frames 1 (t = 0.1 s) and 50 (t = 5 s) are saved.
        ASSERT_EQ(
            RunProgram({BuildProgramPath("zarnet"), "--record", frames, "--size", "240x150", "--seconds", "70", "--fps",
                        "10", "--seed", "3", "--every", "49", "--stats", option, dir.Join("quarters.png")},
                       EnvironmentWith({"XDG_CONFIG_HOME=" + dir.Path()}), &out, 120000),
            0);
        const Frame first = LoadFrame(frames + "/frame-000001.png"), later = LoadFrame(frames + "/frame-000050.png");
        ASSERT_TRUE(first.width == 240 && first.height == 150 && later.width == 240)
            << first.width << " " << later.width;
        // The assembled board: each quarter of the view shows its quarter's colour.
        for (int q = 0; q < 4; ++q) {
            const Rgb got = first.MeanAround(q % 2 ? 180 : 60, q / 2 ? 40 : 110, 4);  // y from the bottom
            const uint8_t* want = kQuarters[q];
            EXPECT_GT(got.r + got.g + got.b, 150) << q;
            EXPECT_EQ(got.r > got.b, want[0] > want[2]) << q;
            EXPECT_EQ(got.g > got.b, want[1] > want[2]) << q;
            EXPECT_EQ(got.r > got.g + 60, want[0] > want[1] + 60) << q;
        }
        EXPECT_GT(first.LitFraction(20), 0.6);
        // Four seconds after the blow-apart: pieces spread over a dark view.
        EXPECT_LT(later.LitFraction(20), first.LitFraction(20) - 0.25);
        EXPECT_GT(later.LitFraction(20), 0.005);

        // --stats: the cycle's events in order, then one cycle completed at the end.
        size_t at = 0;
        for (const char* event :
             {"start", "new-board", "blow-apart", "assembling", "countdown", "new-picture", "blow-apart", "end"}) {
            at = out.find(std::string("\"event\":\"") + event + "\"", at);
            ASSERT_NE(at, std::string::npos) << event << " missing or out of order:\n" << out;
        }
        EXPECT_NE(out.find("\"cycles\":1", at), std::string::npos) << out.substr(at);
        EXPECT_NE(out.find("\"source\":" + std::to_string(source)), std::string::npos) << "the source kept";
    }
}

}  // namespace
