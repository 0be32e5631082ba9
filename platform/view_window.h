#pragma once
#include "platform/gl_surface.h"

// A size in pixels.
struct ViewSize {
    int width;   // pixels
    int height;  // pixels
};

// The window a view is shown in, as its host driver made or was given it.
class ScreenSaverWindow {
public:
    virtual ~ScreenSaverWindow() = default;
    // The number of the screen that holds (most of) the window; -1 when the
    // window lies on no screen.
    virtual int screenNumber() = 0;
    // Makes an OpenGL surface that draws into this window, sized as the
    // window is. Null when no configuration can be had. The caller owns it.
    virtual GLSurface* createGLSurface(const GLPixelFormat& format) = 0;
};
