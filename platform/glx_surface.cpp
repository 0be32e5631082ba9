#include "platform/glx_surface.h"

#include <GL/gl.h>

#include <algorithm>

#include "platform/x11_error_trap.h"

namespace {

// True when `window` is gone (destroyed by its owner), asked of the server.
bool WindowGone(Display* display, Window window)
{
    X11ErrorTrap trap(display);
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    return !XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth) || trap.Failed();
}

// Makes `context` current on `drawable` unless it is already.
bool Bind(Display* display, GLXDrawable drawable, GLXContext context)
{
    if (glXGetCurrentContext() == context && glXGetCurrentDrawable() == drawable)
        return true;
    return glXMakeCurrent(display, drawable, context) == True;
}

int Config(Display* display, XVisualInfo* vi, int attribute)
{
    int value = 0;
    if (glXGetConfig(display, vi, attribute, &value) != 0)
        return 0;
    return value;
}

// How well a visual meets the format; negative when GL can't draw RGBA in it.
int Score(Display* display, XVisualInfo* vi, const GLPixelFormat& format)
{
    if (!Config(display, vi, GLX_USE_GL) || !Config(display, vi, GLX_RGBA) || vi->c_class != TrueColor)
        return -1;
    int score = 0;
    const int colour = Config(display, vi, GLX_RED_SIZE) + Config(display, vi, GLX_GREEN_SIZE) +
                       Config(display, vi, GLX_BLUE_SIZE) + Config(display, vi, GLX_ALPHA_SIZE);
    const int depth = Config(display, vi, GLX_DEPTH_SIZE);
    if (colour >= format.colorSize - 8)  // 24-bit visuals carry 32-bit pixels
        score += 8;
    if (depth >= format.depthSize)
        score += 8;
    if (Config(display, vi, GLX_DOUBLEBUFFER) == (format.doubleBuffer ? 1 : 0))
        score += 4;
    if (Config(display, vi, GLX_STEREO) == 0)
        score += 1;
    int caveat = 0;
    // GLX_VISUAL_CAVEAT_EXT is answered by every GLX 1.3 server.
    if (format.accelerated && glXGetConfig(display, vi, GLX_VISUAL_CAVEAT_EXT, &caveat) == 0 &&
        caveat != GLX_SLOW_VISUAL_EXT)
        score += 2;
    if (vi->depth == 24)  // the usual window depth: no ARGB compositing visual
        score += 2;
    return score;
}

}  // namespace

GlxSurface::~GlxSurface()
{
    Destroy();
}

GLWindow MakeGLWindow(Display* display, Window parent, const XVisualInfo& visual, int x, int y, int width, int height,
                      long eventMask)
{
    GLWindow made;
    X11ErrorTrap trap(display);
    XSetWindowAttributes attributes = {};
    attributes.colormap = XCreateColormap(display, RootWindow(display, visual.screen), visual.visual, AllocNone);
    attributes.background_pixel = BlackPixel(display, visual.screen);
    attributes.border_pixel = 0;
    attributes.event_mask = eventMask;
    const Window window = XCreateWindow(
        display, parent, x, y, static_cast<unsigned>(std::max(width, 1)), static_cast<unsigned>(std::max(height, 1)), 0,
        visual.depth, InputOutput, visual.visual, CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    if (trap.Failed() || !window) {
        trap.Release();
        if (window)
            XDestroyWindow(display, window);
        if (attributes.colormap)
            XFreeColormap(display, attributes.colormap);
        return made;
    }
    made.window = window;
    made.colormap = attributes.colormap;
    return made;
}

bool GlxSurface::ChooseVisual(Display* display, int screen, const GLPixelFormat& format, XVisualInfo* visual)
{
    if (!display)
        return false;
    XVisualInfo templ = {};
    templ.screen = screen;
    int count = 0;
    XVisualInfo* list = XGetVisualInfo(display, VisualScreenMask, &templ, &count);
    if (!list)
        return false;
    int best = -1, bestScore = -1;
    for (int i = 0; i < count; ++i) {
        int score = Score(display, &list[i], format);
        if (score > bestScore) {
            best = i;
            bestScore = score;
        }
    }
    if (best >= 0)
        *visual = list[best];
    XFree(list);
    return best >= 0;
}

bool GlxSurface::Create(Display* display, Window window, const GLPixelFormat& format, bool windowMayVanish)
{
    Destroy();
    error_.clear();
    if (!display || !window) {
        error_ = "no window";
        return false;
    }
    X11ErrorTrap trap(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || trap.Failed()) {
        error_ = "the window can't be measured";
        return false;
    }
    XVisualInfo templ = {};
    templ.visualid = XVisualIDFromVisual(attributes.visual);
    int count = 0;
    XVisualInfo* vi = XGetVisualInfo(display, VisualIDMask, &templ, &count);
    if (!vi || count < 1) {
        error_ = "the window's visual is unknown";
        return false;
    }
    Window target = window;
    if (Score(display, vi, format) < 0 || Config(display, vi, GLX_DEPTH_SIZE) < format.depthSize) {
        // A window made for other drawing (a settings dialog's preview
        // area) may have no GL or no depth buffer: draw into a child
        // window of our own visual that covers it.
        const int screen = vi->screen;
        XFree(vi);
        vi = nullptr;
        XVisualInfo chosen;
        if (!ChooseVisual(display, screen, format, &chosen)) {
            error_ = "the window's visual has no RGBA OpenGL, and the display offers none";
            return false;
        }
        const GLWindow child = MakeGLWindow(display, window, chosen, 0, 0, attributes.width, attributes.height);
        if (child.window)
            XMapWindow(display, child.window);
        if (!child.window || trap.Failed()) {
            error_ = "no window of a GL visual inside the window";
            trap.Release();
            if (child.window)
                XDestroyWindow(display, child.window);
            if (child.colormap)
                XFreeColormap(display, child.colormap);
            return false;
        }
        target = child.window;
        childWindow_ = child.window;
        childColormap_ = child.colormap;
        templ.visualid = chosen.visualid;
        vi = XGetVisualInfo(display, VisualIDMask, &templ, &count);
        if (!vi || count < 1) {
            display_ = display;
            Destroy();
            error_ = "the chosen visual is unknown";
            return false;
        }
    }
    doubleBuffered_ = Config(display, vi, GLX_DOUBLEBUFFER) != 0;
    visualId_ = vi->visualid;
    context_ = glXCreateContext(display, vi, nullptr, True);
    XFree(vi);
    if (!context_ || trap.Failed()) {
        if (context_)
            glXDestroyContext(display, context_);
        context_ = nullptr;
        display_ = display;
        Destroy();
        error_ = "no GLX context for the window";
        return false;
    }
    display_ = display;
    window_ = target;
    // A host's window, and a child made inside it, may go at any moment; the
    // root and the program's own windows stay.
    checkWindow_ = windowMayVanish && window != attributes.root;
    width_ = attributes.width;
    height_ = attributes.height;
    return true;
}

void GlxSurface::Destroy()
{
    if (display_ && context_) {
        if (glXGetCurrentContext() == context_)
            glXMakeCurrent(display_, None, nullptr);
        glXDestroyContext(display_, context_);
    }
    if (display_ && privateWindow_)
        XDestroyWindow(display_, privateWindow_);
    if (display_ && privateColormap_)
        XFreeColormap(display_, privateColormap_);
    if (display_ && childWindow_) {
        // Gone already when its parent went.
        X11ErrorTrap trap(display_);
        XDestroyWindow(display_, childWindow_);
    }
    if (display_ && childColormap_)
        XFreeColormap(display_, childColormap_);
    privateWindow_ = 0;
    privateColormap_ = 0;
    childWindow_ = 0;
    childColormap_ = 0;
    context_ = nullptr;
    display_ = nullptr;
    window_ = 0;
    checkWindow_ = true;
}

bool GlxSurface::MoveToPrivateDrawable()
{
    if (!display_ || !context_)
        return false;
    if (privateWindow_)
        return true;
    XVisualInfo templ = {};
    templ.visualid = visualId_;
    int count = 0;
    XVisualInfo* vi = XGetVisualInfo(display_, VisualIDMask, &templ, &count);
    if (!vi || count < 1)
        return false;
    const GLWindow made = MakeGLWindow(display_, RootWindow(display_, vi->screen), *vi, 0, 0, 1, 1);
    XFree(vi);
    if (!made.window)
        return false;
    // Off the old window first: a current binding to it would be used again.
    if (glXGetCurrentContext() == context_)
        glXMakeCurrent(display_, None, nullptr);
    privateWindow_ = made.window;
    privateColormap_ = made.colormap;
    window_ = made.window;
    return true;
}

bool GlxSurface::makeCurrentContext()
{
    if (!display_ || !context_)
        return false;
    // Mesa's software renderer asks the server for the window's size when it
    // first draws after a swap or a new binding; finding the window gone, it
    // makes buffers of no size and then writes past them (a corrupted heap,
    // a crash later). A host's window may be destroyed at any moment, so for
    // one the server is asked first: from a window that is gone the context
    // moves to a window of its own, where drawing is unseen and harmless.
    // (Every frame begins here; the flush that ends it doesn't ask again.
    // The root window and our own top-level windows aren't asked about.)
    if (checkWindow_ && window_ != privateWindow_ && WindowGone(display_, window_) && !MoveToPrivateDrawable())
        return false;
    return Bind(display_, window_, context_);
}

bool GlxSurface::bindForFlush()
{
    return display_ && context_ && Bind(display_, window_, context_);
}

void GlxSurface::show()
{
    if (doubleBuffered_)
        glXSwapBuffers(display_, window_);
    else
        glFlush();
}

void GlxSurface::setFrameSize(int width, int height)
{
    width_ = width;
    height_ = height;
    if (display_ && childWindow_ && window_ == childWindow_ && width > 0 && height > 0)
        XResizeWindow(display_, childWindow_, static_cast<unsigned>(width), static_cast<unsigned>(height));
}

int GlxSurface::width() const
{
    return width_;
}

int GlxSurface::height() const
{
    return height_;
}
