#include "host/HostDriver.h"

HostDriver::~HostDriver()
{
    Release();
}

bool HostDriver::AddView(std::unique_ptr<ScreenSaverView> view, ScreenRect frame, bool isPreview)
{
    if (!view || !view->initWithFrame(frame, isPreview))
        return false;
    views_.push_back(Entry{std::move(view)});
    TakeInterval();
    return true;
}

void HostDriver::TakeInterval()
{
    interval_ = views_.empty() ? kDefaultInterval : views_.front().view->animationTimeInterval();
}

HostDriver::Entry* HostDriver::Find(ScreenSaverView* view)
{
    for (Entry& e : views_)
        if (e.view.get() == view)
            return &e;
    return nullptr;
}

void HostDriver::Resize(ScreenSaverView* view, ViewSize size)
{
    Entry* e = Find(view);
    if (!e || (e->sized && e->size.width == size.width && e->size.height == size.height))
        return;
    e->sized = true;
    e->size = size;
    e->view->setFrameSize(size);
}

void HostDriver::Start()
{
    for (Entry& e : views_) {
        if (e.started)
            continue;
        if (!e.sized)
            Resize(e.view.get(), ViewSize{e.view->frame().width, e.view->frame().height});
        e.view->startAnimation();
        e.started = true;
    }
    TakeInterval();
}

bool HostDriver::Tick(double now)
{
    if (next_ >= 0.0 && now < next_)
        return false;
    next_ = now + interval_;
    Draw();
    return true;
}

void HostDriver::Draw()
{
    for (Entry& e : views_)
        if (e.started && e.view->isAnimating())
            e.view->animateOneFrame();
}

double HostDriver::Wait(double now) const
{
    return next_ < 0.0 || now >= next_ ? 0.0 : next_ - now;
}

void HostDriver::Stop()
{
    for (Entry& e : views_)
        if (e.started) {
            e.view->stopAnimation();
            e.started = false;
        }
}

void HostDriver::Release(const std::function<void(ScreenSaverView&)>& beforeRelease)
{
    // Every timer stops before the first view goes: a view's release makes
    // its own context current, which must not interleave with another's frame.
    Stop();
    for (Entry& e : views_) {
        if (beforeRelease)
            beforeRelease(*e.view);
        e.view.reset();
    }
    views_.clear();
    TakeInterval();
    next_ = -1.0;
}

bool HostDriver::animating() const
{
    for (const Entry& e : views_)
        if (e.started && e.view->isAnimating())
            return true;
    return false;
}
