// `zarnet --record` end to end, headless: the first frame shows the whole
// picture (from the wallpaper setting and from the screen's contents), a
// frame at 5 s shows the board scattered, and --stats reports a cycle run to
// its end within the simulated time.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/Preferences.h"
#include "platform/picture_decoder.h"
#include "platform/preference_store.h"
#include "tests/support/child_process.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

namespace {

struct Rgb8 {
    int r, g, b;
};

const Rgb8 kQuarters[4] = {{220, 30, 30}, {30, 200, 30}, {30, 30, 220}, {220, 200, 30}};

// A picture of four coloured quarters (top left, top right, bottom left,
// bottom right), written as PNG.
bool WriteQuarters(const std::string& path, int w, int h)
{
    testpics::Bytes pixels(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb8 q = kQuarters[(y >= h / 2) * 2 + (x >= w / 2)];
            uint8_t* p = &pixels[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<uint8_t>(q.r);
            p[1] = static_cast<uint8_t>(q.g);
            p[2] = static_cast<uint8_t>(q.b);
        }
    return testpics::WriteFileBytes(path, testpics::EncodePngRgb(w, h, pixels, 3));
}

// The private configuration folder's store with the given source and a
// small board that finishes quickly.
void WriteStore(const std::string& configHome, int bgType)
{
    PreferenceStore store(kPrefsModule, (configHome + "/zarnet").c_str());
    store.setObject(kPrefsVersion, "version");
    store.setBool(false, "MainMonitorOnly");
    store.setBool(true, "LockInPlace");
    store.setInteger(7, "PuzzleWidth");
    store.setInteger(5, "Percentage");
    store.setInteger(bgType, "BGType");
    store.setObject("/nowhere/", "BGPath");
    store.setInteger(0, "BGRes");
    ASSERT_TRUE(store.synchronize());
}

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first, 3 bytes per pixel

    bool Load(const std::string& path)
    {
        DecodedPicture p = {};
        if (!DecodePictureFile(path.c_str(), 0, 0, &p))
            return false;
        width = p.width;
        height = p.height;
        const int channels = p.bitsPerPixel / 8;
        rgb.resize(static_cast<size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int k = 0; k < 3; ++k)
                    rgb[(static_cast<size_t>(y) * width + x) * 3 + k] =
                        p.pixels[static_cast<size_t>(y) * p.bytesPerRow + static_cast<size_t>(x) * channels + k];
        FreeDecodedPicture(&p);
        return true;
    }
    Rgb8 Mean(int cx, int cy, int r) const
    {
        long s[3] = {0, 0, 0}, n = 0;
        for (int y = cy - r; y <= cy + r; ++y)
            for (int x = cx - r; x <= cx + r; ++x, ++n)
                for (int k = 0; k < 3; ++k)
                    s[k] += rgb[(static_cast<size_t>(y) * width + x) * 3 + k];
        return Rgb8{static_cast<int>(s[0] / n), static_cast<int>(s[1] / n), static_cast<int>(s[2] / n)};
    }
    double LitFraction() const
    {
        size_t lit = 0;
        for (size_t i = 0; i < rgb.size(); i += 3)
            lit += rgb[i] + rgb[i + 1] + rgb[i + 2] > 60;
        return static_cast<double>(lit) / (static_cast<double>(rgb.size()) / 3);
    }
};

// The colour's leading channels match those of the quarter's colour.
void ExpectQuarterColour(Rgb8 got, Rgb8 want)
{
    EXPECT_GT(got.r + got.g + got.b, 150);
    EXPECT_EQ(got.r > got.b, want.r > want.b);
    EXPECT_EQ(got.g > got.b, want.g > want.b);
    EXPECT_EQ(got.r > got.g + 60, want.r > want.g + 60);
}

TEST(ZarnetRecord, FirstFrameShowsTheWholePictureAndFiveSecondsLaterItIsScattered)
{
    struct Case {
        const char* name;
        int bgType;          // stored source
        const char* option;  // how the picture is given
    };
    const Case cases[] = {
        {"wallpaper", 1, "--desktop-picture"},
        {"screen grab", 0, "--desktop-image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string picture = dir.Join("quarters.png"), frames = dir.Join("frames");
        ASSERT_TRUE(WriteQuarters(picture, 240, 150));
        WriteStore(dir.Path(), c.bgType);
        std::string out;
        // Ticks of 0.1 s: drawn frames 1 (t = 0.1 s) and 50 (t = 5 s) are saved.
        const int code = RunProgram({BuildProgramPath("zarnet"), "--record", frames, "--size", "240x150",
                                     "--seconds", "5", "--fps", "10", "--seed", "7", "--every", "49",
                                     c.option, picture},
                                    EnvironmentWith({"XDG_CONFIG_HOME=" + dir.Path()}), &out, 60000);
        ASSERT_EQ(code, 0);
        Image first, later;
        ASSERT_TRUE(first.Load(frames + "/frame-000001.png"));
        ASSERT_TRUE(later.Load(frames + "/frame-000050.png"));
        ASSERT_EQ(first.width, 240);
        ASSERT_EQ(first.height, 150);
        // The assembled board: each quarter of the view shows its quarter.
        const int qx[2] = {60, 180}, qy[2] = {40, 110};
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            ExpectQuarterColour(first.Mean(qx[i % 2], qy[i / 2], 4), kQuarters[i]);
        }
        EXPECT_GT(first.LitFraction(), 0.6);
        // Four seconds after the blow-apart: pieces spread over a dark view.
        EXPECT_LT(later.LitFraction(), first.LitFraction() - 0.25);
        EXPECT_GT(later.LitFraction(), 0.005);
    }
}

// The JSON lines of --stats, as (event, t) pairs in order.
std::vector<std::pair<std::string, double>> Events(const std::string& out)
{
    std::vector<std::pair<std::string, double>> events;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.front(), '{');
        EXPECT_EQ(line.back(), '}');
        const size_t e = line.find("\"event\":\"");
        const size_t t = line.find("\"t\":");
        if (e == std::string::npos || t == std::string::npos) {
            ADD_FAILURE() << line;
            continue;
        }
        const size_t start = e + 9;
        events.emplace_back(line.substr(start, line.find('"', start) - start), std::stod(line.substr(t + 4)));
    }
    return events;
}

TEST(ZarnetRecord, StatsReportACompletedCycle)
{
    ScratchDir dir;
    const std::string picture = dir.Join("quarters.png");
    ASSERT_TRUE(WriteQuarters(picture, 160, 100));
    WriteStore(dir.Path(), 1);
    std::string out;
    const int code = RunProgram({BuildProgramPath("zarnet"), "--record", dir.Join("frames"), "--size", "160x100",
                                 "--seconds", "70", "--fps", "10", "--seed", "3", "--every", "1000000",
                                 "--stats", "--desktop-picture", picture},
                                EnvironmentWith({"XDG_CONFIG_HOME=" + dir.Path()}), &out, 120000);
    ASSERT_EQ(code, 0);
    const auto events = Events(out);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().first, "start");
    EXPECT_EQ(events.back().first, "end");
    EXPECT_NE(out.find("\"cycles\":1"), std::string::npos) << out.substr(out.rfind('{'));

    // new board, blow-apart, assembling, countdown, blow-apart: in this order.
    const char* order[] = {"new-board", "blow-apart", "assembling", "countdown", "new-picture", "blow-apart"};
    size_t next = 0;
    double countdownAt = -1.0, statusCount = 0;
    for (const auto& [event, t] : events) {
        if (event == "status")
            ++statusCount;
        if (next < std::size(order) && event == order[next]) {
            if (event == "countdown")
                countdownAt = t;
            if (next == std::size(order) - 1) {
                EXPECT_NEAR(t - countdownAt, 21.0, 0.25);  // the countdown's length
            }
            ++next;
        }
    }
    EXPECT_EQ(next, std::size(order)) << out;
    EXPECT_NEAR(statusCount, 70, 1);  // once a second
}

}  // namespace
