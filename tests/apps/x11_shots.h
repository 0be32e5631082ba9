#pragma once
// Whole programs on a private Xvfb: a host window standing for XScreenSaver's, screenshots of the root,
// colour checks, a test pattern on the root window.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "host/Preferences.h"
#include "platform/screen_grab.h"
#include "tests/support/child_process.h"
#include "tests/support/engine_view.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/xvfb_server.h"
// After gtest and the test support: Xlib's macros (None, Bool) clash with their names.
#include <X11/Xlib.h>

namespace x11shots {

inline const Rgb kRed{220, 30, 30}, kGreen{30, 200, 30}, kBlue{30, 30, 220}, kYellow{220, 200, 30},
    kMagenta{220, 30, 220};

// 24-bit true colour pixel value.
inline unsigned long Pixel(Rgb c)
{
    return static_cast<unsigned long>(c.r << 16 | c.g << 8 | c.b);
}

// What the screen shows in `area` (root coordinates), top row first; empty when it can't be read.
inline Frame Shot(Display* d, ScreenRect area)
{
    ScreenGrab grab;
    if (!GrabX11Screen(d, area, &grab))
        return {};
    Frame frame{grab.width, grab.height, {}};
    const ptrdiff_t row = static_cast<ptrdiff_t>(grab.width) * 4;
    for (int y = grab.height - 1; y >= 0; --y)  // the grab is bottom row first
        frame.rgba.insert(frame.rgba.end(), grab.rgba.begin() + y * row, grab.rgba.begin() + (y + 1) * row);
    return frame;
}

// Where window `w` lies in root coordinates; empty when it is gone (its X errors are the caller's to trap).
inline ScreenRect WindowRect(Display* d, Window w)
{
    XWindowAttributes a = {};
    Window child = 0;
    int x = 0, y = 0;
    if (!w || !XGetWindowAttributes(d, w, &a) ||
        !XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child))
        return {};
    return {x, y, a.width, a.height};
}

// Looks at `area` every 20 ms until `done` holds (true) or `seconds` have passed.
template <typename Done> bool WaitFor(Display* d, ScreenRect area, Done done, Frame* frame, int seconds = 20)
{
    for (int i = 0; i < seconds * 50; ++i, usleep(20000))
        if (*frame = Shot(d, area), done(*frame))
            return true;
    return false;
}

// The root window's background: four quarters, red, green / blue, yellow. The pixmap stays while `d` is open.
inline void PaintQuarters(Display* d, int width, int height)
{
    const Window root = DefaultRootWindow(d);
    const Pixmap pixmap = XCreatePixmap(d, root, width, height, DefaultDepth(d, DefaultScreen(d)));
    GC gc = XCreateGC(d, pixmap, 0, nullptr);
    const Rgb quarters[4] = {kRed, kGreen, kBlue, kYellow};
    for (int i = 0; i < 4; ++i) {
        XSetForeground(d, gc, Pixel(quarters[i]));
        XFillRectangle(d, pixmap, gc, (i % 2) * width / 2, (i / 2) * height / 2, width / 2, height / 2);
    }
    XFreeGC(d, gc);
    XSetWindowBackgroundPixmap(d, root, pixmap);
    XClearWindow(d, root);
    XFreePixmap(d, pixmap);  // the root keeps its own reference
    XSync(d, False);
}

// Shares of the lit pixels of `area` of `frame` (frame coordinates, top row first; empty: all of it) by hue: red,
// green, blue, yellow, white (all three channels near the brightest), other; then the share of the area that is
// lit. Shading changes brightness, not these.
inline std::array<double, 7> HueShares(const Frame& frame, ScreenRect area = {}, int threshold = 40)
{
    const ScreenRect all = {0, 0, frame.width, frame.height}, r = IsEmptyRect(area) ? all : IntersectRects(area, all);
    std::array<double, 7> count = {};
    double lit = 0;
    for (int y = r.y; y < r.y + r.height; ++y)
        for (int x = r.x; x < r.x + r.width; ++x) {
            const uint8_t* p = &frame.rgba[(static_cast<size_t>(y) * frame.width + x) * 4];
            const int top = std::max({p[0], p[1], p[2]});
            if (top <= threshold)
                continue;
            ++lit;
            // Each channel high (7/10 of the brightest or more) or low (4/10 or less); one hue for each pattern.
            int high = 0, low = 0;
            for (int k = 0; k < 3; ++k) {
                high |= (p[k] * 10 >= top * 7) << k;
                low |= (p[k] * 10 <= top * 4) << k;
            }
            static constexpr int kHue[8] = {5, 0, 1, 3, 2, 5, 5, 4};
            ++count[high != 7 && (high | low) != 7 ? 5 : kHue[high]];
        }
    for (int i = 0; i < 6; ++i)
        count[i] = lit > 0 ? count[i] / lit : 0.0;
    count[6] = IsEmptyRect(r) ? 0.0 : lit / (static_cast<double>(r.width) * r.height);
    return count;
}

// The frame shows the four quarters of PaintQuarters, each mostly lit in its own hue: an assembled board of
// a picture of them filling the frame.
inline bool ShowsQuarters(const Frame& frame)
{
    const int w = frame.width / 2, h = frame.height / 2;
    for (int i = 0; i < 4; ++i) {
        const auto shares = HueShares(frame, {(i % 2) * w, (i / 2) * h, w, h});
        if (shares[6] < 0.6 || shares[i] < 0.8)
            return false;
    }
    return true;
}

// A settings file under the current version: 6 pieces across, source `bgType` (0: the desktop, 1: the wallpaper).
inline std::string SettingsText(int bgType, bool mainOnly = false)
{
    return std::string("[vmZarnetSS]\nversion=") + kPrefsVersion +
           "\nMainMonitorOnly=" + (mainOnly ? "true" : "false") +
           "\nLockInPlace=true\nPuzzleWidth=6\nPercentage=75\nBGType=" + std::to_string(bgType) +
           "\nBGPath=/nowhere/\nBGRes=0\n";
}

// Two monitors side by side on `server`, the primary one on the right.
inline bool SplitIntoTwoMonitors(const XvfbServer& server, int width, int height)
{
    const std::string half = std::to_string(width / 2) + "/80x" + std::to_string(height) + "/60";
    return server.Run({"xrandr", "--setmonitor", "left", half + "+0+0", "none"}) == 0 &&
           server.Run({"xrandr", "--setmonitor", "*right", half + "+" + std::to_string(width / 2) + "+0", "screen"}) ==
               0;
}

constexpr int kW = 320, kH = 240;  // the host window; the screen is twice as wide and high

// A private server with a black 320 x 240 window standing for XScreenSaver's, a settings folder, and one
// program run at a time with its stderr kept.
struct Host {
    XvfbServer server;
    Display* d = nullptr;
    Window window = 0;
    ScratchDir dir;
    std::string conf = dir.Join("zarnet/vmZarnetSS.conf");
    ChildProcess program;

    ~Host() { Disconnect(); }
    void Disconnect()
    {
        if (d)
            XCloseDisplay(d);
        d = nullptr;
    }
    // `settings`: the file's text; empty for none.
    bool Open(const std::string& settings = SettingsText(1))
    {
        if (!server.Start(2 * kW, 2 * kH, 24) || !(d = XOpenDisplay(server.DisplayName().c_str())))
            return false;
        XSetWindowAttributes a = {};
        a.background_pixel = 0;
        a.override_redirect = True;
        window = XCreateWindow(d, DefaultRootWindow(d), 0, 0, kW, kH, 0, CopyFromParent, InputOutput, CopyFromParent,
                               CWBackPixel | CWOverrideRedirect, &a);
        XMapRaised(d, window);
        XSync(d, False);
        mkdir(dir.Join("zarnet").c_str(), 0700);
        return settings.empty() || WriteWholeFile(conf, settings);
    }
    // Starts zarnet with `args` ("ID" for the window's id), or another program of the build.
    bool Run(std::vector<std::string> args, const std::string& name = "zarnet")
    {
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", window);
        for (std::string& a : args)
            a = a == "ID" ? id : a;
        args.insert(args.begin(), BuildProgramPath(name));
        // GSettings in memory: no wallpaper from the desktop running the tests.
        return program.Start(args,
                             EnvironmentWith({"DISPLAY=" + server.DisplayName(), "XDG_CONFIG_HOME=" + dir.Path(),
                                              "HOME=" + dir.Path(), "GSETTINGS_BACKEND=memory"},
                                             {"XSCREENSAVER_WINDOW", "XDG_CURRENT_DESKTOP"}),
                             "", dir.Join("stderr"));
    }
    // Waits until `area` is mostly drawn.
    bool Drawn(ScreenRect area = {0, 0, kW, kH})
    {
        Frame shot;
        return WaitFor(
            d, area, [](const Frame& f) { return f.LitFraction(20) > 0.3; }, &shot);
    }
    std::string Stderr() const
    {
        std::string text;
        ReadWholeFile(dir.Join("stderr"), &text);
        return text;
    }
};

}  // namespace x11shots
