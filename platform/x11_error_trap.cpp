#include "platform/x11_error_trap.h"

namespace {

// The innermost installed trap: Xlib's error handler takes no user data.
X11ErrorTrap* g_innermost = nullptr;

}  // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), previousTrap_(g_innermost)
{
    XSync(display_, False);
    previousHandler_ = XSetErrorHandler(Record);
    g_innermost = this;
}

bool X11ErrorTrap::Failed()
{
    if (display_)
        XSync(display_, False);
    return errors_ != 0;
}

void X11ErrorTrap::Release()
{
    if (!display_)
        return;
    XSync(display_, False);
    XSetErrorHandler(previousHandler_);
    g_innermost = previousTrap_;
    display_ = nullptr;
}

int X11ErrorTrap::Record(Display*, XErrorEvent*)
{
    if (g_innermost)
        ++g_innermost->errors_;
    return 0;
}
