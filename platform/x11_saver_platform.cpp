#include "platform/x11_saver_platform.h"

#include <cstdio>
#include <cstdlib>

#include "platform/bundle.h"
#include "platform/glx_surface.h"
#include "platform/posix_small_file.h"

X11SaverPlatform::X11SaverPlatform(Display* display) : display_(display) {}

ScreenList X11SaverPlatform::screens()
{
    ScreenList list;
    if (!GetX11Screens(display_, &list))
        list.screens.clear();
    return list;
}

bool X11SaverPlatform::grabScreen(const ScreenInfo& screen, ScreenGrab* grab)
{
    // Under XScreenSaver the root shows its (black) window by now: its
    // screenshot of the desktop first, then the root as it is. Users who
    // told XScreenSaver that hacks mustn't show the desktop get no grab
    // (the view falls back to the wallpaper).
    if (saverWindow_) {
        const char* home = std::getenv("HOME");
        std::string settings;
        if (home && *home && ReadSmallFile((std::string(home) + "/.xscreensaver").c_str(), 1 << 20, &settings) &&
            !XScreenSaverAllowsDesktopGrab(settings))
            return false;
        if (GrabX11SaverScreenshot(display_, saverWindow_, screen.frame, grab))
            return true;
    }
    return GrabX11Screen(display_, screen.frame, grab);
}

DesktopBackground X11SaverPlatform::desktopBackground()
{
    return ReadDesktopBackground(screens());
}

Clock& X11SaverPlatform::clock()
{
    return clock_;
}

std::string X11SaverPlatform::resourcePath()
{
    return BundleResourcePath();
}

X11ViewWindow::X11ViewWindow(Display* display, Window window, bool windowMayVanish)
    : display_(display), window_(window), windowMayVanish_(windowMayVanish)
{
}

bool X11ViewWindow::rootFrame(ScreenRect* frame) const
{
    XWindowAttributes attributes;
    if (!display_ || !XGetWindowAttributes(display_, window_, &attributes))
        return false;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display_, window_, attributes.root, 0, 0, &x, &y, &child))
        return false;
    *frame = ScreenRect{x, y, attributes.width, attributes.height};
    return true;
}

int X11ViewWindow::screenNumber()
{
    ScreenRect frame;
    if (!rootFrame(&frame))
        return -1;
    ScreenList list;
    if (!GetX11Screens(display_, &list))
        return -1;
    int best = -1;
    long long bestArea = 0;
    for (const ScreenInfo& s : list.screens) {
        const ScreenRect r = IntersectRects(s.frame, frame);
        const long long area = static_cast<long long>(r.width) * r.height;
        if (!IsEmptyRect(r) && area > bestArea) {
            best = s.number;
            bestArea = area;
        }
    }
    return best;
}

GLSurface* X11ViewWindow::createGLSurface(const GLPixelFormat& format)
{
    GlxSurface* surface = new GlxSurface();
    if (!surface->Create(display_, window_, format, windowMayVanish_)) {
        std::fprintf(stderr, "zarnet: %s\n", surface->Error().c_str());
        delete surface;
        return nullptr;
    }
    surface_ = surface;
    return surface;
}

Window X11ViewWindow::drawable() const
{
    return surface_ ? surface_->window() : window_;
}

void X11ViewWindow::leaveWindow()
{
    if (surface_)
        surface_->MoveToPrivateDrawable();
}
