#include "host/DesktopCapture.h"

#include <cmath>

#include "host/ZarnetView.h"
#include "platform/gl_surface.h"
#include "platform/screen_grab.h"
#include "platform/screen_saver_platform.h"

int ScreenNumberForFrame(const ScreenList& screens, const ScreenRect& frame)
{
    if (const ScreenInfo* meeting = screens.FirstMeeting(frame))
        return meeting->number;
    if (const ScreenInfo* main = screens.MainScreen())
        return main->number;
    return -1;
}

int GrabSizeLimit(int detail, int maxTextureSize)
{
    if (detail == 0)
        return 512;
    if (detail == 1)
        return 1024;
    return maxTextureSize;
}

int GrabTextureSide(int side, int limit)
{
    const unsigned s = side < 1 ? 1u : static_cast<unsigned>(side);
    const double exponent = std::floor(std::log(static_cast<double>(s)) / std::log(2.0) + 0.5);
    // Sides near INT_MAX would round up to 2^31: no int holds that, and no
    // GL texture is that large anyway.
    const int texSide = exponent >= 30.0 ? (1 << 30) : (1 << static_cast<int>(exponent));
    return texSide < limit ? texSide : limit;
}

bool GrabIsAllBlack(const uint8_t* rgba, size_t pixelCount)
{
    for (size_t i = 0; i < pixelCount; ++i) {
        const uint8_t* p = rgba + i * 4;
        if (p[0] != 0 || p[1] != 0 || p[2] != 0)
            return false;
    }
    return true;
}

int ZarnetView::getScreenMaskForFrame(ScreenRect frame)
{
    return ScreenNumberForFrame(platform()->screens(), frame);
}

void ZarnetView::GetDesktopTexture(unsigned* texture, int detail, ScreenRect frame)
{
    const int number = getScreenMaskForFrame(frame);
    const ScreenList list = platform()->screens();
    const ScreenInfo* screen = list.FindNumber(number);
    if (!screen)
        return;
    ScreenGrab grab;
    if (!platform()->grabScreen(*screen, &grab))
        return;
    // Back in the view's own context for the texture.
    if (!glView || !glView->makeCurrentContext())
        return;
    BuildGrabTexture(grab, detail, texture);
}
