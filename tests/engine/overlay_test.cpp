// The overlay's schedule, stepped the way DoOverlay steps it (banner, then
// title card, once a frame) at frame steps the view can pass.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "engine/Overlay.h"
#include "engine/SSMAIN.h"

namespace {

// A change seen on the overlay: 'C' the card begins (its opacity leaves 0),
// 'F' it is fully shown, 'f' it starts fading out, 'c' it is gone; 'T' / 'B'
// the banner shows at the top / bottom edge, 'h' it hides.
struct Change {
    char what;
    double at;       // seconds of drawn frames
    unsigned slack;  // due: allowed lateness in frames; seen: the message shown then
};

TEST(Overlay, CardAt90BannerAt115FromTheTopThenAlternating)
{
    // The card: from 90 s, full after 2 s, held until 20 s after it began, gone
    // 2 s later, next 40 s after that. The banner: from 115 s at the top for
    // 20 s, away 30 s, then at the bottom.
    const std::vector<Change> due = {{'C', 90, 1},  {'F', 92, 2},  {'f', 110, 2}, {'c', 112, 4}, {'T', 115, 1},
                                     {'h', 135, 2}, {'C', 150, 2}, {'F', 152, 4}, {'B', 165, 3}};
    for (double dt : {1.0 / 59.0, 1.0 / 30.0, 0.25, 2.0}) {
        SCOPED_TRACE(dt);
        srand(7);
        SSMAIN engine;
        engine.SetSize(800, 600);
        std::vector<Change> seen;
        float alpha = 0.0f;
        bool shown = false;
        for (double now = dt; now < 172.0; now += dt) {
            engine.Update(dt);
            AdvanceBanner(&engine);
            AdvanceTitleCard(&engine);
            const float a = engine.cardAlpha;
            const bool card[4] = {alpha == 0.0f && a > 0.0f, alpha != 1.0f && a == 1.0f, alpha == 1.0f && a < 1.0f,
                                  alpha != 0.0f && a == 0.0f};
            for (int k = 0; k < 4; ++k)
                if (card[k])
                    seen.push_back({"CFfc"[k], now, engine.messageTex});
            if (engine.bannerShown != shown)
                seen.push_back({shown ? 'h' : engine.bannerFromTop ? 'T' : 'B', now, engine.messageTex});
            alpha = a;
            shown = engine.bannerShown;
        }
        ASSERT_GE(seen.size(), due.size());
        EXPECT_EQ(seen[0].slack, 5u);  // the first card shows message 5
        for (size_t k = 0; k < due.size(); ++k) {
            EXPECT_EQ(seen[k].what, due[k].what) << k;
            EXPECT_NEAR(seen[k].at, due[k].at, due[k].slack * dt + 1e-3) << due[k].what;
        }
    }
}

}  // namespace
