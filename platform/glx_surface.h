#pragma once
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

#include "platform/saver_backend.h"

// A window for GL drawing and the colormap made for it; 0s when none.
struct GLWindow {
    Window window = 0;
    Colormap colormap = 0;
};

// Makes a black, borderless, unmapped window of `visual` (usually one
// GlxSurface::ChooseVisual picked) inside `parent`, at x, y and
// width x height (sides below 1 count as 1), with a colormap of its own and
// the events of `eventMask`. The caller owns both and frees them. X errors
// are caught: a window the server refuses comes back as 0s. A GlxSurface
// drawing into a window made here inside the root window takes it to stay
// as long as the surface does (the caller destroys it after the surface).
GLWindow MakeGLWindow(Display* display, Window parent, const XVisualInfo& visual, int x, int y, int width, int height,
                      long eventMask = 0);

// A GL context on an X11 window through GLX, made for the window's own
// visual, drawing into the window (its back buffer when the visual is
// double-buffered, which show() then swaps). The X11 backend's surface.
class GlxSurface {
public:
    GlxSurface() = default;
    ~GlxSurface();  // Destroy()
    GlxSurface(const GlxSurface&) = delete;
    GlxSurface& operator=(const GlxSurface&) = delete;

    // Picks the visual of `screen` that best meets `format` (RGBA, the
    // colour and depth sizes, double buffering, not a slow configuration
    // when `accelerated`), for making a window to draw into. False, with
    // `*visual` untouched, when the server offers no GL visual at all.
    static bool ChooseVisual(Display* display, int screen, const GLPixelFormat& format, XVisualInfo* visual);

    // Makes a context for `window`, which may belong to another client (the
    // XScreenSaver window). When the window's visual has no RGBA GL or too
    // small a depth buffer, the surface draws into a child window of its
    // own, of the best visual for `format`, covering the window and resized
    // by setFrameSize. X errors are caught. False, with Error() saying why,
    // when the display has no GL visual or the context can't be made.
    // windowMayVanish: the window belongs to another client (a host's), so
    // before each frame the server is asked whether it still exists.
    bool Create(Display* display, Window window, const GLPixelFormat& format, bool windowMayVanish);
    // Releases the context; safe on a half-made surface and twice. The
    // window stays (it isn't the surface's).
    void Destroy();

    // Leaves the window for a 1 x 1 unmapped window of the same visual, made
    // and owned here: from now on the context draws (invisibly) there. For
    // releasing GL objects when the window's owner may have destroyed it.
    // False (the surface unchanged) when that window can't be made.
    bool MoveToPrivateDrawable();

    // Makes the context current. False when the window system refuses.
    bool makeCurrentContext();
    // Binds the context for the end of a frame, without asking whether the
    // window is still there; false when it can't be bound.
    bool bindForFlush();
    // Shows the frame: swaps the back buffer, or flushes a single-buffered one.
    void show();
    // The new size; a child window made for the surface follows it.
    void setFrameSize(int width, int height);
    int width() const;
    int height() const;

    bool doubleBuffered() const { return doubleBuffered_; }
    // What the context draws into: the given window, the child window made
    // for it, or the private one.
    Window window() const { return window_; }
    const std::string& Error() const { return error_; }

private:
    Display* display_ = nullptr;    // the connection; not owned
    Window window_ = 0;             // the window drawn into; not owned unless it is privateWindow_
    VisualID visualId_ = 0;         // the window's visual
    Window privateWindow_ = 0;      // MoveToPrivateDrawable's window; owned, 0 = none
    Colormap privateColormap_ = 0;  // its colormap; owned, 0 = none
    Window childWindow_ = 0;        // child of the given window drawn into instead; owned, 0 = none
    Colormap childColormap_ = 0;    // its colormap; owned, 0 = none
    GLXContext context_ = nullptr;  // owned
    bool doubleBuffered_ = false;   // the window's visual has a back buffer
    bool checkWindow_ = true;       // the window may be destroyed by another client: asked before each frame
    int width_ = 0;                 // last size given by setFrameSize, pixels
    int height_ = 0;                // pixels
    std::string error_;             // why Create failed
};
