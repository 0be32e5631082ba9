// Screen geometry helpers and the headless grab, without a display.
#include "platform/screen_grab.h"
#include "platform/screens.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

bool Same(const ScreenRect& a, const ScreenRect& b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

}  // namespace

TEST(ScreenRect, Intersection)
{
    struct Case {
        ScreenRect a, b, want;
    };
    const Case cases[] = {
        {{0, 0, 100, 100}, {50, 50, 100, 100}, {50, 50, 50, 50}},
        {{0, 0, 100, 100}, {100, 0, 100, 100}, {0, 0, 0, 0}},     // touching edges don't meet
        {{0, 0, 100, 100}, {10, 10, 5, 5}, {10, 10, 5, 5}},       // contained
        {{-50, -50, 100, 100}, {0, 0, 10, 10}, {0, 0, 10, 10}},
        {{0, 0, 0, 100}, {0, 0, 100, 100}, {0, 0, 0, 0}},         // empty input
        {{0, 0, -5, 100}, {-10, 0, 100, 100}, {0, 0, 0, 0}},      // negative size is empty
        {{INT_MAX - 10, 0, INT_MAX, 10}, {INT_MAX - 5, 0, 100, 10}, {INT_MAX - 5, 0, 100, 10}},
    };
    for (const Case& c : cases) {
        ScreenRect got = IntersectRects(c.a, c.b);
        EXPECT_TRUE(Same(got, c.want) || (IsEmptyRect(got) && IsEmptyRect(c.want)))
            << got.x << "," << got.y << " " << got.width << "x" << got.height;
    }
}

TEST(ScreenList, MainScreenAndScreenForFrame)
{
    // Two side-by-side screens, the right one primary: listed first.
    ScreenList two = MakeVirtualScreens({{0, 0, 800, 600}, {800, 0, 1024, 768}}, 1);
    ASSERT_EQ(two.screens.size(), 2u);
    EXPECT_EQ(two.screens[0].number, 1);
    EXPECT_TRUE(two.screens[0].primary);
    EXPECT_EQ(two.MainScreen()->number, 1);
    EXPECT_EQ(two.FindNumber(0)->frame.width, 800);
    EXPECT_EQ(two.FindNumber(7), nullptr);

    struct Case {
        const char* name;
        ScreenRect frame;
        int want;  // screen number, -1 = none
    };
    const Case cases[] = {
        {"on the left screen", {10, 10, 100, 100}, 0},
        {"on the right screen", {900, 100, 100, 100}, 1},
        {"straddling: first in list order", {700, 0, 200, 100}, 1},
        {"below both", {0, 2000, 100, 100}, -1},
        {"empty frame", {10, 10, 0, 0}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScreenInfo* s = two.FirstMeeting(c.frame);
        EXPECT_EQ(s ? s->number : -1, c.want);
    }

    ScreenList nonePrimary = MakeVirtualScreens({{0, 0, 10, 10}, {10, 0, 10, 10}}, -1);
    EXPECT_EQ(nonePrimary.MainScreen()->number, 0);
    EXPECT_EQ(ScreenList{}.MainScreen(), nullptr);
}

TEST(ScreenGrab, HeadlessImageIsStoredBottomRowFirst)
{
    const uint8_t topFirst[2 * 3 * 4] = {
        1, 1, 1, 255, 2, 2, 2, 255,      // top row
        3, 3, 3, 255, 4, 4, 4, 255,
        5, 5, 5, 255, 6, 6, 6, 255,      // bottom row
    };
    ScreenGrab g;
    ASSERT_TRUE(MakeGrabFromTopFirst(2, 3, topFirst, &g));
    EXPECT_EQ(g.width, 2);
    EXPECT_EQ(g.height, 3);
    ASSERT_EQ(g.rgba.size(), 24u);
    EXPECT_EQ(g.rgba[0], 5);
    EXPECT_EQ(g.rgba[4], 6);
    EXPECT_EQ(g.rgba[16], 1);

    ScreenGrab untouched;
    untouched.width = 9;
    EXPECT_FALSE(MakeGrabFromTopFirst(0, 3, topFirst, &untouched));
    EXPECT_FALSE(MakeGrabFromTopFirst(2, -1, topFirst, &untouched));
    EXPECT_FALSE(MakeGrabFromTopFirst(100000, 100000, topFirst, &untouched));
    EXPECT_FALSE(MakeGrabFromTopFirst(2, 3, nullptr, &untouched));
    EXPECT_EQ(untouched.width, 9);
}
