#include "engine/Overlay.h"

#include <cstdlib>

#include "engine/SSMAIN.h"

float BannerTargetY(bool shown, bool fromTop, int screenHeight)
{
    if (shown)
        return fromTop ? static_cast<float>(screenHeight - 40) : 5.0f;
    return fromTop ? static_cast<float>(screenHeight + 40) : -40.0f;
}

void AdvanceBanner(SSMAIN* engine)
{
    const double dt = engine->frameTime;
    engine->bannerTimer = static_cast<float>(engine->bannerTimer - dt);
    if (engine->bannerTimer < 0.0f) {
        if (!engine->bannerShown) {
            engine->messageTex = 4 + static_cast<unsigned>(rand() % 2);
            engine->bannerPos.x = (rand() % 2 == 0) ? 0.0f : static_cast<float>(engine->screenWidth - 256);
            engine->bannerFromTop = !engine->bannerFromTop;
            engine->bannerPos.y = engine->bannerFromTop ? static_cast<float>(engine->screenHeight + 40) : -40.0f;
            engine->bannerTimer = 20.0f;
        } else {
            engine->bannerTimer = 30.0f;
        }
        engine->bannerShown = !engine->bannerShown;
    }
    const double target = BannerTargetY(engine->bannerShown, engine->bannerFromTop, engine->screenHeight);
    engine->bannerPos.y = static_cast<float>(engine->bannerPos.y + (target - engine->bannerPos.y) * dt);
}

void AdvanceTitleCard(SSMAIN* engine)
{
    const double dt = engine->frameTime;
    engine->cardTimer = static_cast<float>(engine->cardTimer - dt);
    if (engine->cardTimer < 0.0f) {
        if (engine->cardAlpha < 1.0f)
            engine->cardAlpha = static_cast<float>(engine->cardAlpha + 0.5 * dt);
        else
            engine->cardAlpha = 1.0f;
        if (engine->cardTimer < -20.0f)
            engine->cardTimer = 40.0f;
    } else {
        if (engine->cardAlpha > 0.0f)
            engine->cardAlpha = static_cast<float>(engine->cardAlpha - 0.5 * dt);
        else
            engine->cardAlpha = 0.0f;
    }
}

unsigned OverlayTexture(const SSMAIN* engine, unsigned index)
{
    if (engine->textures == nullptr || engine->textureCount < 0 || index >= static_cast<unsigned>(engine->textureCount))
        return 0;
    return engine->textures[index].texID;
}
