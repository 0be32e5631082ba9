#include "host/DesktopCapture.h"

#include <cmath>

#include "host/ZarnetView.h"
#include "math/PowerOfTwo.h"
#include "platform/saver_backend.h"
#include "platform/screen_grab.h"

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
    const int texSide = NearestPowerOfTwo(side);
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
    return ScreenNumberForFrame(backend()->screens(backend()->desktop), frame);
}

void ZarnetView::GetDesktopTexture(unsigned* texture, int detail, ScreenRect frame)
{
    const int number = getScreenMaskForFrame(frame);
    const SaverBackend& b = *backend();
    const ScreenList list = b.screens(b.desktop);
    const ScreenInfo* screen = list.FindNumber(number);
    if (!screen)
        return;
    ScreenGrab grab;
    if (!b.grabScreen(b.desktop, *screen, &grab))
        return;
    // Back in the view's own context for the texture.
    if (!glView || !b.makeCurrent(glView))
        return;
    BuildGrabTexture(grab, detail, texture);
}
