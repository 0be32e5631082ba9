// `zarnet` on a private Xvfb server drawing into a window the test made, as XScreenSaver hands one over: the
// picture is the root window as grabbed, the window included. (One zarnet per monitor and main-monitor-only:
// xscreensaver_x11_test.cpp; the end signals: display_faults_x11_test.cpp.)
#include <gtest/gtest.h>

#include "tests/apps/x11_shots.h"  // last: it brings in Xlib

namespace {

using namespace x11shots;

TEST(ZarnetX11, WindowIdShowsThePuzzleOfTheGrabbedRootImage)
{
    Host h;
    ASSERT_TRUE(h.Open(SettingsText(0)));
    // The root shows four coloured quarters; XScreenSaver's window stands over the top-left one, magenta.
    PaintQuarters(h.d, 2 * kW, 2 * kH);
    XSetWindowBackground(h.d, h.window, Pixel(kMagenta));
    XClearWindow(h.d, h.window);
    XSync(h.d, False);
    ASSERT_TRUE(h.Run({"-window-id", "ID"}));
    // The first frames show the assembled board of the grab, filling the view.
    Frame shot;
    ASSERT_TRUE(WaitFor(
        h.d, {0, 0, kW, kH},
        [](const Frame& f) { return !Looks(f.MeanAround(160, 120, 3), kMagenta) && f.LitFraction(20) > 0.8; }, &shot))
        << "no puzzle in the window";
    EXPECT_TRUE(Looks(shot.MeanAround(80, 180, 4), kMagenta));  // y from the bottom
    EXPECT_TRUE(Looks(shot.MeanAround(240, 180, 4), kGreen));
    EXPECT_TRUE(Looks(shot.MeanAround(80, 60, 4), kBlue));
    EXPECT_TRUE(Looks(shot.MeanAround(240, 60, 4), kYellow));
    EXPECT_TRUE(Looks(Shot(h.d, {kW, kH, kW, kH}).MeanAround(160, 120, 2), kYellow)) << "the root is left alone";
    EXPECT_EQ(h.Stderr(), "");
}

}  // namespace
