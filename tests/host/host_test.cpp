// The host's logic without GL: the resource path, the screen and texture size of the desktop grab, and the
// host driver's order of the view contract's calls. (The settings: settings_bounds_test.cpp.)
#include "host/DesktopCapture.h"
#include "host/HostDriver.h"
#include "host/ZarnetView.h"
#include "platform/headless_backend.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

TEST(ZarnetViewPaths, ResourcePathGetsExactlyOneTrailingSlash)
{
    const std::string long1023(1023, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/share/zarnet", "/usr/share/zarnet/"},
        {"/usr/share/zarnet/", "/usr/share/zarnet/"},
        {"", "/"},
        {long1023, long1023},  // no room left for the slash
        {long1023 + "bb", long1023},
    };
    for (const auto& [in, out] : cases) {
        char made[1024];
        std::memset(made, 'x', sizeof made);
        ZarnetView::MakeResourcePath(in, made);
        EXPECT_EQ(std::string(made), out) << in.size();
    }
}

TEST(DesktopCapture, ScreenChoiceFollowsTheListOrder)
{
    // Right (number 1, main) listed first, then left (0).
    const ScreenList two = MakeVirtualScreens({{0, 0, 640, 480}, {640, 0, 640, 480}}, 1);
    const std::pair<ScreenRect, int> cases[] = {
        {{700, 10, 100, 100}, 1},  // on the main screen
        {{10, 10, 100, 100}, 0},   // on the second screen of the list
        {{600, 10, 100, 100}, 1},  // straddles: the first in the list that it meets
        {{5000, 0, 100, 100}, 1},  // meets none: the main screen
        {{10, 10, 0, 0}, 1},       // an empty frame meets none
    };
    for (const auto& [frame, number] : cases)
        EXPECT_EQ(ScreenNumberForFrame(two, frame), number) << frame.x;
}

TEST(DesktopCapture, TextureSideIsTheNearestPowerOfTwoWithinTheDetailLimit)
{
    const struct {
        int side, detail, maxTexture, texSide;
    } cases[] = {
        {1440, 1, 16384, 1024},
        {1440, 0, 16384, 512},
        {1920, 2, 2048, 2048},
        {1920, 2, 1024, 1024},
        {1920, 7, 4096, 2048},  // any other detail: the GL maximum
        {480, 1, 16384, 512},   // 480 is nearer 512 than 256 on a log scale
        {362, 2, 16384, 256},   // 2^8.5 = 362.04: 362 rounds down
        {363, 2, 16384, 512},
        {0, 2, 16384, 1},  // no side below 1
        {2147483647, 2, 2147483647, 1 << 30},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GrabTextureSide(c.side, GrabSizeLimit(c.detail, c.maxTexture)), c.texSide)
            << c.side << " detail " << c.detail;
}

// A view that writes each call of the contract into a shared log.
class LoggingView : public ScreenSaverView {
public:
    LoggingView(const SaverBackend* backend, const SaverWindow* window, char name, std::string* log)
        : ScreenSaverView(backend, window), name_(name), log_(log)
    {
        setAnimationTimeInterval(0.1);
    }
    ~LoggingView() override { Note("dealloc"); }
    bool initWithFrame(ScreenRect frame, bool isPreview) override
    {
        Note("init");
        return ScreenSaverView::initWithFrame(frame, isPreview);
    }
    void setFrameSize(ViewSize size) override
    {
        Note("size" + std::to_string(size.width) + "x" + std::to_string(size.height));
        ScreenSaverView::setFrameSize(size);
    }
    void startAnimation() override
    {
        Note("start");
        ScreenSaverView::startAnimation();
    }
    void stopAnimation() override
    {
        Note("stop");
        ScreenSaverView::stopAnimation();
    }
    void animateOneFrame() override { Note("frame"); }

private:
    void Note(const std::string& call) { *log_ += std::string(1, name_) + ":" + call + " "; }
    char name_;
    std::string* log_;
};

TEST(HostDriver, KeepsTheContractsOrderForEveryView)
{
    HeadlessDesktop desktop;
    const SaverBackend backend = ConnectHeadless(&desktop);
    const SaverWindow window;
    std::string log;
    {
        HostDriver driver;
        auto* a = driver.Add(std::make_unique<LoggingView>(&backend, &window, 'a', &log), {0, 0, 64, 48}, false);
        auto* b = driver.Add(std::make_unique<LoggingView>(&backend, &window, 'b', &log), {64, 0, 32, 24}, false);
        // A view without a window refuses its frame and is gone at once.
        EXPECT_EQ(driver.Add(std::make_unique<LoggingView>(&backend, nullptr, 'c', &log), {0, 0, 8, 8}, false),
                  nullptr);
        ASSERT_TRUE(a && b);
        driver.Resize(a, {64, 48});
        driver.Resize(a, {64, 48});  // unchanged: not handed on
        driver.Start();              // b was never sized: its frame's size first
        EXPECT_EQ(log, "a:init b:init c:init c:dealloc a:size64x48 a:start b:size32x24 b:start ");
        log.clear();

        // Paced ticks: one at once, the next a full interval after it.
        EXPECT_TRUE(driver.Tick(10.0));
        EXPECT_FALSE(driver.Tick(10.05));
        EXPECT_NEAR(driver.Wait(10.05), 0.05, 1e-9);
        EXPECT_TRUE(driver.Tick(10.1));
        EXPECT_EQ(log, "a:frame b:frame a:frame b:frame ");
        log.clear();

        b->stopAnimation();  // a view that stopped itself is skipped
        driver.Draw();
        EXPECT_TRUE(driver.animating());
        log.clear();
    }
    // Going out of scope: every timer stops before any view is released.
    EXPECT_EQ(log, "a:stop b:stop a:dealloc b:dealloc ");
}

}  // namespace
