// `zarnet` on a private Xvfb server: drawing into a window the test made, as
// XScreenSaver hands one over, the picture grabbed from the root window;
// prompt exit on SIGTERM; main-screen-only on two monitors.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "host/Preferences.h"
#include "platform/screen_grab.h"
#include "tests/support/child_process.h"
#include "tests/support/engine_view.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/xvfb_server.h"
// After gtest: Xlib's macros (None, Bool) clash with its names.
#include <X11/Xlib.h>

namespace {

const Rgb kRed{220, 30, 30}, kGreen{30, 200, 30}, kBlue{30, 30, 220}, kYellow{220, 200, 30}, kMagenta{220, 30, 220};

// The colour has the strong and the weak channels of a pure colour.
bool Looks(Rgb c, Rgb want)
{
    auto same = [](int got, int ref) { return ref > 128 ? got > 90 : got < 80; };
    return same(c.r, want.r) && same(c.g, want.g) && same(c.b, want.b);
}

// What the screen shows in `area` (root coordinates); empty when it can't be read.
Frame Shot(Display* d, ScreenRect area)
{
    ScreenGrab grab;
    Frame frame;
    if (!GrabX11Screen(d, area, &grab))
        return frame;
    frame.width = grab.width;
    frame.height = grab.height;
    for (int y = grab.height - 1; y >= 0; --y)  // the grab is bottom row first
        frame.rgba.insert(frame.rgba.end(), grab.rgba.begin() + y * grab.width * 4,
                          grab.rgba.begin() + (y + 1) * grab.width * 4);
    return frame;
}

// Looks at `area` every 20 ms until `done` holds (true) or 20 s have passed.
template <typename Done>
bool WaitFor(Display* d, ScreenRect area, Done done, Frame* frame)
{
    for (int i = 0; i < 1000; ++i, usleep(20000))
        if (*frame = Shot(d, area), done(*frame))
            return true;
    return false;
}

// The store of a private configuration folder, the environment of a run on `server`.
std::vector<std::string> StoreAndEnvironment(const XvfbServer& server, const ScratchDir& dir, int bgType, bool mainOnly)
{
    mkdir(dir.Join("zarnet").c_str(), 0700);
    EXPECT_TRUE(WriteWholeFile(dir.Join("zarnet/vmZarnetSS.conf"),
                               std::string("[vmZarnetSS]\nversion=") + kPrefsVersion +
                                   "\nMainMonitorOnly=" + (mainOnly ? "true" : "false") +
                                   "\nLockInPlace=true\nPuzzleWidth=6\nPercentage=75\nBGType=" +
                                   std::to_string(bgType) + "\nBGPath=/nowhere/\nBGRes=0\n"));
    // GSettings in memory: no wallpaper from the desktop running the tests.
    return EnvironmentWith({"DISPLAY=" + server.DisplayName(), "XDG_CONFIG_HOME=" + dir.Path(),
                            "GSETTINGS_BACKEND=memory"},
                           {"XSCREENSAVER_WINDOW", "XDG_CURRENT_DESKTOP"});
}

using Connection = std::unique_ptr<Display, int (*)(Display*)>;

TEST(ZarnetX11, WindowIdShowsThePuzzleOfTheGrabbedRootImageAndSigtermEndsItWithinHalfASecond)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(640, 480, 24)) << server.Error();
    Connection c(XOpenDisplay(server.DisplayName().c_str()), XCloseDisplay);
    ASSERT_TRUE(c);
    Display* d = c.get();
    const Window root = DefaultRootWindow(d);
    auto pixel = [](Rgb c) { return static_cast<unsigned long>(c.r << 16 | c.g << 8 | c.b); };  // 24-bit true colour
    // The root window shows four coloured quarters.
    GC gc = XCreateGC(d, root, 0, nullptr);
    const Rgb quarters[4] = {kRed, kGreen, kBlue, kYellow};
    for (int i = 0; i < 4; ++i) {
        XSetForeground(d, gc, pixel(quarters[i]));
        XFillRectangle(d, root, gc, (i % 2) * 320, (i / 2) * 240, 320, 240);
    }
    XFreeGC(d, gc);
    // XScreenSaver's window stands over the top-left quarter: the grab sees it there.
    XSetWindowAttributes a = {};
    a.background_pixel = pixel(kMagenta);
    a.override_redirect = True;
    const Window window = XCreateWindow(d, root, 0, 0, 320, 240, 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWBackPixel | CWOverrideRedirect, &a);
    XMapRaised(d, window);
    XSync(d, False);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", window);
    ScratchDir dir;
    ChildProcess zarnet;
    ASSERT_TRUE(zarnet.Start({BuildProgramPath("zarnet"), "-window-id", id}, StoreAndEnvironment(server, dir, 0, false)));
    // The first frames show the assembled board of the grab, filling the view.
    Frame shot;
    ASSERT_TRUE(WaitFor(d, {0, 0, 320, 240}, [](const Frame& f) {
        return !Looks(f.MeanAround(160, 120, 3), kMagenta) && f.LitFraction(20) > 0.8;
    }, &shot)) << "no puzzle in the window";
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
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
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
    ASSERT_TRUE(WaitFor(c.get(), {320, 0, 320, 240}, [](const Frame& f) { return f.LitFraction(20) > 0.3; }, &shot))
        << "nothing on the primary monitor";
    sleep(1);  // a second later the other monitor is still black
    const Frame other = Shot(c.get(), {0, 0, 320, 240});
    ASSERT_EQ(other.width, 320);
    EXPECT_EQ(other.LitFraction(20), 0.0);
    EXPECT_GT(Shot(c.get(), {320, 0, 320, 240}).LitFraction(20), 0.01);
}

}  // namespace
