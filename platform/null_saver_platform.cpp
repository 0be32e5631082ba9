#include "platform/null_saver_platform.h"

#include <cstdio>
#include <cstring>

#include "platform/bundle.h"
#include "platform/egl_surface.h"

HeadlessSaverPlatform::HeadlessSaverPlatform() : clock_(1000.0, 0.0) {}

ScreenList HeadlessSaverPlatform::screens()
{
    return screens_;
}

bool HeadlessSaverPlatform::grabScreen(const ScreenInfo& screen, ScreenGrab* grab)
{
    const int w = screen.frame.width, h = screen.frame.height;
    if (image_.empty() || w <= 0 || h <= 0)
        return false;
    // Nearest-neighbour stretch of the image over the screen.
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    for (int y = 0; y < h; ++y) {
        const int sy = static_cast<int>(static_cast<long long>(y) * imageHeight_ / h);
        for (int x = 0; x < w; ++x) {
            const int sx = static_cast<int>(static_cast<long long>(x) * imageWidth_ / w);
            std::memcpy(&pixels[(static_cast<size_t>(y) * w + x) * 4],
                        &image_[(static_cast<size_t>(sy) * imageWidth_ + sx) * 4], 4);
        }
    }
    return MakeGrabFromTopFirst(w, h, pixels.data(), grab);
}

DesktopBackground HeadlessSaverPlatform::desktopBackground()
{
    return background_;
}

Clock& HeadlessSaverPlatform::clock()
{
    return clock_;
}

std::string HeadlessSaverPlatform::resourcePath()
{
    return resourcePath_.empty() ? BundleResourcePath() : resourcePath_;
}

const char* HeadlessSaverPlatform::preferenceDirectory()
{
    return preferenceDirectory_.empty() ? nullptr : preferenceDirectory_.c_str();
}

void HeadlessSaverPlatform::SetDesktopImage(int width, int height, std::vector<uint8_t> rgbaTopFirst)
{
    if (width <= 0 || height <= 0 ||
        rgbaTopFirst.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        image_.clear();
        imageWidth_ = imageHeight_ = 0;
        return;
    }
    imageWidth_ = width;
    imageHeight_ = height;
    image_ = std::move(rgbaTopFirst);
}

HeadlessViewWindow::HeadlessViewWindow(int screenNumber, int width, int height)
    : screenNumber_(screenNumber), width_(width), height_(height), surface_(nullptr)
{
}

GLSurface* HeadlessViewWindow::createGLSurface(const GLPixelFormat& format)
{
    EglSurface* surface = new EglSurface();
    if (!surface->Create(width_, height_, format)) {
        std::fprintf(stderr, "zarnet: no headless OpenGL: %s\n", surface->Error().c_str());
        delete surface;
        return nullptr;
    }
    surface_ = surface;
    return surface;
}
