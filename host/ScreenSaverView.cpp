#include "host/ScreenSaverView.h"

#include "platform/alert.h"

ScreenSaverView::ScreenSaverView(const SaverBackend* backend, const SaverWindow* window)
    : backend_(backend), window_(window)
{
}

ScreenSaverView::~ScreenSaverView()
{
    for (SaverSurface* surface : subviews_)
        backend_->destroySurface(surface);
}

bool ScreenSaverView::initWithFrame(ScreenRect frame, bool isPreview)
{
    if (!backend_ || !window_)
        return false;
    frame_ = frame;
    size_ = ViewSize{frame.width > 0 ? frame.width : 0, frame.height > 0 ? frame.height : 0};
    isPreview_ = isPreview;
    return true;
}

void ScreenSaverView::setFrameSize(ViewSize size)
{
    size_ = ViewSize{size.width > 0 ? size.width : 0, size.height > 0 ? size.height : 0};
}

void ScreenSaverView::startAnimation()
{
    animating_ = true;
}

void ScreenSaverView::stopAnimation()
{
    animating_ = false;
}

void ScreenSaverView::animateOneFrame() {}

bool ScreenSaverView::hasConfigureSheet()
{
    return false;
}

SheetWindow* ScreenSaverView::configureSheet()
{
    return nullptr;
}

bool ScreenSaverView::performGammaFade()
{
    return true;
}

void ScreenSaverView::addSubview(SaverSurface* surface)
{
    if (surface)
        subviews_.push_back(surface);
}

void ScreenSaverView::showAlert(const char* caption, const char* text) const
{
    if (alertRoute_)
        alertRoute_(caption ? caption : "", text ? text : "");
    else
        AlertOnStderr(caption, text);
}
