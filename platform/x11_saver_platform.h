#pragma once
#include <X11/Xlib.h>

#include "platform/clock.h"
#include "platform/screen_saver_platform.h"
#include "platform/view_window.h"

// The desktop services on an X11 display: RandR monitors, root-window grabs,
// the desktop's wallpaper setting, the system clock and the data files of
// this installation.
class X11SaverPlatform final : public ScreenSaverPlatform {
public:
    // `display` is not owned and must outlive the platform.
    explicit X11SaverPlatform(Display* display);

    // The window an XScreenSaver-style host handed over (0 = none): grabs
    // read the screenshot the host keeps for it first.
    void setSaverWindow(Window window) { saverWindow_ = window; }

    ScreenList screens() override;
    bool grabScreen(const ScreenInfo& screen, ScreenGrab* grab) override;
    DesktopBackground desktopBackground() override;
    Clock& clock() override;
    std::string resourcePath() override;

private:
    Display* display_;        // the connection; not owned
    Window saverWindow_ = 0;  // the host's window, 0 = none; not owned
    SystemClock clock_;       // monotonic frame time, wall-clock seed
};

// An X11 window that a view draws into through GLX: the XScreenSaver
// window, the root window or one of the program's own.
class X11ViewWindow final : public ScreenSaverWindow {
public:
    // Neither is owned; the window must exist while views use it.
    // windowMayVanish: another client owns the window and may destroy it.
    X11ViewWindow(Display* display, Window window, bool windowMayVanish);

    // The monitor holding the largest part of the window; -1 when it lies
    // on none (or can't be measured).
    int screenNumber() override;
    // A GlxSurface for the window's visual; null when it has no RGBA GL.
    GLSurface* createGLSurface(const GLPixelFormat& format) override;

    // The window's rectangle in root coordinates; false when it can't be measured.
    bool rootFrame(ScreenRect* frame) const;
    // For the end of a run on a window whose owner may already have
    // destroyed it: the surface made here leaves the window for a private
    // off-screen drawable, so releasing the view's GL objects sends nothing
    // to the window. Harmless when no surface was made.
    void leaveWindow();
    Window window() const { return window_; }
    // What the view's surface draws into: the window, or a child window the
    // surface made inside it; the window until a surface is made.
    Window drawable() const;

private:
    Display* display_;                     // not owned
    Window window_;                        // not owned
    bool windowMayVanish_;                 // another client may destroy window_
    class GlxSurface* surface_ = nullptr;  // the surface made for the window; owned by the view
};
