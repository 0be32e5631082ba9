// The view's logic without a GL context: the frame loop's timing under an
// injected clock, main-screen-only, picture-source fallback, the seed, the
// resource path and the desktop-picture look-up, the grab's arithmetic, and
// the cycle watch. GL calls made without a current context do nothing
// (libglvnd), so the view runs here with a surface that only counts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/SSMAIN.h"
#include "host/CycleWatch.h"
#include "host/DesktopCapture.h"
#include "host/Preferences.h"
#include "host/ZarnetView.h"
#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/gl_surface.h"
#include "platform/preference_store.h"
#include "platform/screen_saver_platform.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/scratch_dir.h"

namespace {

class CountingSurface final : public GLSurface {
public:
    bool makeCurrentContext() override
    {
        ++currents;
        return true;
    }
    void flushBuffer() override { prepareFlush(); }
    void setFrameSize(int w, int h) override
    {
        width_ = w;
        height_ = h;
    }
    int width() const override { return width_; }
    int height() const override { return height_; }

    int currents = 0;
    int width_ = 0;
    int height_ = 0;
};

class FakeWindow final : public ScreenSaverWindow {
public:
    explicit FakeWindow(int number) : number_(number) {}
    int screenNumber() override { return number_; }
    GLSurface* createGLSurface(const GLPixelFormat&) override
    {
        surface = new CountingSurface();
        return surface;
    }
    CountingSurface* surface = nullptr;  // owned by the view

private:
    int number_;
};

// Two screens side by side, the right one (number 7) main; grabs fail
// unless told otherwise; the data files are missing, so the engine's Setup
// fails before any drawing.
class FakePlatform final : public ScreenSaverPlatform {
public:
    FakePlatform()
    {
        list.screens.push_back(ScreenInfo{ScreenRect{640, 0, 640, 480}, 7, true, "right"});
        list.screens.push_back(ScreenInfo{ScreenRect{0, 0, 640, 480}, 3, false, "left"});
    }
    ScreenList screens() override { return list; }
    bool grabScreen(const ScreenInfo& screen, ScreenGrab*) override
    {
        grabbed.push_back(screen.number);
        return false;
    }
    DesktopBackground desktopBackground() override { return background; }
    Clock& clock() override { return time; }
    std::string resourcePath() override { return resources; }
    const char* preferenceDirectory() override { return prefs.c_str(); }

    ScreenList list;
    std::vector<int> grabbed;         // numbers of the screens grab was asked for
    DesktopBackground background;
    ManualClock time{0.0, 0.0};
    std::string resources;
    std::string prefs;
};

struct StoredSettings {
    int bgType = 2;
    bool mainMonitorOnly = false;
    const char* version = "1.0.1";
};

void WriteStore(const std::string& dir, const StoredSettings& s)
{
    PreferenceStore store(kPrefsModule, dir.c_str());
    store.setObject(s.version, "version");
    store.setBool(s.mainMonitorOnly, "MainMonitorOnly");
    store.setBool(true, "LockInPlace");
    store.setInteger(10, "PuzzleWidth");
    store.setInteger(75, "Percentage");
    store.setInteger(s.bgType, "BGType");
    store.setObject("/nowhere/", "BGPath");
    store.setInteger(1, "BGRes");
    ASSERT_TRUE(store.synchronize());
}

struct Fixture {
    ScratchDir dir;
    FakePlatform platform;
    FakeWindow window;
    ZarnetView view;

    explicit Fixture(int screenNumber = 7, StoredSettings settings = {})
        : window(screenNumber), view(&platform, &window)
    {
        platform.resources = dir.Join("no-data-here");
        platform.prefs = dir.Path();
        WriteStore(dir.Path(), settings);
    }
    // The host's calls up to the first tick.
    void Start(bool preview = false)
    {
        ASSERT_TRUE(view.initWithFrame(ScreenRect{640, 0, 320, 200}, preview));
        view.setFrameSize(ViewSize{320, 200});
        view.startAnimation();
    }
    // One tick at monotonic time `t`; true when it drew a frame.
    bool TickAt(double t)
    {
        platform.time.SetMonotonic(t);
        const long long before = window.surface->flushCount();
        view.animateOneFrame();
        return window.surface->flushCount() != before;
    }
};

TEST(ZarnetViewFrameLoop, StepsAboveTwoSecondsResetAndStepsOfAtMostOneSixtiethWait)
{
    // Times are binary fractions so that the differences are exact.
    struct Step {
        double at;        // monotonic time of the tick
        bool draws;       // a frame is flushed
        double dt;        // the step the engine gets when it draws
    };
    const Step steps[] = {
        {0.0, false, 0},          // builds the engine (its Setup fails: animtime stays 0), dt 0 waits
        {1.0 / 60.0, false, 0},   // exactly 1/60: waits
        {0.03125, true, 0.03125}, // 1/32 since the reset at 0: draws
        {0.0390625, false, 0},    // 1/128 later: waits, animtime unchanged
        {0.046875, false, 0},     // 1/64 accumulated: still at most 1/60
        {0.0625, true, 0.03125},  // 1/32 accumulated: draws with it
        {2.0625, true, 2.0},      // exactly 2 s: drawn as one step
        {4.5625, false, 0},       // 2.5 s: resets the clock, draws nothing
        {4.59375, true, 0.03125}, // 1/32 after the reset
    };
    Fixture f;
    f.Start();
    ASSERT_NE(f.window.surface, nullptr);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.at);
        EXPECT_EQ(f.TickAt(s.at), s.draws);
        ASSERT_NE(f.view.ssMain, nullptr);
        if (s.draws) {
            EXPECT_EQ(f.view.ssMain->frameTime, s.dt);
        }
    }
    EXPECT_TRUE(f.view.initialized);
}

TEST(ZarnetViewFrameLoop, FailedSetupLeavesTheClockForTheFirstTickToReset)
{
    Fixture f;
    f.Start();
    // A failed Setup never sets animtime, so 5 s into the clock the first
    // tick finds more than 2 s passed: it resets and draws nothing.
    EXPECT_FALSE(f.TickAt(5.0));
    EXPECT_EQ(f.view.animtime, 5.0);
    EXPECT_TRUE(f.TickAt(5.03125));
    EXPECT_EQ(f.view.ssMain->frameTime, 0.03125);
}

TEST(ZarnetViewFrameLoop, SizeChangesRedoTheGLSetUpButNotTheEngine)
{
    Fixture f;
    f.Start();
    f.TickAt(0.0);
    SSMAIN* engine = f.view.ssMain;
    EXPECT_TRUE(f.view.glReady);
    f.view.setFrameSize(ViewSize{200, 100});
    EXPECT_FALSE(f.view.glReady);
    EXPECT_EQ(f.window.surface->width(), 200);
    f.TickAt(0.03125);
    EXPECT_TRUE(f.view.glReady);
    EXPECT_EQ(f.view.Scrn.width, 200);
    EXPECT_EQ(f.view.Scrn.height, 100);
    EXPECT_EQ(f.view.ssMain, engine);
    EXPECT_EQ(engine->screenWidth, 200);
    EXPECT_EQ(engine->screenHeight, 100);
}

TEST(ZarnetViewScreens, MainScreenOnlyLeavesOtherScreensBlackWithoutAnEngine)
{
    struct Case {
        int screen;             // the window's screen
        bool mainOnly;          // MainMonitorOnly
        bool preview;
        bool animates;          // after the first tick
    };
    const Case cases[] = {
        {7, true, false, true},   // the main screen
        {3, true, false, false},  // the other screen
        {3, true, true, false},   // a preview there behaves the same
        {3, false, false, true},  // every screen animates without the setting
        {-1, true, false, false}, // a window on no screen isn't on the main one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.screen);
        StoredSettings s;
        s.mainMonitorOnly = c.mainOnly;
        Fixture f(c.screen, s);
        f.Start(c.preview);
        EXPECT_EQ(f.view.MainMonitorOnly, c.mainOnly);
        EXPECT_EQ(f.window.surface->flushCount(), 1);  // startAnimation showed black
        f.TickAt(0.0);
        f.TickAt(0.03125);
        EXPECT_EQ(f.view.ThisScreenIsOn, c.animates);
        EXPECT_EQ(f.view.isAnimating(), c.animates);
        EXPECT_EQ(f.view.ssMain != nullptr, c.animates);
    }
}

TEST(ZarnetViewSettings, PictureSourceFallsBackWhileTheStoreKeepsIt)
{
    struct Case {
        int stored;      // "BGType" in the store
        bool grabs;      // the view asks for a grab
        int used;        // BGTYPE in memory afterwards
    };
    const Case cases[] = {
        {0, true, 1},    // the grab fails: the desktop picture file
        {5, true, 1},    // out of range: source 0, then the same fallback
        {-1, true, 1},   // negative: likewise
        {1, false, 1},
        {2, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        StoredSettings s;
        s.bgType = c.stored;
        Fixture f(7, s);
        f.Start();
        EXPECT_EQ(!f.platform.grabbed.empty(), c.grabs);
        EXPECT_EQ(f.view.mySettings.BGTYPE, c.used);
        EXPECT_EQ(f.view.DeskTex.texID, 0u);
        PreferenceStore store(kPrefsModule, f.dir.Path().c_str());
        EXPECT_EQ(store.integerForKey("BGType"), c.stored);
    }
}

TEST(ZarnetViewSettings, FirstRunWritesTheDefaultsAndGrabsTheScreenUnderTheFrame)
{
    StoredSettings s;
    s.version = "0.9";
    Fixture f(3, s);
    ASSERT_TRUE(f.view.initWithFrame(ScreenRect{100, 50, 320, 200}, false));
    EXPECT_EQ(f.view.mySettings.PUZZLEWIDTH, 25);
    EXPECT_EQ(f.view.mySettings.BGRES, 1);
    ASSERT_EQ(f.platform.grabbed.size(), 1u);
    EXPECT_EQ(f.platform.grabbed[0], 3);  // the left screen holds the frame
    EXPECT_EQ(f.view.animationTimeInterval(), 1.0 / 60.0);
}

TEST(ZarnetViewSetup, SeedIsTheWallClockInWholeSecondsClamped)
{
    struct Case {
        double wall;
        unsigned seed;
    };
    const Case cases[] = {{12345.9, 12345u}, {-50.0, 0u}, {1e12, 4294967295u}, {0.5, 0u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wall);
        Fixture f;
        f.Start();
        f.platform.time.SetWall(c.wall);
        f.TickAt(0.0);
        const int drawn = rand();
        srand(c.seed);
        EXPECT_EQ(drawn, rand());
    }
}

TEST(ZarnetViewSetup, DeallocIsSafeOnAnUnusedViewAndTwice)
{
    Fixture f;
    f.view.dealloc();
    f.Start();
    f.TickAt(0.0);
    EXPECT_NE(f.view.ssMain, nullptr);
    f.view.dealloc();
    EXPECT_EQ(f.view.ssMain, nullptr);
    f.view.dealloc();
    EXPECT_TRUE(f.view.hasConfigureSheet());
    EXPECT_FALSE(ZarnetView::performGammaFade());

    FakePlatform platform;
    ZarnetView orphan(&platform, nullptr);  // the base class refuses a view without a window
    EXPECT_FALSE(orphan.initWithFrame(ScreenRect{0, 0, 10, 10}, false));
}

TEST(ZarnetViewPaths, ResourcePathGetsExactlyOneTrailingSlash)
{
    const std::string long1023(1023, 'a');
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"/usr/share/zarnet", "/usr/share/zarnet/"},
        {"/usr/share/zarnet/", "/usr/share/zarnet/"},
        {"/", "/"},
        {"", "/"},
        {long1023, long1023},  // no room left for the slash
        {long1023 + "bb", long1023},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.size());
        char out[1024];
        std::memset(out, 'x', sizeof out);
        ZarnetView::MakeResourcePath(c.in, out);
        EXPECT_EQ(std::string(out), c.out);
    }
}

TEST(ZarnetViewPaths, DataFilesOfTheBuildTreeOrOfTheInstallation)
{
    ScratchDir dir;
    const std::string root = dir.Path();
    for (const char* folder : {"/build", "/build/resources", "/build/apps", "/usr", "/usr/share", "/usr/share/zarnet",
                               "/other", "/other/resources"})
        ASSERT_EQ(mkdir((root + folder).c_str(), 0755), 0);
    ASSERT_TRUE(WriteWholeFile(root + "/build/resources/zar.vnt", "x"));
    ASSERT_TRUE(WriteWholeFile(root + "/usr/share/zarnet/zar.vnt", "x"));
    const std::string build = root + "/build/resources/", installed = "/fixed/share/zarnet/";
    struct Case {
        std::string exe;
        std::string buildResources;
        std::string expected;
    };
    const Case cases[] = {
        {root + "/build/apps/zarnet", build, build},
        {root + "/build/tests/test_host", root + "/build/resources", build},   // the slash is added
        {root + "/usr/bin/zarnet", build, root + "/usr/share/zarnet/"},  // installed beside the build tree
        {root + "/usr/libexec/xscreensaver/zarnet", build, root + "/usr/share/zarnet/"},
        {root + "/build/apps/zarnet", root + "/other/resources/", installed},    // no data in that build tree
        {"/somewhere/else/zarnet", build, installed},
        {"", build, installed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exe);
        EXPECT_EQ(ChooseResourcePath(c.exe, c.buildResources, "/fixed/share/zarnet"), c.expected);
    }
}

TEST(ZarnetViewPaths, DesktopPictureOfTheScreenThenDefaultThenTheBundledPicture)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> entries;
        std::string expected;  // "" = the bundled picture
    };
    const Case cases[] = {
        {{{"3", "/pics/left.jpg"}, {"default", "/pics/all.jpg"}}, "/pics/left.jpg"},
        {{{"7", "/pics/right.jpg"}, {"default", "/pics/all.jpg"}}, "/pics/all.jpg"},
        {{{"7", "/pics/right.jpg"}}, ""},
        {{{"3", "/a.b"}}, ""},  // shorter than 5 characters
        {{}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        Fixture f(3);
        f.platform.resources = "/data/zarnet";
        for (const auto& e : c.entries)
            f.platform.background.imageFilePath[e.first] = e.second;
        f.Start();
        char path[1024];
        f.view.desktopPicturePath(path);
        EXPECT_EQ(std::string(path), c.expected.empty() ? "/data/zarnet/zarnet-default.png" : c.expected);
    }
}

TEST(DesktopCapture, ScreenChoiceFollowsTheListOrder)
{
    FakePlatform p;  // right (7, main) listed first, then left (3)
    struct Case {
        ScreenRect frame;
        int number;
    };
    const Case cases[] = {
        {{700, 10, 100, 100}, 7},   // on the right screen
        {{10, 10, 100, 100}, 3},    // on the second screen of the list
        {{600, 10, 100, 100}, 7},   // straddles: the first in the list that it meets
        {{5000, 0, 100, 100}, 7},   // meets none: the main screen
        {{10, 10, 0, 0}, 7},        // an empty frame meets none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame.x);
        EXPECT_EQ(ScreenNumberForFrame(p.list, c.frame), c.number);
    }
    EXPECT_EQ(ScreenNumberForFrame(ScreenList{}, ScreenRect{0, 0, 10, 10}), -1);
}

TEST(DesktopCapture, TextureSizeIsTheNearestPowerOfTwoWithinTheDetailLimit)
{
    struct Case {
        int width, height, detail, maxTexture;
        int texWidth, texHeight;
    };
    const Case cases[] = {
        {1440, 900, 1, 16384, 1024, 1024},
        {1440, 900, 2, 16384, 1024, 1024},
        {1440, 900, 0, 16384, 512, 512},
        {1920, 1200, 2, 2048, 2048, 1024},
        {1920, 1200, 2, 1024, 1024, 1024},
        {1920, 1200, 7, 4096, 2048, 1024},   // any other detail: the GL maximum
        {1920, 1200, -1, 4096, 2048, 1024},
        {640, 480, 1, 16384, 512, 512},      // 480 is nearer 512 than 256 on a log scale
        {362, 361, 2, 16384, 256, 256},      // 2^8.5 = 362.04: 362 rounds down
        {363, 1, 2, 16384, 512, 1},
        {1, 0, 2, 16384, 1, 1},              // no side below 1
        {2147483647, 5, 2, 2147483647, 1 << 30, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " detail " << c.detail);
        const int limit = GrabSizeLimit(c.detail, c.maxTexture);
        EXPECT_EQ(GrabTextureSide(c.width, limit), c.texWidth);
        EXPECT_EQ(GrabTextureSide(c.height, limit), c.texHeight);
    }
}

TEST(DesktopCapture, AllBlackLooksAtColourNotAlpha)
{
    std::vector<uint8_t> pixels(64 * 4, 0);
    for (size_t i = 3; i < pixels.size(); i += 4)
        pixels[i] = 255;
    EXPECT_TRUE(GrabIsAllBlack(pixels.data(), 64));
    EXPECT_TRUE(GrabIsAllBlack(pixels.data(), 0));
    for (int channel : {0, 1, 2}) {
        std::vector<uint8_t> one = pixels;
        one[63 * 4 + channel] = 1;  // the very last pixel
        EXPECT_FALSE(GrabIsAllBlack(one.data(), 64));
        EXPECT_TRUE(GrabIsAllBlack(one.data(), 63));
    }
}

// A puzzle of four free pieces whose countdown the test sets by hand.
struct WatchedEngine {
    SSMAIN engine;
    WatchedEngine()
    {
        engine.puzzle = new ONEPUZZLE();
        engine.puzzle->pieces = new ONEPIECE[4];
        engine.puzzle->pieceCount = 4;
        engine.puzzle->columns = 2;
        engine.puzzle->rows = 2;
    }
};

TEST(CycleWatch, ReportsTheCycleFromTheCountdown)
{
    WatchedEngine w;
    ONEPUZZLE& p = *w.engine.puzzle;
    CycleWatch watch;
    struct Step {
        float timer;
        bool request;
        const char* event;  // the event expected in this frame, or null
    };
    const Step steps[] = {
        {1.0f, false, "new-board"}, {0.5f, false, nullptr},  {-0.1f, false, "blow-apart"},
        {-14.9f, false, nullptr},   {21.0f, false, "assembling"}, {21.0f, false, nullptr},
        {20.9f, false, "countdown"}, {2.1f, false, nullptr}, {1.9f, true, "new-picture"},
        {0.1f, true, nullptr},      {-0.1f, false, "blow-apart"},
    };
    double t = 0.0;
    for (const Step& s : steps) {
        SCOPED_TRACE(t);
        p.restartTimer = s.timer;
        p.newPicture = s.request;
        std::string all;
        watch.Observe(w.engine, t, 0, 1.0, &all);
        t += 0.1;
        std::string out;  // the events other than the once-a-second status
        for (size_t start = 0, end; start < all.size(); start = end + 1) {
            end = all.find('\n', start);
            const std::string line = all.substr(start, end - start);
            if (line.find("\"status\"") == std::string::npos)
                out += line + "\n";
        }
        if (s.event) {
            EXPECT_NE(out.find(std::string("\"event\":\"") + s.event + "\""), std::string::npos) << out;
        } else {
            EXPECT_EQ(out.find("\"event\""), std::string::npos) << out;
        }
    }
    EXPECT_EQ(watch.boards(), 1);
    EXPECT_EQ(watch.blowAparts(), 2);
    EXPECT_EQ(watch.countdowns(), 1);
    EXPECT_TRUE(watch.completedCycle());
}

TEST(CycleWatch, AnsweredPictureRequestIsANewBoardAndStatusComesOnceASecond)
{
    WatchedEngine w;
    ONEPUZZLE& p = *w.engine.puzzle;
    CycleWatch watch;
    std::string out;
    p.restartTimer = 2.1f;
    watch.Observe(w.engine, 0.5, 1, 1.0, &out);
    p.restartTimer = 1.9f;
    p.newPicture = true;
    watch.Observe(w.engine, 0.7, 2, 1.0, &out);
    p.restartTimer = 1.8f;
    p.newPicture = false;  // NewPuzzle answered it
    out.clear();
    watch.Observe(w.engine, 0.9, 3, 1.0, &out);
    EXPECT_NE(out.find("\"new-board\""), std::string::npos) << out;
    EXPECT_EQ(watch.boards(), 2);
    out.clear();
    watch.Observe(w.engine, 1.0, 4, 3.0, &out);
    EXPECT_NE(out.find("\"status\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"frameMs\":1.50"), std::string::npos) << out;  // mean of 1, 1, 1, 3
    out.clear();
    watch.Observe(w.engine, 1.5, 5, 1.0, &out);
    EXPECT_EQ(out.find("\"status\""), std::string::npos) << out;
    EXPECT_DOUBLE_EQ(LargestGroupShare(w.engine), 0.25);
    p.pieces[1].parent = &p.pieces[0];
    p.pieces[2].parent = &p.pieces[1];
    EXPECT_DOUBLE_EQ(LargestGroupShare(w.engine), 0.75);
}

}  // namespace
