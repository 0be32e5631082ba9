// The overlay on screen, measured on the pixels of the frames at the times
// it is due: the first title card at 90 s shows message 5 across the middle
// of a black view; the first banner at 115 s comes in at the top edge with
// its side strip and message strip; later cards show the latest banner's
// message; the preview shows none of it.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/SSMAIN.h"
#include "puzzle/ONEPUZZLE.h"
#include "tests/support/engine_pictures.h"
#include "tests/support/engine_view.h"

namespace {

// An overlay texture read back from GL: RGBA, row 0 at t = 0.
struct TexImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    // GL_LINEAR sampling with GL_REPEAT at (s, t): r, g, b, a in 0..1.
    void Sample(double s, double t, double out[4]) const
    {
        const double x = s * width - 0.5, y = t * height - 0.5;
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0, fy = y - y0;
        for (int k = 0; k < 4; ++k)
            out[k] = 0.0;
        for (int dy = 0; dy < 2; ++dy) {
            for (int dx = 0; dx < 2; ++dx) {
                const int tx = ((x0 + dx) % width + width) % width;
                const int ty = ((y0 + dy) % height + height) % height;
                const double w = (dx ? fx : 1 - fx) * (dy ? fy : 1 - fy);
                const uint8_t* p = rgba.data() + (static_cast<size_t>(ty) * width + tx) * 4;
                for (int k = 0; k < 4; ++k)
                    out[k] += w * p[k] / 255.0;
            }
        }
    }
};

TexImage ReadTexture(unsigned name)
{
    TexImage image;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &image.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &image.height);
    image.rgba.resize(static_cast<size_t>(image.width) * image.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
    return image;
}

// How well a frame region shows a texture drawn on the quad (x0, y0, w, h)
// (pixels, origin bottom-left). overBlack: the quad was blended over black
// with the given opacity, so every pixel is predictable; otherwise only the
// pixels the texture covers almost opaquely are compared.
struct Match {
    int compared = 0;      // pixels compared
    double meanError = 0;  // mean absolute difference per channel, 0..255
};

Match CompareQuad(const Frame& frame, const TexImage& tex, double x0, double y0, double w, double h,
                  bool overBlack, double opacity = 1.0)
{
    Match m;
    double sum = 0.0;
    const double marginX = 1.5 * w / tex.width + 1.0, marginY = 1.5 * h / tex.height + 1.0;
    for (int py = std::max(0, static_cast<int>(y0)); py < std::min(frame.height, static_cast<int>(y0 + h) + 1); ++py) {
        for (int px = std::max(0, static_cast<int>(x0)); px < std::min(frame.width, static_cast<int>(x0 + w) + 1);
             ++px) {
            const double cx = px + 0.5 - x0, cy = py + 0.5 - y0;
            if (cx < marginX || cy < marginY || cx > w - marginX || cy > h - marginY)
                continue;
            double texel[4];
            tex.Sample(cx / w, cy / h, texel);
            const double a = texel[3] * opacity;
            if (!overBlack && a < 0.98)
                continue;
            const Rgb seen = frame.At(px, py);
            const double expected[3] = {texel[0] * a * 255, texel[1] * a * 255, texel[2] * a * 255};
            sum += std::fabs(seen.r - expected[0]) + std::fabs(seen.g - expected[1]) + std::fabs(seen.b - expected[2]);
            ++m.compared;
        }
    }
    m.meanError = m.compared ? sum / (3.0 * m.compared) : 255.0;
    return m;
}

constexpr int kWidth = 1024;   // wide enough for side strip and message strip side by side
constexpr int kHeight = 320;

class OverlayRun {
public:
    EngineView view;
    SETTINGS settings = EngineTestSettings(0, 6, "", kWidth, kHeight);
    SSMAIN engine;
    double now = 0.0;  // seconds of drawn frames

    bool Start(bool preview)
    {
        if (!view.Open(kWidth, kHeight))
            return false;
        view.Init(&engine);
        engine.pictureTex = UploadGrabTexture(kWidth, kHeight, CellPicture(kWidth, kHeight, 6, 1), 512);
        std::vector<char> resources = EngineResourceDir();
        return engine.Setup(preview, kWidth, kHeight, &settings, resources.data());
    }
    // Cuts the board afresh, standing assembled, so that the frames show it
    // (after a minute and a half of two-second steps its pieces may be
    // anywhere, often out of sight).
    void FreshBoard() { engine.puzzle->NewPuzzle(); }
    // Draws frames of dt until `until` seconds have been drawn.
    void RunTo(double until, double dt)
    {
        while (now + dt <= until + 1e-9) {
            view.Tick(engine, dt);
            now += dt;
        }
    }
};

TEST(EngineOverlay, CardAndBannerAppearWhereAndWhenDue)
{
    srand(5);
    OverlayRun run;
    ASSERT_TRUE(run.Start(false)) << run.view.Error();
    SSMAIN& e = run.engine;
    ASSERT_GE(e.textureCount, 6);
    const TexImage side = ReadTexture(e.textures[1].texID);
    const TexImage message[2] = {ReadTexture(e.textures[4].texID), ReadTexture(e.textures[5].texID)};
    ASSERT_GT(side.width, 0);
    ASSERT_GT(message[1].width, 0);
    const double bandY = 352.0 * kHeight / 768.0, bandH = 64.0 * kHeight / 768.0;

    // Just before 90 s: no card; the pieces are seen.
    run.RunTo(88.0, 2.0);
    run.FreshBoard();
    run.RunTo(89.75, 0.25);
    EXPECT_EQ(e.cardAlpha, 0.0f);
    Frame frame = run.view.Grab();
    EXPECT_GT(frame.LitFraction(40), 0.3);
    EXPECT_GT(CompareQuad(frame, message[1], 0, bandY, kWidth, bandH, true).meanError, 12.0);

    // 90 s: the card fades in; two seconds later the view is black but for
    // message 5 across the middle, 352..416 of 768 units.
    run.RunTo(90.25, 0.25);
    EXPECT_GT(e.cardAlpha, 0.0f);
    EXPECT_LT(e.cardAlpha, 0.2f);
    EXPECT_EQ(e.messageTex, 5u);
    run.RunTo(92.25, 0.25);
    ASSERT_EQ(e.cardAlpha, 1.0f);
    frame = run.view.Grab();
    SaveFrame(frame, "engine_overlay_card_90s");
    const Match withFive = CompareQuad(frame, message[1], 0, bandY, kWidth, bandH, true);
    const Match withFour = CompareQuad(frame, message[0], 0, bandY, kWidth, bandH, true);
    EXPECT_GT(withFive.compared, kWidth * 10);
    EXPECT_LT(withFive.meanError, 4.0);
    EXPECT_LT(withFive.meanError, withFour.meanError);
    int litOutside = 0;
    for (int y = 0; y < kHeight; ++y) {
        if (y >= bandY - 1 && y <= bandY + bandH + 1)
            continue;
        for (int x = 0; x < kWidth; x += 3) {
            const Rgb c = frame.At(x, y);
            litOutside += std::max({c.r, c.g, c.b}) > 2 ? 1 : 0;
        }
    }
    EXPECT_EQ(litOutside, 0);

    // It holds until 110 s and is gone by 112 s.
    run.RunTo(109.75, 0.25);
    EXPECT_EQ(e.cardAlpha, 1.0f);
    run.FreshBoard();
    run.RunTo(112.5, 0.25);
    EXPECT_EQ(e.cardAlpha, 0.0f);
    frame = run.view.Grab();
    EXPECT_GT(frame.LitFraction(40), 0.3);
    EXPECT_GT(CompareQuad(frame, message[1], 0, bandY, kWidth, bandH, true).meanError, 12.0);

    // 115 s: the banner comes in at the top, eases towards 40 px below the
    // top and rests there.
    run.RunTo(114.75, 0.25);
    EXPECT_FALSE(e.bannerShown);
    run.RunTo(115.25, 0.25);
    ASSERT_TRUE(e.bannerShown);
    EXPECT_TRUE(e.bannerFromTop);
    EXPECT_GT(e.bannerPos.y, kHeight - 40.0f);
    EXPECT_LT(e.bannerPos.y, kHeight + 40.0f);
    run.RunTo(119.0, 0.25);
    run.FreshBoard();
    run.RunTo(121.0, 0.25);
    EXPECT_NEAR(e.bannerPos.y, kHeight - 40.0f, 0.5f);
    EXPECT_TRUE(e.bannerPos.x == 0.0f || e.bannerPos.x == kWidth - 256.0f);
    frame = run.view.Grab();
    SaveFrame(frame, "engine_overlay_banner_121s");
    const TexImage& shownMessage = message[e.messageTex - 4];
    const Match strip = CompareQuad(frame, side, e.bannerPos.x, e.bannerPos.y, 256, 32, false);
    const Match text = CompareQuad(frame, shownMessage, kWidth * 0.5 - 256, e.bannerPos.y, 512, 32, false);
    EXPECT_GT(strip.compared, 200);
    EXPECT_LT(strip.meanError, 4.0);
    EXPECT_GT(text.compared, 200);
    EXPECT_LT(text.meanError, 4.0);
    // Nothing of it at the bottom edge.
    EXPECT_GT(CompareQuad(frame, side, e.bannerPos.x, 5, 256, 32, false).meanError, 12.0);

    // 135 s: it slides out again; at 150 s the next card shows the banner's message.
    const unsigned bannerMessage = e.messageTex;
    run.RunTo(140.0, 0.25);
    EXPECT_FALSE(e.bannerShown);
    EXPECT_GT(e.bannerPos.y, kHeight + 30.0f);
    run.RunTo(148.0, 2.0);
    run.RunTo(152.5, 0.25);
    ASSERT_EQ(e.cardAlpha, 1.0f);
    frame = run.view.Grab();
    SaveFrame(frame, "engine_overlay_card_150s");
    EXPECT_LT(CompareQuad(frame, message[bannerMessage - 4], 0, bandY, kWidth, bandH, true).meanError, 4.0);

    // The overlay leaves its pixel projection loaded.
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[0], 2.0 / kWidth, 1e-6);
    EXPECT_NEAR(projection[5], 2.0 / kHeight, 1e-6);
    EXPECT_NEAR(projection[12], -1.0, 1e-6);
}

TEST(EngineOverlay, PreviewShowsNoneOfIt)
{
    srand(5);
    OverlayRun run;
    ASSERT_TRUE(run.Start(true)) << run.view.Error();
    SSMAIN& e = run.engine;
    const TexImage side = ReadTexture(e.textures[1].texID);
    run.RunTo(90.0, 2.0);
    run.FreshBoard();
    run.RunTo(92.0, 2.0);
    Frame frame = run.view.Grab();
    SaveFrame(frame, "engine_overlay_preview_92s");
    EXPECT_GT(frame.LitFraction(40), 0.3);  // no black card
    run.RunTo(120.0, 2.0);
    run.FreshBoard();
    run.RunTo(122.0, 2.0);
    frame = run.view.Grab();
    SaveFrame(frame, "engine_overlay_preview_122s");
    EXPECT_GT(CompareQuad(frame, side, 0, kHeight - 40, 256, 32, false).meanError, 12.0);
    EXPECT_GT(CompareQuad(frame, side, kWidth - 256, kHeight - 40, 256, 32, false).meanError, 12.0);
    // The overlay's clocks never ran.
    EXPECT_EQ(e.cardTimer, 90.0f);
    EXPECT_EQ(e.bannerTimer, 115.0f);
    EXPECT_EQ(e.cardAlpha, 0.0f);
    EXPECT_FALSE(e.bannerShown);
}

}  // namespace
