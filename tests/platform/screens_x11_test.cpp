// Monitor list and root-window grab against a private Xvfb server.
#include "platform/screen_grab.h"
#include "platform/screens.h"
#include "tests/support/xvfb_server.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>

namespace {

struct Colour {
    uint8_t r, g, b;
};

// Fills a rectangle of the root window with an exact colour.
void Fill(Display* d, int x, int y, int w, int h, Colour c)
{
    XColor xc;
    xc.red = static_cast<unsigned short>(c.r * 257);
    xc.green = static_cast<unsigned short>(c.g * 257);
    xc.blue = static_cast<unsigned short>(c.b * 257);
    xc.flags = DoRed | DoGreen | DoBlue;
    ASSERT_TRUE(XAllocColor(d, DefaultColormap(d, DefaultScreen(d)), &xc));
    GC gc = XCreateGC(d, DefaultRootWindow(d), 0, nullptr);
    XSetForeground(d, gc, xc.pixel);
    XFillRectangle(d, DefaultRootWindow(d), gc, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XFreeGC(d, gc);
}

// The pixel of `g` at screen row `screenY` of the grabbed area (row 0 = top).
Colour At(const ScreenGrab& g, int x, int screenY)
{
    size_t i = (static_cast<size_t>(g.height - 1 - screenY) * static_cast<size_t>(g.width)
                + static_cast<size_t>(x)) * 4;
    return Colour{g.rgba[i], g.rgba[i + 1], g.rgba[i + 2]};
}

void ExpectColour(Colour got, Colour want, const char* what)
{
    EXPECT_EQ(got.r, want.r) << what;
    EXPECT_EQ(got.g, want.g) << what;
    EXPECT_EQ(got.b, want.b) << what;
}

class X11Display {
public:
    explicit X11Display(const std::string& name) : display_(XOpenDisplay(name.c_str())) {}
    ~X11Display()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    Display* get() const { return display_; }

private:
    Display* display_;
};

}  // namespace

TEST(X11Screens, SplitScreenListsTheMonitorsPrimaryFirst)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(640, 480, 24)) << server.Error();
    X11Display d(server.DisplayName());
    ASSERT_NE(d.get(), nullptr);

    ScreenList list;
    ASSERT_TRUE(GetX11Screens(d.get(), &list));
    ASSERT_EQ(list.screens.size(), 1u);
    EXPECT_EQ(list.screens[0].frame.width, 640);
    EXPECT_EQ(list.screens[0].frame.height, 480);
    ASSERT_NE(list.MainScreen(), nullptr);

    // The left half as its own monitor, the right half primary.
    ASSERT_EQ(server.Run({"xrandr", "--setmonitor", "left", "320/80x480/120+0+0", "none"}), 0);
    ASSERT_EQ(server.Run({"xrandr", "--setmonitor", "*right", "320/80x480/120+320+0", "screen"}), 0);
    ASSERT_TRUE(GetX11Screens(d.get(), &list));
    ASSERT_EQ(list.screens.size(), 2u);
    EXPECT_EQ(list.screens[0].name, "right");
    EXPECT_TRUE(list.screens[0].primary);
    EXPECT_EQ(list.screens[0].frame.x, 320);
    EXPECT_EQ(list.screens[0].frame.width, 320);
    EXPECT_EQ(list.screens[1].name, "left");
    EXPECT_FALSE(list.screens[1].primary);
    EXPECT_EQ(list.screens[1].frame.x, 0);
    EXPECT_EQ(list.screens[1].frame.height, 480);
    EXPECT_NE(list.screens[0].number, list.screens[1].number);
    EXPECT_EQ(list.MainScreen()->name, "right");
    EXPECT_EQ(list.FirstMeeting(ScreenRect{100, 100, 50, 50})->name, "left");
    EXPECT_EQ(list.FirstMeeting(ScreenRect{300, 0, 50, 50})->name, "right");  // straddles: list order
}

TEST(X11Grab, RootWindowImageComesBackBottomRowFirst)
{
    for (int depth : {24, 16}) {
        SCOPED_TRACE(depth);
        XvfbServer server;
        ASSERT_TRUE(server.Start(640, 480, depth)) << server.Error();
        X11Display d(server.DisplayName());
        ASSERT_NE(d.get(), nullptr);

        const Colour black{0, 0, 0}, red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255},
            white{255, 255, 255};
        Fill(d.get(), 0, 0, 640, 480, black);
        Fill(d.get(), 0, 0, 640, 10, red);        // top band
        Fill(d.get(), 0, 470, 640, 10, green);    // bottom band
        Fill(d.get(), 400, 100, 7, 5, white);     // a mark on the right half
        Fill(d.get(), 0, 200, 320, 1, blue);      // a line on the left half only
        XSync(d.get(), False);

        // The right half, as a monitor there would be grabbed.
        ScreenGrab g;
        ASSERT_TRUE(GrabX11Screen(d.get(), ScreenRect{320, 0, 320, 480}, &g));
        ASSERT_EQ(g.width, 320);
        ASSERT_EQ(g.height, 480);
        ASSERT_EQ(g.rgba.size(), 320u * 480u * 4u);
        ExpectColour(Colour{g.rgba[0], g.rgba[1], g.rgba[2]}, green, "first stored row is the bottom");
        EXPECT_EQ(g.rgba[3], 255);
        ExpectColour(At(g, 5, 0), red, "top band");
        ExpectColour(At(g, 80, 100), white, "mark corner");
        ExpectColour(At(g, 86, 104), white, "mark far corner");
        ExpectColour(At(g, 87, 104), black, "right of the mark");
        ExpectColour(At(g, 80, 105), black, "below the mark");
        ExpectColour(At(g, 10, 200), black, "the left half's line is not grabbed");

        // The whole screen shows the line; an area partly off the root is clipped.
        ASSERT_TRUE(GrabX11Screen(d.get(), ScreenRect{0, 0, 640, 480}, &g));
        ExpectColour(At(g, 10, 200), blue, "line");
        ASSERT_TRUE(GrabX11Screen(d.get(), ScreenRect{600, 400, 100, 100}, &g));
        EXPECT_EQ(g.width, 40);
        EXPECT_EQ(g.height, 80);

        ScreenGrab untouched;
        EXPECT_FALSE(GrabX11Screen(d.get(), ScreenRect{640, 0, 100, 100}, &untouched));
        EXPECT_FALSE(GrabX11Screen(d.get(), ScreenRect{0, 0, 0, 0}, &untouched));
        EXPECT_FALSE(GrabX11Screen(nullptr, ScreenRect{0, 0, 10, 10}, &untouched));
        EXPECT_TRUE(untouched.rgba.empty());
    }
}
