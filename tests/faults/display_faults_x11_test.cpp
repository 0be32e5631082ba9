// zarnet and zarnet-settings on a private Xvfb when things go wrong: the
// server dies, the host's window is destroyed or resized fifty times, a
// signal comes, or the settings file is damaged, huge or a directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "tests/apps/x11_shots.h"  // last: it brings in Xlib

namespace {

using namespace x11shots;
using SteadyClock = std::chrono::steady_clock;

double SecondsSince(SteadyClock::time_point start)
{
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

TEST(DisplayFaults, ServerDeathEndsZarnetAtOnceWithAMessage)
{
    for (const bool root : {false, true}) {
        const char* target = root ? "-root" : "-window-id";
        SCOPED_TRACE(target);
        Host h;
        ASSERT_TRUE(h.Open());
        if (root)
            XUnmapWindow(h.d, h.window);
        ASSERT_TRUE(h.Run(root ? std::vector<std::string>{target} : std::vector<std::string>{target, "ID"}));
        ASSERT_TRUE(h.Drawn({0, 0, (root + 1) * kW, (root + 1) * kH}));
        h.Disconnect();  // our own connection would end the test with the server
        const auto start = SteadyClock::now();
        h.server.Stop();
        int status = 0;
        ASSERT_TRUE(h.program.Wait(5000, &status)) << "still running 5 s after the server ended";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        EXPECT_LT(SecondsSince(start), 1.0);
        EXPECT_NE(h.Stderr().find("zarnet: lost the connection to the X server"), std::string::npos) << h.Stderr();
    }
}

// XScreenSaver destroys its window right after it signals its hack, which
// may be at any moment: before zarnet has looked at the window, while it
// makes its view or its engine, or while it draws. zarnet never crashes and
// ends quietly; a window gone before it starts is reported.
TEST(DisplayFaults, HostWindowDestroyedAtAnyMomentEndsZarnetQuietly)
{
    for (const int delayMs : {0, 60, 120, 180, 240, 300, 400, 500, 700, -1}) {  // -1: once it draws
        SCOPED_TRACE(delayMs);
        Host h;
        ASSERT_TRUE(h.Open());
        ASSERT_TRUE(h.Run({"-window-id", "ID"}));
        ASSERT_TRUE(delayMs >= 0 || h.Drawn());
        usleep(std::max(delayMs, 0) * 1000);
        const auto start = SteadyClock::now();
        XDestroyWindow(h.d, h.window);
        XSync(h.d, False);
        int status = 0;
        ASSERT_TRUE(h.program.Wait(5000, &status));
        const std::string said = h.Stderr();
        ASSERT_TRUE(WIFEXITED(status)) << "killed by " << strsignal(WTERMSIG(status)) << ": " << said;
        // Gone before it was looked at: said so, whichever look found it gone.
        EXPECT_TRUE(WEXITSTATUS(status) == 0
                        ? said.empty()
                        : said.find("zarnet: no window") != std::string::npos ||
                              said.find("zarnet: the window can't be measured") != std::string::npos)
            << said;
        EXPECT_LT(SecondsSince(start), 1.0);
    }
}

// Fifty sizes up to twice the first in about a third of a second, then
// 600 x 450: the window's magenta background must not show anywhere (the
// drawing covers the new size) and pieces must reach each of its quarters
// (the view has the new size, not a stale one).
TEST(DisplayFaults, FiftyRapidResizesKeepItDrawingAtTheLastSize)
{
    Host h;
    ASSERT_TRUE(h.Open());
    ASSERT_TRUE(h.Run({"-window-id", "ID"}));
    ASSERT_TRUE(h.Drawn());
    XSetWindowBackground(h.d, h.window, Pixel(kMagenta));
    std::mt19937 random(5);
    for (int i = 0; i < 50; ++i, usleep(6000)) {
        XResizeWindow(h.d, h.window, 100 + random() % (2 * kW - 99), 80 + random() % (2 * kH - 79));
        XFlush(h.d);
    }
    const int w = 600, h2 = 450;
    XResizeWindow(h.d, h.window, w, h2);
    XSync(h.d, False);
    auto noBackground = [](const Frame& f) {
        size_t magenta = 0;
        for (size_t i = 0; i + 3 < f.rgba.size(); i += 4)
            magenta += f.rgba[i] == 220 && f.rgba[i + 1] == 30 && f.rgba[i + 2] == 220;
        return f.width > 0 && magenta < f.rgba.size() / 4 / 200;
    };
    Frame shot;
    EXPECT_TRUE(WaitFor(h.d, {0, 0, w, h2}, noBackground, &shot, 10)) << "the window's background shows";
    int lit = 0;  // a bit for each quarter pieces have reached
    for (int i = 0; i < 250 && lit != 15; ++i, usleep(20000)) {
        shot = Shot(h.d, {0, 0, w, h2});
        for (int q = 0; q < 4; ++q)
            lit |= (HueShares(shot, {(q % 2) * w / 2, (q / 2) * h2 / 2, w / 2, h2 / 2}, 20)[6] > 0.02) << q;
    }
    EXPECT_EQ(lit, 15);
    EXPECT_TRUE(!h.program.Wait(0, nullptr));
    EXPECT_EQ(h.Stderr(), "");
}

// The end signals end it by themselves within the host's half second;
// SIGPIPE is ignored (a closed pipe must not end it without a word).
TEST(DisplayFaults, EndSignalsEndItPromptlyAndSigpipeIsIgnored)
{
    for (const int signo : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(strsignal(signo));
        Host h;
        ASSERT_TRUE(h.Open());
        ASSERT_TRUE(h.Run({"-window-id", "ID"}));
        ASSERT_TRUE(h.Drawn());
        const auto start = SteadyClock::now();
        ASSERT_TRUE(h.program.Signal(signo));
        int status = 0;
        if (signo == SIGPIPE) {
            EXPECT_FALSE(h.program.Wait(1000, &status)) << status;
            const Frame before = Shot(h.d, {0, 0, kW, kH});
            Frame after;
            EXPECT_TRUE(WaitFor(
                h.d, {0, 0, kW, kH}, [&](const Frame& f) { return f.MeanDifference(before) > 1; }, &after, 5))
                << "no longer drawing";
            continue;
        }
        ASSERT_TRUE(h.program.Wait(2000, &status));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signo) << status;
        EXPECT_LT(SecondsSince(start), 0.5);
        EXPECT_EQ(h.Stderr(), "");
    }
}

// Both programs start with the first-run values and say what they did: a damaged file is moved aside (never
// written over), a directory is left alone. (Numbers out of range: tests/host/settings_test.cpp.)
TEST(DisplayFaults, DamagedOrOddSettingsFilesStartBothProgramsSoundly)
{
    std::mt19937 random(7);
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    const struct {
        std::string bytes;  // empty: a directory
        uintmax_t size;     // the file's size, zeros after the bytes
        const char* says;   // on stderr
    } cases[] = {
        {garbage, 4096, "is not a settings file; it was moved to"},
        {"[vmZarnetSS]\nversion=1.0.1\nPuzzleWidth=40\n", 2u << 20, "is larger than 1 MiB; it was moved to"},
        {"", 0, "is not a file; the first-run settings are used but can't be saved"},
    };
    for (const char* program : {"zarnet", "zarnet-settings"})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(program) + ", " + c.says);
            const bool headless = program == std::string("zarnet");
            Host h;
            ASSERT_TRUE(headless ? mkdir(h.dir.Join("zarnet").c_str(), 0700) == 0 : h.Open(""));
            ASSERT_TRUE(c.bytes.empty() ? mkdir(h.conf.c_str(), 0700) == 0
                                        : WriteWholeFile(h.conf, c.bytes) && truncate(h.conf.c_str(), c.size) == 0);
            if (headless) {
                int status = -1;
                ASSERT_TRUE(h.Run({"--record", h.dir.Join("frames"), "--size", "64x48", "--seconds", "1"}));
                ASSERT_TRUE(h.program.Wait(60000, &status));
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
                EXPECT_NE(h.Stderr().find("zarnet: 30 frames drawn"), std::string::npos) << h.Stderr();
            } else {
                ASSERT_TRUE(h.Run({}, program));
                bool shown = false;
                for (int i = 0; i < 100 && !shown; ++i, usleep(200000))
                    shown = h.server.Run({"xdotool", "search", "--name", "^Zarnet Screen Saver$"}) == 0;
                EXPECT_TRUE(shown && !h.program.Wait(0, nullptr)) << "no window";
            }
            // zarnet-settings may show its window before its view reads the settings.
            const std::string says = "zarnet: the settings file " + h.conf + " " + c.says;
            std::string said = h.Stderr(), now, kept;
            for (int i = 0; i < 50 && said.find(says) == std::string::npos; ++i, usleep(100000))
                said = h.Stderr();
            EXPECT_NE(said.find(says), std::string::npos) << said;
            if (c.bytes.empty())
                EXPECT_TRUE(std::filesystem::is_directory(h.conf));
            else
                EXPECT_TRUE(ReadWholeFile(h.conf + ".damaged", &kept) && kept.size() == c.size &&
                            kept.compare(0, c.bytes.size(), c.bytes) == 0 && ReadWholeFile(h.conf, &now) &&
                            now.find("version=1.0.1\n") != std::string::npos)
                    << now;
        }
}

}  // namespace
