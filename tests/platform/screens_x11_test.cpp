// Against a private Xvfb server: the monitor list, the root-window grab, and
// the scoped X error trap (it sees its own stretch's errors only, an inner
// trap's being the inner one's, and gives the program's handler back).
#include <gtest/gtest.h>

#include <tuple>

#include "platform/screens.h"
#include "platform/x11_error_trap.h"
#include "tests/apps/x11_shots.h"  // last: it brings in Xlib

namespace {

// The colour of `g` at column x, screen row y (0 = top) as 0xRRGGBB: the grab is bottom row first.
unsigned long At(const ScreenGrab& g, int x, int y)
{
    const uint8_t* p = &g.rgba[(static_cast<size_t>(g.height - 1 - y) * g.width + x) * 4];
    return x11shots::Pixel({p[0], p[1], p[2]});
}

TEST(X11Screens, TwoMonitorsPrimaryFirstAndTheGrabOfOneBottomRowFirst)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(640, 480, 24)) << server.Error();
    std::unique_ptr<Display, int (*)(Display*)> d(XOpenDisplay(server.DisplayName().c_str()), XCloseDisplay);
    ASSERT_TRUE(d && x11shots::SplitIntoTwoMonitors(server, 640, 480));  // the right half primary
    ScreenList list;
    ASSERT_TRUE(GetX11Screens(d.get(), &list));
    ASSERT_EQ(list.screens.size(), 2u);
    const ScreenInfo &right = list.screens[0], &left = list.screens[1];
    EXPECT_EQ(std::make_tuple(right.name, right.primary, right.frame.x, left.name, left.primary, left.frame.width),
              std::make_tuple("right", true, 320, "left", false, 320));
    EXPECT_NE(right.number, left.number);

    // Red, green over blue, yellow: the right monitor's grab is green over yellow to its edges.
    x11shots::PaintQuarters(d.get(), 640, 480);
    ScreenGrab g;
    ASSERT_TRUE(GrabX11Screen(d.get(), right.frame, &g));
    ASSERT_TRUE(g.width == 320 && g.height == 480 && g.rgba.size() == size_t(320) * 480 * 4);
    const unsigned long green = x11shots::Pixel(x11shots::kGreen), yellow = x11shots::Pixel(x11shots::kYellow);
    for (auto [x, y, rgb] : {std::tuple{0, 0, green}, {319, 239, green}, {0, 240, yellow}, {319, 479, yellow}})
        EXPECT_EQ(At(g, x, y), rgb) << x << "," << y;
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
