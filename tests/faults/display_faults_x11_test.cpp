// zarnet and zarnet-settings on a private Xvfb when things go wrong: the
// server dies, the host's window is destroyed or resized fifty times, a
// signal comes, or the settings file is damaged, huge, a directory or out
// of range. Each case says what the user sees and that nothing is lost.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
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

// CPU seconds of a running process; with 0, of this process's reaped children.
double CpuSeconds(pid_t pid)
{
    if (pid == 0) {
        rusage r = {};
        getrusage(RUSAGE_CHILDREN, &r);
        return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    }
    std::string stat;
    unsigned long long user = 0, system = 0;  // fields 14 and 15, after the name in parentheses
    ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", &stat);
    std::sscanf(stat.c_str() + stat.rfind(')') + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                &system);
    return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

TEST(DisplayFaults, ServerDeathEndsZarnetAtOnceWithAMessageAndNoSpin)
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
        const double cpuBefore = CpuSeconds(h.program.Pid());
        const auto start = SteadyClock::now();
        h.server.Stop();
        const double othersCpu = CpuSeconds(0);  // the server's, now reaped
        int status = 0;
        ASSERT_TRUE(h.program.Wait(5000, &status)) << "still running 5 s after the server ended";
        const double seconds = SecondsSince(start), cpuAfter = CpuSeconds(0) - othersCpu - cpuBefore;
        std::printf("%s: ended %.0f ms after the server, %.0f ms of CPU after it: %s", target, seconds * 1000,
                    cpuAfter * 1000, h.Stderr().c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        EXPECT_LT(seconds, 1.0);
        EXPECT_LT(cpuAfter, 0.25);
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
        if (delayMs < 0) {
            ASSERT_TRUE(h.Drawn());
        }
        usleep(std::max(delayMs, 0) * 1000);
        const auto start = SteadyClock::now();
        XDestroyWindow(h.d, h.window);
        XSync(h.d, False);
        int status = 0;
        ASSERT_TRUE(h.program.Wait(5000, &status));
        const std::string said = h.Stderr();
        std::printf("destroyed at %d ms: status %d, ended %.0f ms later: %s\n", delayMs, status,
                    SecondsSince(start) * 1000, said.c_str());
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
    bool lit[4] = {};
    for (int i = 0; i < 250 && !(lit[0] && lit[1] && lit[2] && lit[3]); ++i, usleep(20000)) {
        shot = Shot(h.d, {0, 0, w, h2});
        for (int q = 0; q < 4; ++q)
            lit[q] = lit[q] || Crop(shot, {(q % 2) * w / 2, (q / 2) * h2 / 2, w / 2, h2 / 2}).LitFraction(20) > 0.02;
    }
    EXPECT_TRUE(lit[0] && lit[1] && lit[2] && lit[3]) << lit[0] << lit[1] << lit[2] << lit[3];
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
        std::printf("%s: ended %.0f ms after it\n", strsignal(signo), SecondsSince(start) * 1000);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signo) << status;
        EXPECT_LT(SecondsSince(start), 0.5);
        EXPECT_EQ(h.Stderr(), "");
    }
}

// Both programs start with sound values and say what they did: a damaged
// file is moved aside (never written over), a directory is left alone,
// numbers out of range are used pinned and the file kept as it is.
TEST(DisplayFaults, DamagedOrOddSettingsFilesStartBothProgramsSoundly)
{
    std::mt19937 random(7);
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    const std::string high = "[vmZarnetSS]\nversion=1.0.1\nBGType=2\nPuzzleWidth=100000\nPercentage=1000\nBGPath=/" +
                             std::string(1999, 'p') + "\n";
    const std::string low = "[vmZarnetSS]\nversion=1.0.1\nBGType=1\nPuzzleWidth=-5\nPercentage=2147483648\nBGRes=0\n";
    const struct {
        const char* name;
        std::string bytes;  // empty: a directory
        uintmax_t size;     // the file's size, zeros after the bytes
        const char* says;   // on stderr; null: nothing about the settings
    } cases[] = {
        {"garbage bytes", garbage, 4096, "is not a settings file; it was moved to"},
        {"100 MB", "[vmZarnetSS]\nversion=1.0.1\nPuzzleWidth=40\n", 100u << 20,
         "is larger than 1 MiB; it was moved to"},
        {"a directory", "", 0, "is not a file; the first-run settings are used but can't be saved"},
        {"too large: 100000 pieces, 1000 %, a 2000-byte folder", high, high.size(), nullptr},
        {"too small: -5 pieces, 2^31 %", low, low.size(), nullptr},
    };
    for (const char* program : {"zarnet", "zarnet-settings"})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(program) + ", " + c.name);
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
                EXPECT_TRUE(shown) << "no window";
                EXPECT_TRUE(!h.program.Wait(0, nullptr));
            }
            // zarnet-settings may show its window before its view reads the settings.
            std::string said = h.Stderr();
            for (int i = 0; i < 50 && c.says && said.find(c.says) == std::string::npos; ++i, usleep(100000))
                said = h.Stderr();
            if (c.says)
                EXPECT_NE(said.find("zarnet: the settings file " + h.conf + " " + c.says), std::string::npos) << said;
            else
                EXPECT_EQ(said.find("settings file"), std::string::npos) << said;
            std::string now, kept;
            if (c.bytes.empty())
                EXPECT_TRUE(std::filesystem::is_directory(h.conf));
            else if (c.says)
                EXPECT_TRUE(ReadWholeFile(h.conf + ".damaged", &kept) && kept.size() == c.size &&
                            kept.compare(0, c.bytes.size(), c.bytes) == 0 && ReadWholeFile(h.conf, &now) &&
                            now.find("version=1.0.1\n") != std::string::npos)
                    << now;
            else
                EXPECT_TRUE(ReadWholeFile(h.conf, &now) && now == c.bytes) << "the user's numbers are kept";
        }
}

}  // namespace
