// `zarnet` on a real X server (a private Xvfb): drawing into a window the
// test made, as XScreenSaver hands one over, with the picture grabbed from
// the root window; main-screen-only on two monitors; prompt exit on
// SIGTERM/SIGINT; window size changes.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "host/Preferences.h"
#include "platform/preference_store.h"
#include "platform/screen_grab.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/xvfb_server.h"

namespace {

struct Rgb8 {
    int r, g, b;
};

class Connection {
public:
    explicit Connection(const std::string& name) : display_(XOpenDisplay(name.c_str())) {}
    ~Connection()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    Display* get() const { return display_; }

private:
    Display* display_;
};

unsigned long Pixel(Display* d, Rgb8 c)
{
    XColor colour = {};
    colour.red = static_cast<unsigned short>(c.r * 257);
    colour.green = static_cast<unsigned short>(c.g * 257);
    colour.blue = static_cast<unsigned short>(c.b * 257);
    XAllocColor(d, DefaultColormap(d, DefaultScreen(d)), &colour);
    return colour.pixel;
}

const Rgb8 kRed{220, 30, 30}, kGreen{30, 200, 30}, kBlue{30, 30, 220}, kYellow{220, 200, 30},
    kMagenta{220, 30, 220};

// The root window's background: four coloured quarters.
void PaintRootQuarters(Display* d)
{
    const int screen = DefaultScreen(d);
    const Window root = RootWindow(d, screen);
    const int w = DisplayWidth(d, screen), h = DisplayHeight(d, screen);
    Pixmap pixmap = XCreatePixmap(d, root, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                  static_cast<unsigned>(DefaultDepth(d, screen)));
    GC gc = XCreateGC(d, pixmap, 0, nullptr);
    const Rgb8 quarters[4] = {kRed, kGreen, kBlue, kYellow};
    for (int i = 0; i < 4; ++i) {
        XSetForeground(d, gc, Pixel(d, quarters[i]));
        XFillRectangle(d, pixmap, gc, (i % 2) * w / 2, (i / 2) * h / 2, static_cast<unsigned>(w / 2),
                       static_cast<unsigned>(h / 2));
    }
    XFreeGC(d, gc);
    XSetWindowBackgroundPixmap(d, root, pixmap);
    XClearWindow(d, root);
    XFreePixmap(d, pixmap);
    XSync(d, False);
}

// A black root window (Xvfb starts with a grey weave).
void PaintRootBlack(Display* d)
{
    const Window root = DefaultRootWindow(d);
    XSetWindowBackground(d, root, BlackPixel(d, DefaultScreen(d)));
    XClearWindow(d, root);
    XSync(d, False);
}

Window MakeWindow(Display* d, int x, int y, int w, int h, Rgb8 background)
{
    const int screen = DefaultScreen(d);
    XSetWindowAttributes a = {};
    a.background_pixel = Pixel(d, background);
    a.override_redirect = True;
    Window window = XCreateWindow(d, RootWindow(d, screen), x, y, static_cast<unsigned>(w),
                                  static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWBackPixel | CWOverrideRedirect, &a);
    XMapRaised(d, window);
    XSync(d, False);
    return window;
}

// What the screen shows in `area` (root coordinates), top row first.
struct Shot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;

    bool Take(Display* d, ScreenRect area)
    {
        ScreenGrab g;
        if (!GrabX11Screen(d, area, &g))
            return false;
        width = g.width;
        height = g.height;
        rgba.resize(g.rgba.size());
        const size_t row = static_cast<size_t>(width) * 4;
        for (int y = 0; y < height; ++y)
            std::copy_n(&g.rgba[row * static_cast<size_t>(height - 1 - y)], row, &rgba[row * static_cast<size_t>(y)]);
        return true;
    }
    Rgb8 At(int x, int y) const
    {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        return Rgb8{p[0], p[1], p[2]};
    }
    Rgb8 Mean(int cx, int cy, int r) const
    {
        long s[3] = {0, 0, 0}, n = 0;
        for (int y = cy - r; y <= cy + r; ++y)
            for (int x = cx - r; x <= cx + r; ++x, ++n) {
                const Rgb8 c = At(x, y);
                s[0] += c.r;
                s[1] += c.g;
                s[2] += c.b;
            }
        return Rgb8{static_cast<int>(s[0] / n), static_cast<int>(s[1] / n), static_cast<int>(s[2] / n)};
    }
    // Fraction of pixels in [x0, x1) x [y0, y1) that aren't (nearly) black.
    double Lit(int x0, int y0, int x1, int y1) const
    {
        long lit = 0, n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x, ++n) {
                const Rgb8 c = At(x, y);
                lit += c.r + c.g + c.b > 60;
            }
        return n ? static_cast<double>(lit) / n : 0.0;
    }
    double Lit() const { return Lit(0, 0, width, height); }
};

// Polls `area` every 20 ms until `done` says yes; false after `seconds`.
bool WaitForShot(Display* d, ScreenRect area, double seconds, const std::function<bool(const Shot&)>& done,
                 Shot* shot)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (shot->Take(d, area) && done(*shot))
            return true;
        struct timespec t = {0, 20 * 1000 * 1000};
        nanosleep(&t, nullptr);
    }
    return false;
}

void WriteStore(const std::string& configHome, int bgType, bool mainOnly)
{
    PreferenceStore store(kPrefsModule, (configHome + "/zarnet").c_str());
    store.setObject(kPrefsVersion, "version");
    store.setBool(mainOnly, "MainMonitorOnly");
    store.setBool(true, "LockInPlace");
    store.setInteger(6, "PuzzleWidth");
    store.setInteger(75, "Percentage");
    store.setInteger(bgType, "BGType");
    store.setObject("/nowhere/", "BGPath");
    store.setInteger(0, "BGRes");
    ASSERT_TRUE(store.synchronize());
}

std::vector<std::string> ChildEnvironment(const XvfbServer& server, const ScratchDir& dir,
                                          std::vector<std::string> extra = {})
{
    extra.push_back("DISPLAY=" + server.DisplayName());
    extra.push_back("XDG_CONFIG_HOME=" + dir.Path());
    extra.push_back("GSETTINGS_BACKEND=memory");  // no wallpaper from the desktop running the tests
    return EnvironmentWith(extra, {"XSCREENSAVER_WINDOW", "XDG_CURRENT_DESKTOP"});
}

std::string Hex(Window w)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(w));
    return text;
}

// Which of the pure colours `c` is nearest to, by its leading channels.
bool Looks(Rgb8 c, Rgb8 want)
{
    auto high = [](int v) { return v > 90; };
    auto low = [](int v) { return v < 80; };
    auto same = [&](int got, int ref) { return ref > 128 ? high(got) : low(got); };
    return same(c.r, want.r) && same(c.g, want.g) && same(c.b, want.b);
}

TEST(ZarnetX11, WindowIdShowsThePuzzleOfTheGrabbedRootImage)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(640, 480, 24)) << server.Error();
    Connection c(server.DisplayName());
    ASSERT_NE(c.get(), nullptr);
    PaintRootQuarters(c.get());
    // XScreenSaver's window stands over the top-left quarter: the grab sees it there.
    const Window window = MakeWindow(c.get(), 0, 0, 320, 240, kMagenta);
    ScratchDir dir;
    WriteStore(dir.Path(), 0, false);
    ChildProcess zarnet;
    ASSERT_TRUE(zarnet.Start({BuildProgramPath("zarnet"), "-window-id", Hex(window)},
                             ChildEnvironment(server, dir)));

    // The first frames show the assembled board of the grab, filling the view.
    Shot shot;
    const ScreenRect area{0, 0, 320, 240};
    ASSERT_TRUE(WaitForShot(c.get(), area, 20.0, [](const Shot& s) {
        return !Looks(s.Mean(160, 120, 3), kMagenta) && s.Lit() > 0.8;
    }, &shot)) << "no puzzle in the window";
    EXPECT_TRUE(Looks(shot.Mean(80, 60, 4), kMagenta));
    EXPECT_TRUE(Looks(shot.Mean(240, 60, 4), kGreen));
    EXPECT_TRUE(Looks(shot.Mean(80, 180, 4), kBlue));
    EXPECT_TRUE(Looks(shot.Mean(240, 180, 4), kYellow));
    // And the root image around the window stays as it was.
    Shot root;
    ASSERT_TRUE(root.Take(c.get(), ScreenRect{320, 240, 320, 240}));
    EXPECT_TRUE(Looks(root.Mean(160, 120, 2), kYellow));

    ASSERT_TRUE(zarnet.Signal(SIGTERM));
    int status = 0;
    ASSERT_TRUE(zarnet.Wait(2000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ZarnetX11, MainScreenOnlyDrawsOnThePrimaryMonitorOnly)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(640, 240, 24)) << server.Error();
    ASSERT_EQ(server.Run({"xrandr", "--setmonitor", "left", "320/80x240/60+0+0", "none"}), 0);
    ASSERT_EQ(server.Run({"xrandr", "--setmonitor", "*right", "320/80x240/60+320+0", "screen"}), 0);
    Connection c(server.DisplayName());
    ASSERT_NE(c.get(), nullptr);
    ScratchDir dir;
    WriteStore(dir.Path(), 1, true);
    ChildProcess zarnet;
    ASSERT_TRUE(zarnet.Start({BuildProgramPath("zarnet"), "--fullscreen"}, ChildEnvironment(server, dir)));

    Shot shot;
    const ScreenRect all{0, 0, 640, 240};
    ASSERT_TRUE(WaitForShot(c.get(), all, 20.0, [](const Shot& s) { return s.Lit(320, 0, 640, 240) > 0.3; },
                            &shot))
        << "nothing on the primary monitor";
    EXPECT_EQ(shot.Lit(0, 0, 320, 240), 0.0);
    // A second later the other monitor is still black.
    struct timespec t = {1, 0};
    nanosleep(&t, nullptr);
    ASSERT_TRUE(shot.Take(c.get(), all));
    EXPECT_EQ(shot.Lit(0, 0, 320, 240), 0.0);
    EXPECT_GT(shot.Lit(320, 0, 640, 240), 0.01);

    ASSERT_TRUE(zarnet.Signal(SIGTERM));
    int status = 0;
    ASSERT_TRUE(zarnet.Wait(2000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ZarnetX11, SignalEndsItWithinHalfASecond)
{
    struct Case {
        const char* name;
        int sig;
        int how;  // 0 = --window-id, 1 = XSCREENSAVER_WINDOW, 2 = --root, 3 = -root with XSCREENSAVER_WINDOW
    };
    const Case cases[] = {
        {"SIGTERM, --window-id", SIGTERM, 0},
        {"SIGINT, XSCREENSAVER_WINDOW", SIGINT, 1},
        {"SIGTERM, --root", SIGTERM, 2},
        {"SIGTERM, -root naming XScreenSaver's window", SIGTERM, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        XvfbServer server;
        ASSERT_TRUE(server.Start(320, 240, 24)) << server.Error();
        Connection c(server.DisplayName());
        ASSERT_NE(c.get(), nullptr);
        PaintRootBlack(c.get());
        ScratchDir dir;
        WriteStore(dir.Path(), 1, false);
        const Window window = k.how == 2 ? 0 : MakeWindow(c.get(), 0, 0, 200, 150, Rgb8{0, 0, 0});
        std::vector<std::string> argv = {BuildProgramPath("zarnet")}, extra;
        if (k.how == 0)
            argv.insert(argv.end(), {"--window-id", Hex(window)});
        if (k.how == 1 || k.how == 3)
            extra.push_back("XSCREENSAVER_WINDOW=" + Hex(window));
        if (k.how >= 2)
            argv.push_back(k.how == 2 ? "--root" : "-root");
        ChildProcess zarnet;
        ASSERT_TRUE(zarnet.Start(argv, ChildEnvironment(server, dir, extra)));
        Shot shot;
        const ScreenRect area = k.how == 2 ? ScreenRect{0, 0, 320, 240} : ScreenRect{0, 0, 200, 150};
        ASSERT_TRUE(WaitForShot(c.get(), area, 20.0, [](const Shot& s) { return s.Lit() > 0.05; }, &shot))
            << "it never drew";
        if (k.how != 2) {
            // Only the window is drawn into, not the root around it.
            Shot outside;
            ASSERT_TRUE(outside.Take(c.get(), ScreenRect{0, 150, 320, 90}));
            EXPECT_EQ(outside.Lit(), 0.0);
        }
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(zarnet.Signal(k.sig));
        int status = 0;
        ASSERT_TRUE(zarnet.Wait(3000, &status));
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
        EXPECT_LT(took, 0.5);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

TEST(ZarnetX11, ResizedWindowIsDrawnAtItsNewSize)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(400, 300, 24)) << server.Error();
    Connection c(server.DisplayName());
    ASSERT_NE(c.get(), nullptr);
    PaintRootQuarters(c.get());
    const Window window = MakeWindow(c.get(), 0, 0, 160, 120, Rgb8{0, 0, 0});
    ScratchDir dir;
    WriteStore(dir.Path(), 0, false);
    ChildProcess zarnet;
    ASSERT_TRUE(zarnet.Start({BuildProgramPath("zarnet"), "--window-id", Hex(window)},
                             ChildEnvironment(server, dir)));
    Shot shot;
    ASSERT_TRUE(WaitForShot(c.get(), ScreenRect{0, 0, 160, 120}, 20.0, [](const Shot& s) { return s.Lit() > 0.3; },
                            &shot));
    XResizeWindow(c.get(), window, 320, 240);
    XSync(c.get(), False);
    // The view takes the new size: pieces appear beyond the old bounds.
    EXPECT_TRUE(WaitForShot(c.get(), ScreenRect{0, 0, 320, 240}, 10.0, [](const Shot& s) {
        return s.Lit(170, 0, 320, 240) > 0.02 && s.Lit(0, 130, 320, 240) > 0.02;
    }, &shot));
    ASSERT_TRUE(zarnet.Signal(SIGTERM));
    int status = 0;
    ASSERT_TRUE(zarnet.Wait(2000, &status));
}

}  // namespace
