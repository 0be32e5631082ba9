#pragma once
#include <functional>

// What a view asks of the OpenGL surface it draws into. Only intent: the
// surface picks the nearest configuration its window system offers.
struct GLPixelFormat {
    bool accelerated = true;   // prefer configurations not marked slow
    int colorSize = 32;        // bits per pixel of colour (8 per channel with alpha)
    int depthSize = 16;        // bits of depth, at least
    bool doubleBuffer = true;  // draw into a back buffer, shown by flushBuffer
};

// An OpenGL context together with what it draws into: a window (GLX) or an
// offscreen target (EGL). The view's stand-in for its OpenGL subview.
class GLSurface {
public:
    virtual ~GLSurface() = default;
    // Makes this surface's context current on the calling thread. False when
    // the window system refuses (the window is gone).
    virtual bool makeCurrentContext() = 0;
    // Shows what was drawn since the last flush (swaps the back buffer).
    // Runs the before-flush hook first, with the context current.
    virtual void flushBuffer() = 0;
    // The view's new size in pixels. A window surface follows its window by
    // itself; an offscreen surface remakes its target (the context stays).
    virtual void setFrameSize(int width, int height) = 0;
    virtual int width() const = 0;   // pixels
    virtual int height() const = 0;  // pixels

    // Called by flushBuffer just before the frame is shown, with the context
    // current: the host's own additions to the frame (the frame-rate read-out).
    void setBeforeFlush(std::function<void()> hook) { beforeFlush_ = std::move(hook); }
    // Frames shown so far.
    long long flushCount() const { return flushCount_; }

protected:
    // For the subclasses' flushBuffer: runs the hook and counts the frame.
    void prepareFlush()
    {
        if (beforeFlush_)
            beforeFlush_();
        ++flushCount_;
    }

private:
    std::function<void()> beforeFlush_;  // host's overlay; may be empty
    long long flushCount_ = 0;           // flushBuffer calls so far
};
