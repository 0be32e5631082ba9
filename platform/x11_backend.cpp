#include "platform/x11_backend.h"

#include <cstdio>
#include <cstdlib>

#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/glx_surface.h"
#include "platform/posix_small_file.h"

namespace {

X11Desktop* Self(void* desktop)
{
    return static_cast<X11Desktop*>(desktop);
}

GlxSurface* Glx(const SaverSurface* surface)
{
    return surface ? static_cast<GlxSurface*>(surface->native) : nullptr;
}

ScreenList Screens(void* desktop)
{
    ScreenList list;
    if (!GetX11Screens(Self(desktop)->display, &list))
        list.screens.clear();
    return list;
}

bool GrabScreen(void* desktop, const ScreenInfo& screen, ScreenGrab* grab)
{
    const X11Desktop* x = Self(desktop);
    // Under XScreenSaver the root shows its (black) window by now: its
    // screenshot of the desktop first, then the root as it is. Users who
    // told XScreenSaver that hacks mustn't show the desktop get no grab
    // (the view falls back to the wallpaper).
    if (x->saverWindow) {
        const char* home = std::getenv("HOME");
        std::string settings;
        if (home && *home && ReadSmallFile((std::string(home) + "/.xscreensaver").c_str(), 1 << 20, &settings) &&
            !XScreenSaverAllowsDesktopGrab(settings))
            return false;
        if (GrabX11SaverScreenshot(x->display, x->saverWindow, screen.frame, grab))
            return true;
    }
    return GrabX11Screen(x->display, screen.frame, grab);
}

DesktopBackground Background(void* desktop)
{
    return ReadDesktopBackground(Screens(desktop));
}

std::string ResourcePath(void*)
{
    return BundleResourcePath();
}

const char* PreferenceFolder(void*)
{
    return nullptr;
}

double Monotonic(void*)
{
    return MonotonicSeconds();
}

double Wall(void*)
{
    return WallSeconds();
}

// The monitor holding the largest part of the window; -1 when it lies on
// none (or can't be measured).
int WindowScreen(void* desktop, const SaverWindow& window)
{
    Display* display = Self(desktop)->display;
    ScreenRect frame;
    if (!X11WindowFrame(display, window.id, &frame))
        return -1;
    ScreenList list;
    if (!GetX11Screens(display, &list))
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

SaverSurface* CreateSurface(void* desktop, const SaverWindow& window, const GLPixelFormat& format)
{
    GlxSurface* glx = new GlxSurface();
    if (!glx->Create(Self(desktop)->display, window.id, format, window.mayVanish)) {
        std::fprintf(stderr, "zarnet: %s\n", glx->Error().c_str());
        delete glx;
        return nullptr;
    }
    SaverSurface* surface = new SaverSurface();
    surface->native = glx;
    return surface;
}

bool MakeCurrent(SaverSurface* surface)
{
    return Glx(surface)->makeCurrentContext();
}

void Flush(SaverSurface* surface)
{
    GlxSurface* glx = Glx(surface);
    if (!glx->bindForFlush())
        return;
    SurfaceWillShow(surface);
    glx->show();
}

void Resize(SaverSurface* surface, int width, int height)
{
    Glx(surface)->setFrameSize(width, height);
}

ViewSize Size(const SaverSurface* surface)
{
    return ViewSize{Glx(surface)->width(), Glx(surface)->height()};
}

void DestroySurface(SaverSurface* surface)
{
    delete Glx(surface);
    delete surface;
}

}  // namespace

SaverBackend ConnectX11(X11Desktop* desktop)
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

bool X11WindowFrame(Display* display, Window window, ScreenRect* frame)
{
    XWindowAttributes attributes;
    if (!display || !XGetWindowAttributes(display, window, &attributes))
        return false;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child))
        return false;
    *frame = ScreenRect{x, y, attributes.width, attributes.height};
    return true;
}

Window X11SurfaceDrawable(const SaverSurface* surface)
{
    return surface ? Glx(surface)->window() : 0;
}

void X11SurfaceLeaveWindow(SaverSurface* surface)
{
    if (surface)
        Glx(surface)->MoveToPrivateDrawable();
}
