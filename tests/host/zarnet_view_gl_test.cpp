// The view with a real headless context: the desktop grab into a texture
// (screen choice, size limits, the all-black rule), the first frames of the
// engine for the grab and the desktop picture, and two views in one process
// with main-screen-only.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/SSMAIN.h"
#include "host/Preferences.h"
#include "host/ZarnetView.h"
#include "platform/clock.h"
#include "platform/egl_surface.h"
#include "platform/null_saver_platform.h"
#include "platform/preference_store.h"
#include "platform/screen_saver_platform.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/engine_view.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

namespace {

struct Rgb8 {
    int r, g, b;
};

// Screens with an image each (a plain colour, or black with one lit pixel),
// grabs recorded; the data files of the build.
class ScreensPlatform final : public ScreenSaverPlatform {
public:
    ScreenList screens() override { return list; }
    bool grabScreen(const ScreenInfo& screen, ScreenGrab* grab) override
    {
        grabbed.push_back(screen.number);
        auto image = images.find(screen.number);
        if (image == images.end())
            return false;
        *grab = image->second;
        return true;
    }
    DesktopBackground desktopBackground() override { return background; }
    Clock& clock() override { return time; }
    std::string resourcePath() override { return ZARNET_BUILD_RESOURCES; }
    const char* preferenceDirectory() override { return prefs.c_str(); }

    // Screen `number` at `frame` showing `colour` everywhere.
    void AddScreen(int number, ScreenRect frame, bool primary, Rgb8 colour)
    {
        list.screens.push_back(ScreenInfo{frame, number, primary, ""});
        ScreenGrab g;
        g.width = frame.width;
        g.height = frame.height;
        g.rgba.resize(static_cast<size_t>(frame.width) * frame.height * 4);
        for (size_t i = 0; i < g.rgba.size(); i += 4) {
            g.rgba[i] = static_cast<uint8_t>(colour.r);
            g.rgba[i + 1] = static_cast<uint8_t>(colour.g);
            g.rgba[i + 2] = static_cast<uint8_t>(colour.b);
            g.rgba[i + 3] = 255;
        }
        images[number] = g;
    }

    ScreenList list;
    std::map<int, ScreenGrab> images;   // what each screen shows, bottom row first
    std::vector<int> grabbed;
    DesktopBackground background;
    ManualClock time{1000.0, 0.0};
    std::string prefs;
};

void WriteStore(const std::string& dir, int bgType, int bgRes, bool mainOnly)
{
    PreferenceStore store(kPrefsModule, dir.c_str());
    store.setObject(kPrefsVersion, "version");
    store.setBool(mainOnly, "MainMonitorOnly");
    store.setBool(true, "LockInPlace");
    store.setInteger(6, "PuzzleWidth");
    store.setInteger(75, "Percentage");
    store.setInteger(bgType, "BGType");
    store.setObject("/nowhere/", "BGPath");
    store.setInteger(bgRes, "BGRes");
    ASSERT_TRUE(store.synchronize());
}

// A view on a headless surface of the given size.
struct HeadlessView {
    HeadlessViewWindow window;
    ZarnetView view;
    HeadlessView(ScreensPlatform* platform, int screen, int w, int h)
        : window(screen, w, h), view(platform, &window)
    {
    }
    EglSurface* surface() { return window.surface(); }
};

struct TextureSize {
    int width = 0, height = 0;
};

TextureSize SizeOf(unsigned texture)
{
    TextureSize s;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &s.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &s.height);
    return s;
}

Rgb8 TexelAt(unsigned texture, int x, int y)
{
    const TextureSize s = SizeOf(texture);
    std::vector<uint8_t> texels(static_cast<size_t>(s.width) * s.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    const uint8_t* p = &texels[(static_cast<size_t>(y) * s.width + x) * 4];
    return Rgb8{p[0], p[1], p[2]};
}

// Mean colour of a square of side 2r+1 around (x, y), y from the top.
Rgb8 MeanAround(const std::vector<uint8_t>& rgba, int width, int x, int y, int r)
{
    long sum[3] = {0, 0, 0}, n = 0;
    for (int yy = y - r; yy <= y + r; ++yy)
        for (int xx = x - r; xx <= x + r; ++xx) {
            const uint8_t* p = &rgba[(static_cast<size_t>(yy) * width + xx) * 4];
            for (int k = 0; k < 3; ++k)
                sum[k] += p[k];
            ++n;
        }
    return Rgb8{static_cast<int>(sum[0] / n), static_cast<int>(sum[1] / n), static_cast<int>(sum[2] / n)};
}

void ExpectNear(Rgb8 got, Rgb8 want, int tolerance)
{
    EXPECT_NEAR(got.r, want.r, tolerance);
    EXPECT_NEAR(got.g, want.g, tolerance);
    EXPECT_NEAR(got.b, want.b, tolerance);
}

TEST(ZarnetViewGrab, TextureSizePerDetailAndPreview)
{
    struct Case {
        int bgRes;
        bool preview;
        int texWidth, texHeight;
    };
    const Case cases[] = {
        {1, false, 1024, 1024},
        {0, false, 512, 512},
        {2, false, 1024, 1024},  // 1440 and 900 both round to 1024
        {2, true, 512, 512},     // the preview grabs at detail 0 whatever BGRes says
        {1, true, 512, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "BGRes " << c.bgRes << " preview " << c.preview);
        ScratchDir dir;
        ScreensPlatform platform;
        platform.prefs = dir.Path();
        platform.AddScreen(0, ScreenRect{0, 0, 1440, 900}, true, Rgb8{40, 90, 200});
        WriteStore(dir.Path(), 0, c.bgRes, false);
        HeadlessView v(&platform, 0, 64, 40);
        ASSERT_TRUE(v.view.initWithFrame(ScreenRect{0, 0, 64, 40}, c.preview));
        ASSERT_NE(v.surface(), nullptr) << "no headless GL";
        ASSERT_NE(v.view.DeskTex.texID, 0u);
        EXPECT_EQ(v.view.mySettings.BGTYPE, 0);
        const TextureSize s = SizeOf(v.view.DeskTex.texID);
        EXPECT_EQ(s.width, c.texWidth);
        EXPECT_EQ(s.height, c.texHeight);
        ExpectNear(TexelAt(v.view.DeskTex.texID, 5, 5), Rgb8{40, 90, 200}, 1);
    }
}

TEST(ZarnetViewGrab, AllBlackFallsBackOneLitPixelCounts)
{
    struct Case {
        bool lit;          // one pixel not black
        unsigned alpha;    // alpha of the black pixels
        bool texture;      // the grab became the texture
    };
    const Case cases[] = {{false, 255, false}, {false, 0, false}, {true, 255, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "lit " << c.lit << " alpha " << c.alpha);
        ScratchDir dir;
        ScreensPlatform platform;
        platform.prefs = dir.Path();
        platform.AddScreen(0, ScreenRect{0, 0, 64, 64}, true, Rgb8{0, 0, 0});
        ScreenGrab& g = platform.images[0];
        for (size_t i = 3; i < g.rgba.size(); i += 4)
            g.rgba[i] = static_cast<uint8_t>(c.alpha);
        if (c.lit)
            g.rgba[g.rgba.size() - 4 + 1] = 9;  // green in the top-right pixel
        WriteStore(dir.Path(), 0, 1, false);
        HeadlessView v(&platform, 0, 64, 64);
        ASSERT_TRUE(v.view.initWithFrame(ScreenRect{0, 0, 64, 64}, false));
        ASSERT_NE(v.surface(), nullptr) << "no headless GL";
        EXPECT_EQ(v.view.DeskTex.texID != 0, c.texture);
        EXPECT_EQ(v.view.mySettings.BGTYPE, c.texture ? 0 : 1);
        PreferenceStore store(kPrefsModule, dir.Path().c_str());
        EXPECT_EQ(store.integerForKey("BGType"), 0);  // the store keeps the grab
        if (c.texture) {
            EXPECT_EQ(TexelAt(v.view.DeskTex.texID, 63, 63).g, 9);
            EXPECT_EQ(TexelAt(v.view.DeskTex.texID, 0, 0).g, 0);
        } else {
            EXPECT_FALSE(glIsTexture(1));  // the name made for the grab is gone again
        }
    }
}

TEST(ZarnetViewGrab, GrabsTheScreenUnderTheFrame)
{
    struct Case {
        ScreenRect frame;
        int number;      // the screen grabbed
        Rgb8 colour;     // what that screen shows
    };
    const Case cases[] = {
        {{700, 100, 200, 150}, 2, {0, 200, 0}},    // on the second of two screens
        {{100, 100, 200, 150}, 1, {200, 0, 0}},    // on the first
        {{600, 100, 200, 150}, 1, {200, 0, 0}},    // straddling: the first that it meets
        {{3000, 3000, 200, 150}, 1, {200, 0, 0}},  // on none: the main screen
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame.x);
        ScratchDir dir;
        ScreensPlatform platform;
        platform.prefs = dir.Path();
        platform.AddScreen(1, ScreenRect{0, 0, 640, 480}, true, Rgb8{200, 0, 0});
        platform.AddScreen(2, ScreenRect{640, 0, 640, 480}, false, Rgb8{0, 200, 0});
        WriteStore(dir.Path(), 0, 1, false);
        HeadlessView v(&platform, c.number, 200, 150);
        ASSERT_TRUE(v.view.initWithFrame(c.frame, false));
        ASSERT_EQ(platform.grabbed.size(), 1u);
        EXPECT_EQ(platform.grabbed[0], c.number);
        ASSERT_NE(v.view.DeskTex.texID, 0u);
        ExpectNear(TexelAt(v.view.DeskTex.texID, 10, 10), c.colour, 1);
    }
}

// The host's calls up to the first drawn frame; returns its pixels (top first).
std::vector<uint8_t> FirstFrame(HeadlessView& v, ScreensPlatform& platform, int w, int h)
{
    v.view.setFrameSize(ViewSize{w, h});
    v.view.startAnimation();
    v.view.animateOneFrame();  // builds the engine; dt is measured from its end
    const long long flushed = v.surface()->flushCount();
    EXPECT_NE(v.view.ssMain, nullptr);
    EXPECT_EQ(v.view.animtime, 1000.0);
    platform.time.Advance(0.03125);
    v.view.animateOneFrame();
    EXPECT_EQ(v.surface()->flushCount(), flushed + 1);
    if (v.view.ssMain) {
        EXPECT_EQ(v.view.ssMain->frameTime, 0.03125);
    }
    return v.surface()->ReadPixels();
}

TEST(ZarnetViewFrames, FirstFrameShowsTheWholeDesktopPicture)
{
    // A picture of four coloured quarters as the desktop's wallpaper.
    ScratchDir dir;
    const int pw = 320, ph = 200;
    testpics::Bytes pixels(static_cast<size_t>(pw) * ph * 3);
    const Rgb8 quarters[4] = {{220, 30, 30}, {30, 200, 30}, {30, 30, 220}, {220, 200, 30}};
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) {
            const Rgb8 q = quarters[(y >= ph / 2) * 2 + (x >= pw / 2)];
            uint8_t* p = &pixels[(static_cast<size_t>(y) * pw + x) * 3];
            p[0] = static_cast<uint8_t>(q.r);
            p[1] = static_cast<uint8_t>(q.g);
            p[2] = static_cast<uint8_t>(q.b);
        }
    const std::string picture = dir.Join("wallpaper.png");
    ASSERT_TRUE(testpics::WriteFileBytes(picture, testpics::EncodePngRgb(pw, ph, pixels, 3)));

    ScreensPlatform platform;
    platform.prefs = dir.Path();
    platform.AddScreen(0, ScreenRect{0, 0, 640, 400}, true, Rgb8{0, 0, 0});
    platform.background.imageFilePath["default"] = picture;
    WriteStore(dir.Path(), 1, 0, false);
    const int w = 240, h = 150;
    HeadlessView v(&platform, 0, w, h);
    ASSERT_TRUE(v.view.initWithFrame(ScreenRect{0, 0, w, h}, false));
    ASSERT_NE(v.surface(), nullptr) << "no headless GL";
    const std::vector<uint8_t> frame = FirstFrame(v, platform, w, h);
    ASSERT_EQ(frame.size(), static_cast<size_t>(w) * h * 4);
    Frame saved;
    saved.width = w;
    saved.height = h;
    saved.rgba = frame;
    SaveFrame(saved, "view_first_frame_desktop_picture");
    EXPECT_EQ(v.view.mySettings.picWidth, pw);
    EXPECT_EQ(v.view.mySettings.picHeight, ph);
    // The board fills the middle of the view; each quarter shows its colour.
    // The pieces are lit, so compare which channel leads, not the values.
    const int qx[2] = {w / 2 - w / 6, w / 2 + w / 6}, qy[2] = {h / 2 - h / 6, h / 2 + h / 6};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const Rgb8 got = MeanAround(frame, w, qx[i % 2], qy[i / 2], 3);
        const Rgb8 want = quarters[i];
        EXPECT_GT(got.r + got.g + got.b, 150);
        EXPECT_EQ(got.r > got.b, want.r > want.b);
        EXPECT_EQ(got.g > got.b, want.g > want.b);
        EXPECT_EQ(got.r > got.g + 60, want.r > want.g + 60);
    }
}

TEST(ZarnetViewFrames, MainScreenOnlyTwoViewsInOneProcess)
{
    ScratchDir dir;
    ScreensPlatform platform;
    platform.prefs = dir.Path();
    platform.AddScreen(5, ScreenRect{0, 0, 320, 200}, false, Rgb8{250, 250, 250});
    platform.AddScreen(6, ScreenRect{320, 0, 320, 200}, true, Rgb8{250, 250, 250});
    WriteStore(dir.Path(), 0, 0, true);
    const int w = 160, h = 100;
    HeadlessView left(&platform, 5, w, h), right(&platform, 6, w, h);
    ASSERT_TRUE(left.view.initWithFrame(ScreenRect{0, 0, w, h}, false));
    ASSERT_TRUE(right.view.initWithFrame(ScreenRect{320, 0, w, h}, false));
    ASSERT_NE(left.surface(), nullptr) << "no headless GL";
    for (HeadlessView* v : {&left, &right}) {
        v->view.setFrameSize(ViewSize{w, h});
        v->view.startAnimation();
    }
    for (int tick = 0; tick < 3; ++tick) {
        for (HeadlessView* v : {&left, &right})
            if (v->view.isAnimating())
                v->view.animateOneFrame();
        platform.time.Advance(0.03125);
    }
    EXPECT_FALSE(left.view.isAnimating());
    EXPECT_EQ(left.view.ssMain, nullptr);
    EXPECT_NE(right.view.ssMain, nullptr);
    auto lit = [](const std::vector<uint8_t>& rgba) {
        size_t n = 0;
        for (size_t i = 0; i < rgba.size(); i += 4)
            n += rgba[i] + rgba[i + 1] + rgba[i + 2] > 60;
        return n;
    };
    EXPECT_EQ(lit(left.surface()->ReadPixels()), 0u);
    EXPECT_GT(lit(right.surface()->ReadPixels()), static_cast<size_t>(w * h / 2));
    // Releasing one view leaves the other drawing.
    left.view.dealloc();
    right.view.animateOneFrame();
    EXPECT_GT(lit(right.surface()->ReadPixels()), static_cast<size_t>(w * h / 2));
}

}  // namespace
