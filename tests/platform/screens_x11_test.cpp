// Monitor list and root-window grab against a private Xvfb server.
#include "platform/screen_grab.h"
#include "platform/screens.h"
#include "tests/support/xvfb_server.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>

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
    EXPECT_EQ(list.screens[0].name, "right");
    EXPECT_TRUE(list.screens[0].primary);
    EXPECT_EQ(list.screens[0].frame.x, 320);
    EXPECT_EQ(list.screens[1].name, "left");
    EXPECT_FALSE(list.screens[1].primary);
    EXPECT_EQ(list.screens[1].frame.width, 320);
    EXPECT_NE(list.screens[0].number, list.screens[1].number);

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
    EXPECT_EQ(At(g, 5, 0), 0xff0000u);
    EXPECT_EQ(At(g, 80, 100), 0xffffffu);  // the mark's corners
    EXPECT_EQ(At(g, 86, 104), 0xffffffu);
    EXPECT_EQ(At(g, 87, 104), 0u);
    EXPECT_EQ(At(g, 80, 105), 0u);
    EXPECT_EQ(At(g, 10, 200), 0u);  // the left half's line is not grabbed
    XCloseDisplay(d);
}

}  // namespace
