#include "tests/support/engine_view.h"

#include "host/ViewGL.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>

#include "engine/SSMAIN.h"
#include "host/SETTINGS.h"
#include "host/ViewGL.h"
#include "platform/png_writer.h"

Rgb Frame::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return Rgb{0, 0, 0};
    const size_t row = static_cast<size_t>(height - 1 - y);
    const uint8_t* p = rgba.data() + (row * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
    return Rgb{p[0], p[1], p[2]};
}

Rgb Frame::MeanAround(int x, int y, int radius) const
{
    long r = 0, g = 0, b = 0, n = 0;
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const Rgb c = At(x + dx, y + dy);
            r += c.r;
            g += c.g;
            b += c.b;
            ++n;
        }
    }
    return Rgb{static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n)};
}

double Frame::LitFraction(int threshold) const
{
    if (width <= 0 || height <= 0)
        return 0.0;
    size_t lit = 0;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        if (std::max({rgba[i], rgba[i + 1], rgba[i + 2]}) > threshold)
            ++lit;
    }
    return static_cast<double>(lit) / (static_cast<double>(width) * height);
}

double Frame::MeanDifference(const Frame& other) const
{
    if (other.rgba.size() != rgba.size() || rgba.empty())
        return 255.0;
    double sum = 0.0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        for (size_t k = 0; k < 3; ++k)
            sum += std::abs(static_cast<int>(rgba[i + k]) - static_cast<int>(other.rgba[i + k]));
    }
    return sum / (static_cast<double>(rgba.size()) / 4.0 * 3.0);
}

bool EngineView::Open(int viewWidth, int viewHeight)
{
    if (!context.Create(viewWidth, viewHeight))
        return false;
    width = viewWidth;
    height = viewHeight;
    Init();
    return true;
}

void EngineView::Init(SSMAIN* engine)
{
    context.MakeCurrent();
    ApplyViewGLState(width, height);
    if (engine != nullptr)
        engine->SetSize(width, height);
    Reshape();
}

void EngineView::Reshape()
{
    LoadViewProjection(width, height);
}

void EngineView::Tick(SSMAIN& engine, double dt)
{
    context.MakeCurrent();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    engine.Update(dt);
    Reshape();
    engine.Draw();
    glFinish();
}

Frame EngineView::Grab() const
{
    Frame frame;
    frame.width = context.Width();
    frame.height = context.Height();
    frame.rgba = context.ReadPixels();
    return frame;
}

const std::string& EngineView::Error() const
{
    return context.Error();
}

void EngineView::ProjectBoardPoint(double x, double y, double z, double sx, double sy,
                                   double* windowX, double* windowY) const
{
    // gluPerspective(45, aspect, 1, 120) applied to the eye-space point
    // (sx*x, sy*y, z - 40).
    const double aspect = static_cast<double>(static_cast<float>(width) / static_cast<float>(height));
    const double f = 1.0 / std::tan(22.5 * 3.14159265358979323846 / 180.0);
    const double ex = sx * x, ey = sy * y, ez = z - 40.0;
    const double w = -ez;
    const double ndcX = (f / aspect) * ex / w;
    const double ndcY = f * ey / w;
    *windowX = (ndcX + 1.0) * 0.5 * width;
    *windowY = (ndcY + 1.0) * 0.5 * height;
}

std::string FramePath(const std::string& name)
{
    return "frames/" + name + ".png";
}

bool SaveFrame(const Frame& frame, const std::string& name)
{
    std::error_code ignored;
    std::filesystem::create_directories("frames", ignored);
    if (frame.rgba.size() != static_cast<size_t>(frame.width) * frame.height * 4 || frame.rgba.empty())
        return false;
    // The screen shows colour only: the cleared background's alpha of 0 must
    // not make the saved frame transparent.
    std::vector<uint8_t> opaque = frame.rgba;
    for (size_t i = 3; i < opaque.size(); i += 4)
        opaque[i] = 255;
    return WritePNG(FramePath(name).c_str(), frame.width, frame.height, opaque.data());
}

SETTINGS EngineTestSettings(int bgType, int puzzleWidth, const std::string& folder, int picWidth, int picHeight)
{
    SETTINGS s{};
    s.BGRES = 0;
    s.BGTYPE = bgType;
    std::snprintf(s.BGPath, sizeof s.BGPath, "%s", folder.c_str());
    s.PERCENTAGE = 75;
    s.PUZZLEWIDTH = puzzleWidth;
    s.LOCKINPLACE = true;
    s.picWidth = picWidth;
    s.picHeight = picHeight;
    return s;
}

std::vector<char> EngineResourceDir()
{
    const std::string dir = ZARNET_BUILD_RESOURCES;
    std::vector<char> buffer(dir.begin(), dir.end());
    buffer.push_back('\0');
    return buffer;
}
