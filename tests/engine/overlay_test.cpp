// The overlay's timing and placement, stepped without GL the way DoOverlay
// steps it: banner first, then the title card, once per drawn frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>

#include "engine/Overlay.h"
#include "engine/SSMAIN.h"

namespace {

// What a run of frames showed: when things first happened, in seconds of drawn time.
struct Timeline {
    double firstCard = -1;          // cardAlpha first above 0
    unsigned firstCardMessage = 0;  // messageTex at that moment
    double cardFull = -1;           // cardAlpha first exactly 1
    double cardFadingOut = -1;      // cardAlpha first falls after being 1
    double cardGone = -1;           // cardAlpha back at exactly 0 after that
    double secondCard = -1;         // the next time cardAlpha rises above 0
    double firstBanner = -1;        // bannerShown first true
    bool firstBannerFromTop = false;
    double firstBannerHidden = -1;  // bannerShown false again
    double secondBanner = -1;       // bannerShown true again
    bool secondBannerFromTop = true;
};

Timeline RunOverlay(SSMAIN& engine, double dt, double until)
{
    Timeline t;
    double now = 0.0;
    float lastAlpha = 0.0f;
    bool wasShown = false;
    while (now < until) {
        engine.Update(dt);
        AdvanceBanner(&engine);
        AdvanceTitleCard(&engine);
        now += dt;
        const float a = engine.cardAlpha;
        if (t.firstCard < 0 && a > 0) {
            t.firstCard = now;
            t.firstCardMessage = engine.messageTex;
        }
        if (t.cardFull < 0 && a == 1.0f)
            t.cardFull = now;
        if (t.cardFull >= 0 && t.cardFadingOut < 0 && a < lastAlpha && a < 1.0f)
            t.cardFadingOut = now;
        if (t.cardFadingOut >= 0 && t.cardGone < 0 && a == 0.0f)
            t.cardGone = now;
        if (t.cardGone >= 0 && t.secondCard < 0 && a > 0)
            t.secondCard = now;
        if (engine.bannerShown && !wasShown) {
            if (t.firstBanner < 0) {
                t.firstBanner = now;
                t.firstBannerFromTop = engine.bannerFromTop;
            } else if (t.secondBanner < 0) {
                t.secondBanner = now;
                t.secondBannerFromTop = engine.bannerFromTop;
            }
        }
        if (!engine.bannerShown && wasShown && t.firstBannerHidden < 0)
            t.firstBannerHidden = now;
        wasShown = engine.bannerShown;
        lastAlpha = a;
    }
    return t;
}

TEST(SSMAIN, ConstructionValues)
{
    SSMAIN engine;
    EXPECT_FALSE(engine.preview);
    EXPECT_FLOAT_EQ(engine.bannerTimer, 115.0f);
    EXPECT_FALSE(engine.bannerShown);
    EXPECT_FALSE(engine.bannerFromTop);
    EXPECT_FLOAT_EQ(engine.bannerPos.y, -35.0f);
    EXPECT_EQ(engine.messageTex, 5u);
    EXPECT_FLOAT_EQ(engine.cardTimer, 90.0f);
    EXPECT_FLOAT_EQ(engine.cardAlpha, 0.0f);
    EXPECT_EQ(engine.textureCount, 0);
    EXPECT_EQ(engine.textures, nullptr);
    EXPECT_EQ(engine.puzzle, nullptr);
    EXPECT_EQ(engine.pictureTex, 0u);
    EXPECT_EQ(engine.settings, nullptr);
    engine.SetSize(640, 480);
    engine.Update(0.25);
    EXPECT_EQ(engine.screenWidth, 640);
    EXPECT_EQ(engine.screenHeight, 480);
    EXPECT_DOUBLE_EQ(engine.frameTime, 0.25);
}

// The same schedule at the frame steps the view can pass (above 1/60 s, at most 2 s).
class OverlaySchedule : public ::testing::TestWithParam<double> {};

TEST_P(OverlaySchedule, CardAt90BannerAt115ThenAlternating)
{
    const double dt = GetParam();
    srand(7);
    SSMAIN engine;
    engine.SetSize(800, 600);
    const Timeline t = RunOverlay(engine, dt, 200.0);

    // Title card: begins at 90 s with message 5, full after 2 s, holds until
    // 20 s after it began, gone 2 s later, next one 40 s after that.
    EXPECT_NEAR(t.firstCard, 90.0, dt + 1e-3);
    EXPECT_EQ(t.firstCardMessage, 5u);
    EXPECT_NEAR(t.cardFull, 92.0, 2 * dt + 1e-3);
    EXPECT_NEAR(t.cardFadingOut, 110.0, 2 * dt + 1e-3);
    EXPECT_NEAR(t.cardGone, 112.0, 4 * dt + 1e-3);
    EXPECT_NEAR(t.secondCard, 150.0, 2 * dt + 1e-3);

    // Banner: shows at 115 s from the top, for 20 s, away 30 s, then from the bottom.
    EXPECT_NEAR(t.firstBanner, 115.0, dt + 1e-3);
    EXPECT_TRUE(t.firstBannerFromTop);
    EXPECT_NEAR(t.firstBannerHidden, 135.0, 2 * dt + 1e-3);
    EXPECT_NEAR(t.secondBanner, 165.0, 3 * dt + 1e-3);
    EXPECT_FALSE(t.secondBannerFromTop);
}

INSTANTIATE_TEST_SUITE_P(FrameSteps, OverlaySchedule, ::testing::Values(1.0 / 59.0, 1.0 / 30.0, 0.25, 2.0));

TEST(Overlay, BannerTargets)
{
    struct Case {
        bool shown, fromTop;
        int height;
        float target;
    } cases[] = {
        {true, true, 600, 560.0f},   // lower edge 40 px below the top (upper edge 8 px below)
        {true, false, 600, 5.0f},    // 5 px above the bottom
        {false, true, 600, 640.0f},  // just beyond the top
        {false, false, 600, -40.0f}, // just below the bottom
        {true, true, 200, 160.0f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(BannerTargetY(c.shown, c.fromTop, c.height), c.target)
            << c.shown << c.fromTop << c.height;
}

TEST(Overlay, BannerShowsJustOutsideTheViewAndEasesIn)
{
    srand(3);
    SSMAIN engine;
    engine.SetSize(1024, 768);
    engine.bannerTimer = 0.01f;
    engine.Update(0.1);
    AdvanceBanner(&engine);
    ASSERT_TRUE(engine.bannerShown);
    ASSERT_TRUE(engine.bannerFromTop);
    EXPECT_FLOAT_EQ(engine.bannerTimer, 20.0f);
    // Starts at height + 40 and covers the fraction dt of the way to 728 in this frame.
    EXPECT_NEAR(engine.bannerPos.y, 808.0 + (728.0 - 808.0) * 0.1, 1e-3);
    EXPECT_TRUE(engine.bannerPos.x == 0.0f || engine.bannerPos.x == 1024.0f - 256.0f);
    EXPECT_TRUE(engine.messageTex == 4u || engine.messageTex == 5u);

    // Ten seconds of 1/30 s frames bring it to rest within a pixel; it never overshoots.
    float last = engine.bannerPos.y;
    for (int k = 0; k < 300; ++k) {
        engine.Update(1.0 / 30.0);
        AdvanceBanner(&engine);
        EXPECT_LE(engine.bannerPos.y, last);
        EXPECT_GE(engine.bannerPos.y, 728.0f);
        last = engine.bannerPos.y;
    }
    EXPECT_NEAR(engine.bannerPos.y, 728.0f, 1.0f);
}

TEST(Overlay, SidesAndMessagesVaryAcrossShows)
{
    srand(11);
    SSMAIN engine;
    engine.SetSize(1280, 720);
    std::set<float> sides;
    std::set<unsigned> messages;
    std::set<bool> edges;
    for (int show = 0; show < 40; ++show) {
        engine.bannerShown = false;
        engine.bannerTimer = 0.0f;
        engine.Update(0.02);
        AdvanceBanner(&engine);
        sides.insert(engine.bannerPos.x);
        messages.insert(engine.messageTex);
        edges.insert(engine.bannerFromTop);
        EXPECT_FLOAT_EQ(engine.bannerPos.y,
                        static_cast<float>((engine.bannerFromTop ? 760.0 : -40.0) +
                                           (BannerTargetY(true, engine.bannerFromTop, 720) -
                                            (engine.bannerFromTop ? 760.0 : -40.0)) * 0.02));
    }
    EXPECT_EQ(sides, (std::set<float>{0.0f, 1024.0f}));
    EXPECT_EQ(messages, (std::set<unsigned>{4u, 5u}));
    EXPECT_EQ(edges.size(), 2u);  // toggled every show
}

TEST(Overlay, CardFadeSnapsToItsLimitsOneFrameLate)
{
    SSMAIN engine;
    engine.cardTimer = 0.0f;
    engine.Update(0.3);
    std::vector<float> alphas;
    for (int k = 0; k < 5; ++k) {
        AdvanceTitleCard(&engine);
        alphas.push_back(engine.cardAlpha);
    }
    // 0.15 per frame: 0.15, 0.30, ... passes 1 only with larger steps.
    EXPECT_NEAR(alphas[0], 0.15f, 1e-6);
    EXPECT_NEAR(alphas[4], 0.75f, 1e-5);
    for (int k = 0; k < 2; ++k)
        AdvanceTitleCard(&engine);
    EXPECT_NEAR(engine.cardAlpha, 1.05f, 1e-5);  // passed 1 ...
    AdvanceTitleCard(&engine);
    EXPECT_EQ(engine.cardAlpha, 1.0f);  // ... and is exactly 1 the frame after

    // Fading out: a value that passed 0 becomes exactly 0 a frame later.
    engine.cardTimer = 30.0f;
    engine.cardAlpha = 0.1f;
    AdvanceTitleCard(&engine);
    EXPECT_LT(engine.cardAlpha, 0.0f);
    AdvanceTitleCard(&engine);
    EXPECT_EQ(engine.cardAlpha, 0.0f);
}

TEST(Overlay, MissingTexturesReadAsNone)
{
    SSMAIN engine;
    EXPECT_EQ(OverlayTexture(&engine, 1), 0u);
    EXPECT_EQ(OverlayTexture(&engine, 5), 0u);
}

}  // namespace
