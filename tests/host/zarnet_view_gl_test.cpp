// The view on headless surfaces: the frame loop's timing under an injected
// clock, main-screen-only, the desktop grab's fallback and sizes. (The first
// frame of the desktop picture: zarnet_record_gl_test.cpp.)
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/SSMAIN.h"
#include "host/Preferences.h"
#include "host/ZarnetView.h"
#include "platform/headless_backend.h"
#include "platform/preference_store.h"
#include "tests/support/engine_view.h"
#include "tests/support/scratch_dir.h"

namespace {

// A view of 240x150 on screen `screen` of two 1440x900 screens side by side,
// the right one (number 1) main, with `settings` stored under the current
// version. The data files are missing unless set, so the engine's Setup fails.
struct View {
    ScratchDir dir;
    static constexpr int w = 240, h = 150;
    HeadlessDesktop desktop;
    const SaverBackend backend = ConnectHeadless(&desktop);
    SaverWindow window;
    ZarnetView view{&backend, &window};

    View(int screen, const SETTINGS& settings, bool mainOnly = false)
    {
        window.screen = screen;
        window.size = {w, h};
        desktop.screens = MakeVirtualScreens({{0, 0, 1440, 900}, {1440, 0, 1440, 900}}, 1);
        desktop.preferenceFolder = dir.Path();
        desktop.resourcePath = dir.Join("no-data-here");
        PreferenceStore store(kPrefsModule, dir.Path().c_str());
        store.setObject(kPrefsVersion, "version");
        EXPECT_TRUE(WriteSettings(store, settings, mainOnly));
    }
    // The host's calls up to the first tick, for a view on the main screen.
    bool Start(bool preview = false)
    {
        if (!view.initWithFrame(ScreenRect{1440, 0, w, h}, preview) || !view.glView)
            return false;
        view.setFrameSize(ViewSize{w, h});
        view.startAnimation();
        return true;
    }
    // One tick at monotonic time `t`; true when it drew a frame.
    bool TickAt(double t)
    {
        desktop.monotonic = t;
        const long long before = view.glView->flushCount;
        view.animateOneFrame();
        return view.glView->flushCount != before;
    }
};

TEST(ZarnetViewFrameLoop, StepsAboveTwoSecondsResetAndStepsOfAtMostOneSixtiethWait)
{
    // Monotonic time of the tick (binary fractions keep differences exact),
    // whether it draws, and the step the engine gets then.
    const struct {
        double at;
        bool draws;
        double dt;
    } steps[] = {
        {0.0, false, 0},           // builds the engine; its failed Setup leaves animtime 0: dt 0 waits
        {1.0 / 60.0, false, 0},    // exactly 1/60: waits
        {0.03125, true, 0.03125},  // 1/32 since 0: draws
        {0.0390625, false, 0},     // 1/128 later: waits, animtime unchanged
        {0.046875, false, 0},      // 1/64 accumulated: still at most 1/60
        {0.0625, true, 0.03125},   // 1/32 accumulated: draws with it
        {2.0625, true, 2.0},       // exactly 2 s: drawn as one step
        {4.5625, false, 0},        // 2.5 s: resets the clock, draws nothing
        {4.59375, true, 0.03125},  // 1/32 after the reset
    };
    View v(1, EngineTestSettings(2, 10));
    ASSERT_TRUE(v.Start()) << "no headless GL";
    for (const auto& s : steps) {
        EXPECT_EQ(v.TickAt(s.at), s.draws) << s.at;
        ASSERT_NE(v.view.ssMain, nullptr);
        EXPECT_EQ(s.draws ? v.view.ssMain->frameTime : 0.0, s.dt) << s.at;
    }
    v.desktop.wall = -3600.0;  // the wall clock steps back an hour: no stall
    EXPECT_TRUE(v.TickAt(4.625));
}

TEST(ZarnetViewScreens, MainScreenOnlyLeavesOtherScreensWithoutAnEngine)
{
    // The window's screen, MainMonitorOnly, preview, and whether it animates.
    const struct {
        int screen;
        bool mainOnly, preview, animates;
    } cases[] = {
        {1, true, false, true},    // the main screen
        {0, true, false, false},   // the other screen
        {0, false, false, true},   // every screen animates without the setting
        {-1, true, false, false},  // a window on no screen isn't on the main one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.screen);
        View v(c.screen, EngineTestSettings(2, 10), c.mainOnly);
        ASSERT_TRUE(v.Start(c.preview)) << "no headless GL";
        EXPECT_EQ(v.view.glView->flushCount, 1);  // startAnimation showed black
        v.TickAt(0.0);
        EXPECT_EQ(v.view.isAnimating(), c.animates);
        EXPECT_EQ(v.view.ssMain != nullptr, c.animates);
    }
}

TEST(ZarnetViewGrab, TextureSizePerDetailElseTheDesktopPictureWhenAllBlack)
{
    // Green of one pixel of a black 2x2 desktop (-1: the grab fails), BGRes,
    // preview, and the side of the grab's texture (0: none, source 1 is used).
    const struct {
        int pixel, bgRes;
        bool preview;
        int side;
    } cases[] = {
        {9, 1, false, 1024},
        {9, 2, true, 512},  // a preview grabs at detail 0
        {0, 1, false, 0},
        {-1, 1, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pixel << " " << c.bgRes << " " << c.preview);
        View v(1, [&] {
            SETTINGS s = EngineTestSettings(0, 10);
            s.BGRES = c.bgRes;
            return s;
        }());
        if (c.pixel >= 0)  // the first pixel's alpha is 0: alpha doesn't count
            SetDesktopImage(&v.desktop, 2, 2, {0, 0, 0, 0, 0, uint8_t(c.pixel), 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});
        ASSERT_TRUE(v.Start(c.preview)) << "no headless GL";
        EXPECT_EQ(v.view.mySettings.BGTYPE, c.side ? 0 : 1);
        EXPECT_EQ(PreferenceStore(kPrefsModule, v.dir.Path().c_str()).integerForKey("BGType"), 0);
        GLint width = 0, height = 0;  // texture 0 has no image: 0 x 0
        glBindTexture(GL_TEXTURE_2D, v.view.DeskTex.texID);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(c.side, c.side));
    }
}

}  // namespace
