// The host driver keeps the view contract's order for several views.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/HostDriver.h"
#include "platform/null_saver_platform.h"

namespace {

// A view that writes each call of the contract into a shared log.
class LoggingView : public ScreenSaverView {
public:
    LoggingView(ScreenSaverPlatform* platform, ScreenSaverWindow* window, char name, std::string* log)
        : ScreenSaverView(platform, window), name_(name), log_(log)
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

}  // namespace

TEST(HostDriver, KeepsTheContractsOrderForEveryView)
{
    HeadlessSaverPlatform platform;
    HeadlessViewWindow window(0, 64, 48);
    std::string log;
    {
        HostDriver driver;
        auto* a = driver.Add(std::make_unique<LoggingView>(&platform, &window, 'a', &log), {0, 0, 64, 48}, false);
        auto* b = driver.Add(std::make_unique<LoggingView>(&platform, &window, 'b', &log), {64, 0, 32, 24}, false);
        // A view without a window refuses its frame and is gone at once.
        EXPECT_EQ(driver.Add(std::make_unique<LoggingView>(&platform, nullptr, 'c', &log), {0, 0, 8, 8}, false),
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
