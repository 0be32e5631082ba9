#include "host/ScreenSaverView.h"

ScreenSaverView::ScreenSaverView(ScreenSaverPlatform* platform, ScreenSaverWindow* window)
    : platform_(platform), window_(window)
{
}

ScreenSaverView::~ScreenSaverView() = default;

bool ScreenSaverView::initWithFrame(ScreenRect frame, bool isPreview)
{
    if (!platform_ || !window_)
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

void ScreenSaverView::addSubview(GLSurface* surface)
{
    if (surface)
        subviews_.emplace_back(surface);
}
