#pragma once
#include <functional>
#include <vector>

#include "platform/saver_backend.h"

class SheetWindow;  // the configuration sheet's window (settings program)

// Receives the caption and the text of each of a view's alerts; both are
// valid only during the call. Returns once the alert has been shown.
using AlertRoute = std::function<void(const char* caption, const char* text)>;

// The base class of a screen-saver view: the host contract that a host
// driver calls, in this order:
//   initWithFrame:isPreview:  once, right after construction;
//   setFrameSize:             with the real size, and again whenever it changes;
//   startAnimation            before the first frame;
//   animateOneFrame           on every tick of the animation timer, while
//                             isAnimating() (interval animationTimeInterval());
//   stopAnimation             when the saver stops;
//   dealloc                   the destructor;
// hasConfigureSheet and configureSheet at any time in between. The view's
// own operations (bounds, isPreview, its window's screen, the timer
// interval, subviews) are what a subclass uses of its host.
class ScreenSaverView {
public:
    // A view shown in `window`, served by the backend's table `backend`;
    // neither is owned and both must outlive the view.
    ScreenSaverView(const SaverBackend* backend, const SaverWindow* window);
    virtual ~ScreenSaverView();
    ScreenSaverView(const ScreenSaverView&) = delete;
    ScreenSaverView& operator=(const ScreenSaverView&) = delete;

    // Sets the frame (in root-window coordinates of the desktop; the bounds
    // get its size at origin 0, 0) and the preview flag. False when the view
    // has no backend or no window: the driver then deletes it unused.
    virtual bool initWithFrame(ScreenRect frame, bool isPreview);
    // Takes the view's new size.
    virtual void setFrameSize(ViewSize size);
    // Starts the animation timer: from now on isAnimating() is true.
    virtual void startAnimation();
    // Stops the animation timer.
    virtual void stopAnimation();
    // One tick of the timer. The base class draws nothing.
    virtual void animateOneFrame();
    // Whether the view offers a configuration sheet. The base class: no.
    virtual bool hasConfigureSheet();
    // The configuration sheet's window; null when there is none.
    virtual SheetWindow* configureSheet();
    // Whether the host should fade the display's gamma around the saver.
    static bool performGammaFade();

    bool isPreview() const { return isPreview_; }
    // The view's own rectangle: origin 0, 0 and the view's size.
    ScreenRect bounds() const { return ScreenRect{0, 0, size_.width, size_.height}; }
    // The frame the view was created with, in root-window coordinates.
    ScreenRect frame() const { return frame_; }
    const SaverWindow* window() const { return window_; }
    const SaverBackend* backend() const { return backend_; }
    bool isAnimating() const { return animating_; }
    // Seconds between the timer's ticks.
    double animationTimeInterval() const { return interval_; }
    void setAnimationTimeInterval(double seconds) { interval_ = seconds; }
    // Hands `surface` (made by the backend) to the view, which keeps it alive
    // until it goes.
    void addSubview(SaverSurface* surface);

    // Where this view's alerts go: a modal dialog for a program with a
    // window of its own (the settings program), a recorder for tests; empty
    // (the default) = stderr, as a hack under a screen-saver host needs.
    void setAlertRoute(AlertRoute route) { alertRoute_ = std::move(route); }
    // Shows `text` under `caption` on the view's route (null strings as "").
    void showAlert(const char* caption, const char* text) const;

private:
    const SaverBackend* backend_;          // the window system's table; not owned
    const SaverWindow* window_;            // where the view is shown; not owned
    ScreenRect frame_ = {0, 0, 0, 0};      // creation frame, root coordinates
    ViewSize size_ = {0, 0};               // bounds size, pixels
    bool isPreview_ = false;               // the small preview view
    bool animating_ = false;               // the timer runs
    double interval_ = 1.0 / 30.0;         // timer interval, seconds
    std::vector<SaverSurface*> subviews_;  // owned (backend's destroySurface); released last
    AlertRoute alertRoute_;                // where alerts go; empty = stderr
};
