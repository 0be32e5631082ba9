#include "tests/support/engine_view.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>

#include "engine/SSMAIN.h"
#include "host/DesktopCapture.h"
#include "host/ViewGL.h"
#include "pictures/picture_decoder.h"
#include "pictures/png_writer.h"
#include "platform/screen_grab.h"
#include "puzzle/ONEPUZZLE.h"

Rgb Frame::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return Rgb{0, 0, 0};
    const uint8_t* p = rgba.data() + (size_t(height - 1 - y) * width + x) * 4;
    return Rgb{p[0], p[1], p[2]};
}

Rgb Frame::MeanAround(int x, int y, int radius) const
{
    int r = 0, g = 0, b = 0, n = 0;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx, ++n) {
            const Rgb c = At(x + dx, y + dy);
            r += c.r, g += c.g, b += c.b;
        }
    return Rgb{r / n, g / n, b / n};
}

double Frame::LitFraction(int threshold) const
{
    size_t lit = 0;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4)
        lit += std::max({rgba[i], rgba[i + 1], rgba[i + 2]}) > threshold;
    return width > 0 && height > 0 ? double(lit) / (double(width) * height) : 0.0;
}

double Frame::MeanDifference(const Frame& other) const
{
    double sum = 0.0;
    for (size_t i = 0; i < rgba.size() && other.rgba.size() == rgba.size(); ++i)
        sum += i % 4 == 3 ? 0 : std::abs(int(rgba[i]) - int(other.rgba[i]));
    return other.rgba.size() != rgba.size() || rgba.empty() ? 255.0 : sum / (double(rgba.size()) / 4.0 * 3.0);
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
    LoadViewProjection(width, height);
}

void EngineView::Tick(SSMAIN& engine, double dt)
{
    context.MakeCurrent();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    engine.Update(dt);
    LoadViewProjection(width, height);
    engine.Draw();
    glFinish();
}

bool SaveFrame(const Frame& frame, const std::string& name)
{
    std::vector<uint8_t> opaque = frame.rgba;  // the cleared background's alpha is 0
    for (size_t i = 3; i < opaque.size(); i += 4)
        opaque[i] = 255;
    mkdir("frames", 0755);
    return !opaque.empty() && opaque.size() == size_t(frame.width) * frame.height * 4 &&
           WritePNG(("frames/" + name + ".png").c_str(), frame.width, frame.height, opaque.data());
}

SETTINGS EngineTestSettings(int bgType, int puzzleWidth, const std::string& folder, int picWidth, int picHeight)
{
    SETTINGS s{.BGRES = 0,
               .BGTYPE = bgType,
               .BGPath = {},
               .PERCENTAGE = 75,
               .PUZZLEWIDTH = puzzleWidth,
               .LOCKINPLACE = true,
               .picWidth = picWidth,
               .picHeight = picHeight};
    std::snprintf(s.BGPath, sizeof s.BGPath, "%s", folder.c_str());
    return s;
}

constexpr int kBase = 40, kRange = 200, kBlue = 250;  // cell colours: red and green kBase..kBase+kRange

static int Level(int index, int count)
{
    return count <= 1 ? kBase : kBase + int(std::lround(double(kRange) * index / (count - 1)));
}

std::vector<uint8_t> CellPicture(int width, int height, int cols, int rows)
{
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rgb.insert(rgb.end(), {uint8_t(Level(int(long(x) * cols / width), cols)),
                                   uint8_t(Level(int(long(y) * rows / height), rows)), uint8_t(kBlue)});
    return rgb;
}

std::vector<uint8_t> TextureTexels(unsigned texture, int* width, int* height)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
    std::vector<uint8_t> texels(size_t(*width) * size_t(*height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

unsigned UploadGrabTexture(int width, int height, const std::vector<uint8_t>& rgb)
{
    std::vector<uint8_t> rgba;
    for (size_t k = 0; k + 2 < rgb.size(); k += 3)
        rgba.insert(rgba.end(), {rgb[k], rgb[k + 1], rgb[k + 2], 255});
    ScreenGrab grab;
    unsigned name = 0;
    return MakeGrabFromTopFirst(width, height, rgba.data(), &grab) && BuildGrabTexture(grab, 0, &name) ? name : 0;
}

CellReport CheckBoardCells(const Frame& frame, const EngineView& view, const ONEPUZZLE& puzzle, double sx, double sy)
{
    // The view's gluPerspective(45, aspect in single precision, 1, 120) of the board point scaled by (sx, sy, 1)
    // and moved to z - 40.
    const double aspect = double(float(view.width) / float(view.height));
    const double f = 1.0 / std::tan(22.5 * 3.14159265358979323846 / 180.0), w = 40.0 - puzzle.boardZ;
    CellReport report;
    for (int j = 0; j < puzzle.rows; ++j)
        for (int i = 0; i < puzzle.columns; ++i) {
            const double x = sx * (i + (puzzle.columns - 1) * -0.5);
            const double y = sy * (puzzle.rows - 1 - j + (puzzle.rows - 1) * -0.5);
            const double wx = (f / aspect * x / w + 1.0) * 0.5 * view.width, wy = (f * y / w + 1.0) * 0.5 * view.height;
            if (wx < 2.0 || wy < 2.0 || wx > frame.width - 3.0 || wy > frame.height - 3.0)
                continue;  // the board may reach beyond the view
            // Its own colour, however brightly lit (lighting scales all channels alike); dark samples and those
            // between two cells' colours are nobody's.
            const Rgb seen = frame.MeanAround(int(wx), int(wy), 1);
            const double scale = double(kBlue) / std::max(seen.b, 1);
            ++report.checked;
            if (seen.b >= 60 && std::fabs((seen.r * scale - kBase) * (puzzle.columns - 1) / kRange - i) <= 0.35 &&
                std::fabs((seen.g * scale - kBase) * (puzzle.rows - 1) / kRange - j) <= 0.35)
                ++report.matched;
            else if (report.firstMisses.size() < 400)
                report.firstMisses += "cell (" + std::to_string(i) + "," + std::to_string(j) + ") at (" +
                                      std::to_string(int(wx)) + "," + std::to_string(int(wy)) + ") shows rgb(" +
                                      std::to_string(seen.r) + "," + std::to_string(seen.g) + "," +
                                      std::to_string(seen.b) + "); ";
        }
    return report;
}

Frame LoadFrame(const std::string& path)
{
    DecodedPicture p = {};
    if (!DecodePictureFile(path.c_str(), 0, 0, &p))
        return Frame{};
    Frame frame{p.width, p.height, {}};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const unsigned char* c =
                &p.pixels[static_cast<size_t>(y) * p.bytesPerRow + static_cast<size_t>(x) * (p.bitsPerPixel / 8)];
            frame.rgba.insert(frame.rgba.end(), {c[0], c[1], c[2], 255});
        }
    FreeDecodedPicture(&p);
    return frame;
}
