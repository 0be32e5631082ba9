#pragma once
#include <functional>
#include <string>

#include "platform/desktop_background.h"
#include "platform/screen_grab.h"
#include "platform/screens.h"

// What the views ask of the window system, as one table of plain functions
// that a backend fills: ConnectX11 (x11_backend.h: an X display through
// GLX) or ConnectHeadless (headless_backend.h: virtual screens, a stepped
// clock and offscreen EGL). The program picks one at run time and hands its
// views a pointer to the table, which outlives them.

// A size in pixels.
struct ViewSize {
    int width;   // pixels
    int height;  // pixels
};

// What a view asks of the OpenGL surface it draws into. Only intent: the
// backend picks the nearest configuration its window system offers.
struct GLPixelFormat {
    bool accelerated = true;   // prefer configurations not marked slow
    int colorSize = 32;        // bits per pixel of colour (8 per channel with alpha)
    int depthSize = 16;        // bits of depth, at least
    bool doubleBuffer = true;  // draw into a back buffer, shown by the flush
};

// The window a view is shown in, as its program made or was given it.
struct SaverWindow {
    unsigned long id = 0;    // X11: the window; 0 headless
    bool mayVanish = false;  // X11: another client owns the window (a host's, GTK's) and may destroy it
    int screen = 0;          // headless: the virtual screen holding the window
    ViewSize size = {0, 0};  // headless: the window's size, pixels
};

// An OpenGL context with what it draws into (a window, an offscreen
// target): the view's stand-in for its OpenGL subview. Made and destroyed
// by the backend's table.
struct SaverSurface {
    void* native = nullptr;             // the backend's context and target
    std::function<void()> beforeFlush;  // run by the flush just before the frame shows, context current; may be empty
    long long flushCount = 0;           // frames shown so far
};

// For a backend's flush, with the context current: the host's additions to
// the frame (the frame-rate read-out), then the count.
inline void SurfaceWillShow(SaverSurface* surface)
{
    if (surface->beforeFlush)
        surface->beforeFlush();
    ++surface->flushCount;
}

// The backend's table. Every function takes `desktop`, the backend's own
// state, first, except those of a surface.
struct SaverBackend {
    void* desktop = nullptr;  // the backend's state; not owned

    // The screens in the backend's order, the main one first.
    ScreenList (*screens)(void* desktop) = nullptr;
    // What `screen` shows now, at its full size, RGBA, bottom row first.
    // False when it can't be read; `*grab` is then untouched.
    bool (*grabScreen)(void* desktop, const ScreenInfo& screen, ScreenGrab* grab) = nullptr;
    // The desktop's wallpaper settings; empty when the desktop names none.
    DesktopBackground (*desktopBackground)(void* desktop) = nullptr;
    // The folder that holds "zar.vnt" and "vantor.morvence" (with or
    // without a trailing "/").
    std::string (*resourcePath)(void* desktop) = nullptr;
    // The folder of the preference store; null for the user's configuration folder.
    const char* (*preferenceFolder)(void* desktop) = nullptr;
    // Seconds on a clock that never jumps (arbitrary origin): frame timing.
    double (*monotonicSeconds)(void* desktop) = nullptr;
    // Seconds since 1970-01-01 UTC: the random seed.
    double (*wallSeconds)(void* desktop) = nullptr;
    // The number of the screen that holds (most of) `window`; -1 when it
    // lies on none.
    int (*windowScreen)(void* desktop, const SaverWindow& window) = nullptr;

    // A surface drawing into `window`, sized as the window is; null (said
    // on stderr) when no configuration can be had. destroySurface frees it.
    SaverSurface* (*createSurface)(void* desktop, const SaverWindow& window, const GLPixelFormat& format) = nullptr;
    // Makes the surface's context current on the calling thread. False when
    // the window system refuses (the window is gone).
    bool (*makeCurrent)(SaverSurface* surface) = nullptr;
    // Shows what was drawn since the last flush (swaps the back buffer),
    // after the surface's beforeFlush.
    void (*flush)(SaverSurface* surface) = nullptr;
    // The view's new size. A window surface follows its window by itself;
    // an offscreen one remakes its target (the context stays).
    void (*resize)(SaverSurface* surface, int width, int height) = nullptr;
    // The surface's size, pixels.
    ViewSize (*size)(const SaverSurface* surface) = nullptr;
    // Releases the context (and what the backend made for it); null is fine.
    void (*destroySurface)(SaverSurface* surface) = nullptr;
};
