#include "platform/headless_backend.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/bundle.h"
#include "platform/egl_headless.h"

namespace {

HeadlessDesktop* Self(void* desktop)
{
    return static_cast<HeadlessDesktop*>(desktop);
}

HeadlessGLContext* Context(const SaverSurface* surface)
{
    return static_cast<HeadlessGLContext*>(surface->native);
}

ScreenList Screens(void* desktop)
{
    return Self(desktop)->screens;
}

bool GrabScreen(void* desktop, const ScreenInfo& screen, ScreenGrab* grab)
{
    const HeadlessDesktop* d = Self(desktop);
    const int w = screen.frame.width, h = screen.frame.height;
    if (d->image.empty() || w <= 0 || h <= 0)
        return false;
    // Nearest-neighbour stretch of the image over the screen.
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    for (int y = 0; y < h; ++y) {
        const int sy = static_cast<int>(static_cast<long long>(y) * d->imageHeight / h);
        for (int x = 0; x < w; ++x) {
            const int sx = static_cast<int>(static_cast<long long>(x) * d->imageWidth / w);
            std::memcpy(&pixels[(static_cast<size_t>(y) * w + x) * 4],
                        &d->image[(static_cast<size_t>(sy) * d->imageWidth + sx) * 4], 4);
        }
    }
    return MakeGrabFromTopFirst(w, h, pixels.data(), grab);
}

DesktopBackground Background(void* desktop)
{
    return Self(desktop)->background;
}

std::string ResourcePath(void* desktop)
{
    return Self(desktop)->resourcePath.empty() ? BundleResourcePath() : Self(desktop)->resourcePath;
}

const char* PreferenceFolder(void* desktop)
{
    return Self(desktop)->preferenceFolder.empty() ? nullptr : Self(desktop)->preferenceFolder.c_str();
}

double Monotonic(void* desktop)
{
    return Self(desktop)->monotonic;
}

double Wall(void* desktop)
{
    return Self(desktop)->wall;
}

int WindowScreen(void*, const SaverWindow& window)
{
    return window.screen;
}

// The target is always RGBA8 with a 24-bit depth buffer, at least 1 x 1 (a
// view's surface starts at zero size until it is resized): the format is
// intent only.
SaverSurface* CreateSurface(void*, const SaverWindow& window, const GLPixelFormat&)
{
    HeadlessGLContext* context = new HeadlessGLContext();
    if (!context->Create(std::max(1, window.size.width), std::max(1, window.size.height))) {
        std::fprintf(stderr, "zarnet: no headless OpenGL: %s\n", context->Error().c_str());
        delete context;
        return nullptr;
    }
    SaverSurface* surface = new SaverSurface();
    surface->native = context;
    return surface;
}

bool MakeCurrent(SaverSurface* surface)
{
    HeadlessGLContext* context = Context(surface);
    if (context->Width() <= 0)
        return false;
    context->MakeCurrent();
    return true;
}

// Finishes the frame; the driver reads it back with HeadlessReadPixels.
void Flush(SaverSurface* surface)
{
    HeadlessGLContext* context = Context(surface);
    if (context->Width() <= 0)
        return;
    context->MakeCurrent();
    SurfaceWillShow(surface);
    glFlush();
}

void Resize(SaverSurface* surface, int width, int height)
{
    HeadlessGLContext* context = Context(surface);
    width = std::max(1, width);
    height = std::max(1, height);
    if (context->Width() > 0 && (width != context->Width() || height != context->Height()))
        context->Resize(width, height);
}

ViewSize Size(const SaverSurface* surface)
{
    return ViewSize{Context(surface)->Width(), Context(surface)->Height()};
}

void DestroySurface(SaverSurface* surface)
{
    if (!surface)
        return;
    delete Context(surface);
    delete surface;
}

}  // namespace

void SetDesktopImage(HeadlessDesktop* desktop, int width, int height, std::vector<uint8_t> rgbaTopFirst)
{
    if (width <= 0 || height <= 0 ||
        rgbaTopFirst.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        desktop->image.clear();
        desktop->imageWidth = desktop->imageHeight = 0;
        return;
    }
    desktop->imageWidth = width;
    desktop->imageHeight = height;
    desktop->image = std::move(rgbaTopFirst);
}

SaverBackend ConnectHeadless(HeadlessDesktop* desktop)
{
    SaverBackend table;
    table.desktop = desktop;
    table.screens = Screens;
    table.grabScreen = GrabScreen;
    table.desktopBackground = Background;
    table.resourcePath = ResourcePath;
    table.preferenceFolder = PreferenceFolder;
    table.monotonicSeconds = Monotonic;
    table.wallSeconds = Wall;
    table.windowScreen = WindowScreen;
    table.createSurface = CreateSurface;
    table.makeCurrent = MakeCurrent;
    table.flush = Flush;
    table.resize = Resize;
    table.size = Size;
    table.destroySurface = DestroySurface;
    return table;
}

std::vector<uint8_t> HeadlessReadPixels(const SaverSurface* surface)
{
    return surface ? Context(surface)->ReadPixels() : std::vector<uint8_t>();
}
