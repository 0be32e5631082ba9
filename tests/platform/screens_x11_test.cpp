// Against a private Xvfb server: the monitor list, the root-window grab, and
// the scoped X error trap (it sees its own stretch's errors only, an inner
// trap's being the inner one's, and gives the program's handler back).
#include "platform/screen_grab.h"
#include "platform/screens.h"
#include "tests/support/xvfb_server.h"

#include <gtest/gtest.h>

#include <tuple>
// After gtest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>

#include "platform/x11_error_trap.h"

namespace {

// Fills a rectangle of the root window with an exact colour (0xRRGGBB).
void Fill(Display* d, int x, int y, int w, int h, unsigned long rgb)
{
    XColor xc;
    xc.red = static_cast<unsigned short>((rgb >> 16 & 0xff) * 257);
    xc.green = static_cast<unsigned short>((rgb >> 8 & 0xff) * 257);
    xc.blue = static_cast<unsigned short>((rgb & 0xff) * 257);
    xc.flags = DoRed | DoGreen | DoBlue;
    ASSERT_TRUE(XAllocColor(d, DefaultColormap(d, DefaultScreen(d)), &xc));
    GC gc = XCreateGC(d, DefaultRootWindow(d), 0, nullptr);
    XSetForeground(d, gc, xc.pixel);
    XFillRectangle(d, DefaultRootWindow(d), gc, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XFreeGC(d, gc);
}

// The colour of `g` at column x, screen row y (0 = top) as 0xRRGGBB.
unsigned long At(const ScreenGrab& g, int x, int y)
{
    const uint8_t* p = &g.rgba[(static_cast<size_t>(g.height - 1 - y) * g.width + x) * 4];
    return static_cast<unsigned long>(p[0]) << 16 | p[1] << 8 | p[2];
}

TEST(X11Screens, TwoMonitorsPrimaryFirstAndTheGrabOfOneBottomRowFirst)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(640, 480, 24)) << server.Error();
    Display* d = XOpenDisplay(server.DisplayName().c_str());
    ASSERT_NE(d, nullptr);
    // The left half as its own monitor, the right half primary.
    ASSERT_EQ(server.Run({"xrandr", "--setmonitor", "left", "320/80x480/120+0+0", "none"}), 0);
    ASSERT_EQ(server.Run({"xrandr", "--setmonitor", "*right", "320/80x480/120+320+0", "screen"}), 0);
    ScreenList list;
    ASSERT_TRUE(GetX11Screens(d, &list));
    ASSERT_EQ(list.screens.size(), 2u);
    const ScreenInfo &right = list.screens[0], &left = list.screens[1];
    EXPECT_EQ(std::make_tuple(right.name, right.primary, right.frame.x, left.name, left.primary, left.frame.width),
              std::make_tuple("right", true, 320, "left", false, 320));
    EXPECT_NE(right.number, left.number);

    Fill(d, 0, 0, 640, 480, 0x000000);
    Fill(d, 0, 0, 640, 10, 0xff0000);    // top band
    Fill(d, 0, 470, 640, 10, 0x00ff00);  // bottom band
    Fill(d, 400, 100, 7, 5, 0xffffff);   // a mark on the right half
    Fill(d, 0, 200, 320, 1, 0x0000ff);   // a line on the left half only
    XSync(d, False);
    ScreenGrab g;
    ASSERT_TRUE(GrabX11Screen(d, list.screens[0].frame, &g));
    ASSERT_TRUE(g.width == 320 && g.height == 480 && g.rgba.size() == size_t(320) * 480 * 4);
    EXPECT_EQ(g.rgba[1], 255) << "the first row stored is the bottom's green";
    EXPECT_EQ(g.rgba[3], 255);
    // The top band, the mark's corners and beyond them, and the left half's line, which is not grabbed.
    const int marks[][3] = {{5, 0, 0xff0000}, {80, 100, 0xffffff}, {86, 104, 0xffffff},
                            {87, 104, 0},     {80, 105, 0},        {10, 200, 0}};
    for (auto [x, y, rgb] : marks)
        EXPECT_EQ(At(g, x, y), unsigned(rgb)) << x << "," << y;
    XCloseDisplay(d);
}

int g_programErrors = 0;  // errors that reached the program's own handler

TEST(X11ErrorTrap, CountsItsOwnStretchInnermostFirstAndRestoresTheHandler)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(64, 48, 24)) << server.Error();
    Display* d = XOpenDisplay(server.DisplayName().c_str());
    ASSERT_NE(d, nullptr);
    XSetErrorHandler([](Display*, XErrorEvent*) { return ++g_programErrors, 0; });
    const Window gone = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 8, 8, 0, 0, 0);
    XDestroyWindow(d, gone);
    {
        X11ErrorTrap outer(d);
        {
            X11ErrorTrap inner(d);
            EXPECT_FALSE(inner.Failed());
            XMapWindow(d, gone);
            EXPECT_TRUE(inner.Failed());
        }
        EXPECT_FALSE(outer.Failed()) << "the inner trap's error";
        XUnmapWindow(d, gone);
        EXPECT_TRUE(outer.Failed());
        outer.Release();
        XMapWindow(d, gone);
        XSync(d, False);
        EXPECT_EQ(g_programErrors, 1) << "after Release";
    }
    XMapWindow(d, gone);
    XSync(d, False);
    EXPECT_EQ(g_programErrors, 2);
    XCloseDisplay(d);
}

}  // namespace
