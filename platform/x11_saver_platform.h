#pragma once
#include <X11/Xlib.h>

#include "platform/ScreenSaverView.h"
#include "platform/clock.h"
#include "platform/screen_saver_platform.h"

// The desktop services on an X11 display: RandR monitors, root-window grabs,
// the desktop's wallpaper setting, the system clock and the data files of
// this installation.
class X11SaverPlatform final : public ScreenSaverPlatform {
public:
    // `display` is not owned and must outlive the platform.
    explicit X11SaverPlatform(Display* display);

    ScreenList screens() override;
    bool grabScreen(const ScreenInfo& screen, ScreenGrab* grab) override;
    DesktopBackground desktopBackground() override;
    Clock& clock() override;
    std::string resourcePath() override;

private:
    Display* display_;   // the connection; not owned
    SystemClock clock_;  // monotonic frame time, wall-clock seed
};

// An X11 window that a view draws into through GLX: the XScreenSaver
// window, the root window or one of the program's own.
class X11ViewWindow final : public ScreenSaverWindow {
public:
    // Neither is owned; the window must exist while views use it.
    X11ViewWindow(Display* display, Window window);

    // The monitor holding the largest part of the window; -1 when it lies
    // on none (or can't be measured).
    int screenNumber() override;
    // A GlxSurface for the window's visual; null when it has no RGBA GL.
    GLSurface* createGLSurface(const GLPixelFormat& format) override;

    // The window's rectangle in root coordinates; false when it can't be measured.
    bool rootFrame(ScreenRect* frame) const;
    Window window() const { return window_; }

private:
    Display* display_;  // not owned
    Window window_;     // not owned
};
