#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "host/ScreenSaverView.h"

// The host's side of the view contract, for any number of views, in its
// order: a view is initialised when it is added, sized, started before its
// first frame, drawn on the timer's ticks, stopped, and only then released.
// The programs own the windows and the clock: they hand the driver the sizes
// their windows take and the times of their loops.
class HostDriver {
public:
    HostDriver() = default;
    ~HostDriver();  // Release()
    HostDriver(const HostDriver&) = delete;
    HostDriver& operator=(const HostDriver&) = delete;

    // Initialises `view` with `frame` and keeps it. Null (the view deleted)
    // when it refuses: it has no backend or no window.
    template <class View> View* Add(std::unique_ptr<View> view, ScreenRect frame, bool isPreview)
    {
        View* added = view.get();
        return AddView(std::move(view), frame, isPreview) ? added : nullptr;
    }

    // The size `view` is shown at; a size it already has is not handed on.
    void Resize(ScreenSaverView* view, ViewSize size);
    // Starts the timer of every view not started yet; a view that was never
    // sized gets the size of its frame first.
    void Start();
    // Draws every animating view when a tick is due at `now` (monotonic
    // seconds); the next one is then due a full interval later (a tick that
    // came early would find too little time passed to draw): the first view's
    // animation interval as it was at Start. True when it drew.
    bool Tick(double now);
    // Draws every animating view now: for hosts whose own timer keeps the pace.
    void Draw();
    // Seconds from `now` until the next tick is due; 0 when it is due.
    double Wait(double now) const;
    // Stops every view's timer.
    void Stop();
    // Stops, then releases every view, calling `beforeRelease` on each just
    // before it goes.
    void Release(const std::function<void(ScreenSaverView&)>& beforeRelease = {});

    bool empty() const { return views_.empty(); }
    // True while any view animates.
    bool animating() const;

private:
    struct Entry {
        std::unique_ptr<ScreenSaverView> view;
        bool sized = false;
        ViewSize size = {0, 0};
        bool started = false;
    };

    bool AddView(std::unique_ptr<ScreenSaverView> view, ScreenRect frame, bool isPreview);
    Entry* Find(ScreenSaverView* view);
    // Takes the tick interval from the first view (when the views change and
    // at Start, not on every tick).
    void TakeInterval();

    static constexpr double kDefaultInterval = 1.0 / 60.0;  // seconds, with no view

    std::vector<Entry> views_;
    double next_ = -1.0;                  // time the next tick is due, monotonic seconds; < 0 = at once
    double interval_ = kDefaultInterval;  // seconds between ticks: the first view's animationTimeInterval()
};
