// The host's logic without GL: the texture size of the desktop grab, and the host driver's order of the view
// contract's calls.
#include "host/DesktopCapture.h"
#include "host/HostDriver.h"
#include "host/ZarnetView.h"
#include "platform/headless_backend.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

TEST(DesktopCapture, TextureSideIsTheNearestPowerOfTwoWithinTheDetailLimit)
{
    const struct {
        int side, detail, maxTexture, texSide;
    } cases[] = {
        {1440, 1, 16384, 1024}, {1440, 0, 16384, 512},
        {1920, 2, 1024, 1024},  {1920, 7, 4096, 2048},  // any other detail: the GL maximum
        {362, 2, 16384, 256},                           // 2^8.5 = 362.04: 362 rounds down
        {363, 2, 16384, 512},   {0, 2, 16384, 1},
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
