#pragma once
// What a private Xvfb shows, for the tests of whole programs: screenshots of the root, colour checks, a
// test pattern on the root window.
#include <unistd.h>

#include <algorithm>
#include <array>

#include "platform/screen_grab.h"
#include "tests/support/engine_view.h"
// After gtest and the test support: Xlib's macros (None, Bool) clash with their names.
#include <X11/Xlib.h>

namespace x11shots {

inline const Rgb kRed{220, 30, 30}, kGreen{30, 200, 30}, kBlue{30, 30, 220}, kYellow{220, 200, 30},
    kMagenta{220, 30, 220};

// The colour has the strong and the weak channels of a pure colour.
inline bool Looks(Rgb c, Rgb want)
{
    auto same = [](int got, int ref) { return ref > 128 ? got > 90 : got < 80; };
    return same(c.r, want.r) && same(c.g, want.g) && same(c.b, want.b);
}

// 24-bit true colour pixel value.
inline unsigned long Pixel(Rgb c)
{
    return static_cast<unsigned long>(c.r << 16 | c.g << 8 | c.b);
}

// What the screen shows in `area` (root coordinates), top row first; empty when it can't be read.
inline Frame Shot(Display* d, ScreenRect area)
{
    ScreenGrab grab;
    Frame frame;
    if (!GrabX11Screen(d, area, &grab))
        return frame;
    frame.width = grab.width;
    frame.height = grab.height;
    for (int y = grab.height - 1; y >= 0; --y)  // the grab is bottom row first
        frame.rgba.insert(frame.rgba.end(), grab.rgba.begin() + static_cast<ptrdiff_t>(y) * grab.width * 4,
                          grab.rgba.begin() + static_cast<ptrdiff_t>(y + 1) * grab.width * 4);
    return frame;
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

// Shares of the lit pixels of `frame` by hue: red, green, blue, yellow, white (all three channels near
// the brightest), other. Shading changes brightness, not these.
inline std::array<double, 6> HueShares(const Frame& frame, int threshold = 40)
{
    std::array<double, 6> count = {};
    double lit = 0;
    for (size_t i = 0; i + 3 < frame.rgba.size(); i += 4) {
        const int r = frame.rgba[i], g = frame.rgba[i + 1], b = frame.rgba[i + 2];
        const int top = std::max({r, g, b});
        if (top <= threshold)
            continue;
        ++lit;
        auto high = [&](int c) { return c * 10 >= top * 7; };
        auto low = [&](int c) { return c * 10 <= top * 4; };
        int kind = 5;
        if (high(r) && high(g) && high(b))
            kind = 4;
        else if (high(r) && low(g) && low(b))
            kind = 0;
        else if (low(r) && high(g) && low(b))
            kind = 1;
        else if (low(r) && low(g) && high(b))
            kind = 2;
        else if (high(r) && high(g) && low(b))
            kind = 3;
        ++count[kind];
    }
    for (double& c : count)
        c = lit > 0 ? c / lit : 0.0;
    return count;
}

// The part of `frame` at `area` (frame coordinates, top row first), clipped to the frame.
inline Frame Crop(const Frame& frame, ScreenRect area)
{
    const ScreenRect r = IntersectRects(area, ScreenRect{0, 0, frame.width, frame.height});
    Frame part;
    if (IsEmptyRect(r))
        return part;
    part.width = r.width;
    part.height = r.height;
    for (int y = r.y; y < r.y + r.height; ++y) {
        const auto row = frame.rgba.begin() + (static_cast<ptrdiff_t>(y) * frame.width + r.x) * 4;
        part.rgba.insert(part.rgba.end(), row, row + static_cast<ptrdiff_t>(r.width) * 4);
    }
    return part;
}

// The frame shows the four quarters of PaintQuarters, each mostly lit in its own hue: an assembled board of
// a picture of them filling the frame.
inline bool ShowsQuarters(const Frame& frame)
{
    const int w = frame.width / 2, h = frame.height / 2;
    for (int i = 0; i < 4; ++i) {
        const Frame quarter = Crop(frame, ScreenRect{(i % 2) * w, (i / 2) * h, w, h});
        if (quarter.LitFraction(40) < 0.6 || HueShares(quarter)[i] < 0.8)
            return false;
    }
    return true;
}

}  // namespace x11shots
