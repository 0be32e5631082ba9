#include "host/DesktopCapture.h"

#include <cmath>
#include <vector>

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

namespace {

// One input pixel's share in an output pixel along one axis.
struct Tap {
    int index;     // input pixel, wrapped into the picture
    float weight;  // length of the footprint over it
};

// Per output pixel along an axis of `in` pixels scaled to `out`: its taps,
// from first[o] to first[o + 1], and the footprint's length in weight[o].
void AxisTaps(int in, int out, std::vector<Tap>* taps, std::vector<size_t>* first, std::vector<float>* length)
{
    const float step = static_cast<float>(in) / static_cast<float>(out);
    const float half = in > out ? step / 2 : 0.5f;
    taps->clear();
    first->assign(1, 0);
    length->clear();
    for (int o = 0; o < out; ++o) {
        const float centre = step * (static_cast<float>(o) + 0.5f);
        const float low = centre - half, high = centre + half;
        float total = 0.0f;
        for (float at = low, cell = std::floor(low); at < high; at = ++cell) {
            const float share = (high < cell + 1 ? high : cell + 1) - at;
            const int index = ((static_cast<int>(cell) % in) + in) % in;
            taps->push_back({index, share});
            total += share;
        }
        first->push_back(taps->size());
        length->push_back(total);
    }
}

}  // namespace

bool ScaleRgbaBox(const uint8_t* in, int width, int height, uint8_t* out, int outWidth, int outHeight)
{
    if (width < 1 || height < 1 || outWidth < 1 || outHeight < 1)
        return false;
    std::vector<Tap> xTaps, yTaps;
    std::vector<size_t> xFirst, yFirst;
    std::vector<float> xLength, yLength;
    AxisTaps(width, outWidth, &xTaps, &xFirst, &xLength);
    AxisTaps(height, outHeight, &yTaps, &yFirst, &yLength);
    std::vector<float> row(static_cast<size_t>(width) * 4);  // one output row's input rows, weighted
    for (int oy = 0; oy < outHeight; ++oy) {
        std::fill(row.begin(), row.end(), 0.0f);
        for (size_t t = yFirst[static_cast<size_t>(oy)]; t < yFirst[static_cast<size_t>(oy) + 1]; ++t) {
            const uint8_t* src = in + static_cast<size_t>(yTaps[t].index) * static_cast<size_t>(width) * 4;
            const float w = yTaps[t].weight;
            for (size_t k = 0; k < row.size(); ++k)
                row[k] += w * static_cast<float>(src[k]);
        }
        uint8_t* dst = out + static_cast<size_t>(oy) * static_cast<size_t>(outWidth) * 4;
        for (int ox = 0; ox < outWidth; ++ox) {
            float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (size_t t = xFirst[static_cast<size_t>(ox)]; t < xFirst[static_cast<size_t>(ox) + 1]; ++t) {
                const float* p = &row[static_cast<size_t>(xTaps[t].index) * 4];
                for (int k = 0; k < 4; ++k)
                    sum[k] += xTaps[t].weight * p[k];
            }
            const float area = xLength[static_cast<size_t>(ox)] * yLength[static_cast<size_t>(oy)];
            // GLU's rounding: the average in 16 bits (a byte times 257),
            // then its high byte.
            for (int k = 0; k < 4; ++k) {
                const int wide = static_cast<int>((sum[k] * 257.0f + 0.5f) / area);
                dst[ox * 4 + k] = static_cast<uint8_t>(wide >= 65535 ? 255 : wide >> 8);
            }
        }
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
