// `zarnet` on a private Xvfb server: drawing into a window the test made, as
// XScreenSaver hands one over, the picture grabbed from the root window;
// prompt end by SIGTERM; main-screen-only on two monitors.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "host/Preferences.h"
#include "tests/apps/x11_shots.h"  // last: it brings in Xlib
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/xvfb_server.h"

namespace {

using namespace x11shots;

// The store of a private configuration folder, the environment of a run on `server`.
std::vector<std::string> StoreAndEnvironment(const XvfbServer& server, const ScratchDir& dir, int bgType, bool mainOnly)
{
    mkdir(dir.Join("zarnet").c_str(), 0700);
    EXPECT_TRUE(WriteWholeFile(
        dir.Join("zarnet/vmZarnetSS.conf"),
        std::string("[vmZarnetSS]\nversion=") + kPrefsVersion + "\nMainMonitorOnly=" + (mainOnly ? "true" : "false") +
            "\nLockInPlace=true\nPuzzleWidth=6\nPercentage=75\nBGType=" + std::to_string(bgType) +
            "\nBGPath=/nowhere/\nBGRes=0\n"));
    // GSettings in memory: no wallpaper from the desktop running the tests.
    return EnvironmentWith(
        {"DISPLAY=" + server.DisplayName(), "XDG_CONFIG_HOME=" + dir.Path(), "GSETTINGS_BACKEND=memory"},
        {"XSCREENSAVER_WINDOW", "XDG_CURRENT_DESKTOP"});
}

using Connection = std::unique_ptr<Display, int (*)(Display*)>;

TEST(ZarnetX11, WindowIdShowsThePuzzleOfTheGrabbedRootImageAndSigtermKillsItWithinHalfASecond)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(640, 480, 24)) << server.Error();
    Connection c(XOpenDisplay(server.DisplayName().c_str()), XCloseDisplay);
    ASSERT_TRUE(c);
    Display* d = c.get();
    const Window root = DefaultRootWindow(d);
    // The root window shows four coloured quarters.
    GC gc = XCreateGC(d, root, 0, nullptr);
    const Rgb quarters[4] = {kRed, kGreen, kBlue, kYellow};
    for (int i = 0; i < 4; ++i) {
        XSetForeground(d, gc, Pixel(quarters[i]));
        XFillRectangle(d, root, gc, (i % 2) * 320, (i / 2) * 240, 320, 240);
    }
    XFreeGC(d, gc);
    // XScreenSaver's window stands over the top-left quarter: the grab sees it there.
    XSetWindowAttributes a = {};
    a.background_pixel = Pixel(kMagenta);
    a.override_redirect = True;
    const Window window = XCreateWindow(d, root, 0, 0, 320, 240, 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWBackPixel | CWOverrideRedirect, &a);
    XMapRaised(d, window);
    XSync(d, False);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", window);
    ScratchDir dir;
    ChildProcess zarnet;
    ASSERT_TRUE(
        zarnet.Start({BuildProgramPath("zarnet"), "-window-id", id}, StoreAndEnvironment(server, dir, 0, false)));
    // The first frames show the assembled board of the grab, filling the view.
    Frame shot;
    ASSERT_TRUE(WaitFor(
        d, {0, 0, 320, 240},
        [](const Frame& f) { return !Looks(f.MeanAround(160, 120, 3), kMagenta) && f.LitFraction(20) > 0.8; }, &shot))
        << "no puzzle in the window";
    EXPECT_TRUE(Looks(shot.MeanAround(80, 180, 4), kMagenta));  // y from the bottom
    EXPECT_TRUE(Looks(shot.MeanAround(240, 180, 4), kGreen));
    EXPECT_TRUE(Looks(shot.MeanAround(80, 60, 4), kBlue));
    EXPECT_TRUE(Looks(shot.MeanAround(240, 60, 4), kYellow));
    EXPECT_TRUE(Looks(Shot(d, {320, 240, 320, 240}).MeanAround(160, 120, 2), kYellow)) << "the root is left alone";

    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(zarnet.Signal(SIGTERM));
    int status = 0;
    ASSERT_TRUE(zarnet.Wait(2000, &status));
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(500));
    // Cleaned up, then killed by the signal itself: what a host expects of a hack it ends.
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

TEST(ZarnetX11, MainScreenOnlyDrawsOnThePrimaryMonitorOnly)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(640, 240, 24)) << server.Error();
    ASSERT_EQ(server.Run({"xrandr", "--setmonitor", "left", "320/80x240/60+0+0", "none"}), 0);
    ASSERT_EQ(server.Run({"xrandr", "--setmonitor", "*right", "320/80x240/60+320+0", "screen"}), 0);
    Connection c(XOpenDisplay(server.DisplayName().c_str()), XCloseDisplay);
    ASSERT_TRUE(c);
    ScratchDir dir;
    ChildProcess zarnet;
    ASSERT_TRUE(zarnet.Start({BuildProgramPath("zarnet"), "--fullscreen"}, StoreAndEnvironment(server, dir, 1, true)));
    Frame shot;
    ASSERT_TRUE(WaitFor(
        c.get(), {320, 0, 320, 240}, [](const Frame& f) { return f.LitFraction(20) > 0.3; }, &shot))
        << "nothing on the primary monitor";
    sleep(1);  // a second later the other monitor is still black
    const Frame other = Shot(c.get(), {0, 0, 320, 240});
    ASSERT_EQ(other.width, 320);
    EXPECT_EQ(other.LitFraction(20), 0.0);
    EXPECT_GT(Shot(c.get(), {320, 0, 320, 240}).LitFraction(20), 0.01);
}

}  // namespace
