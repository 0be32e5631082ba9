// The monitor list of an X display through XRandR.
#include "platform/screens.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>

namespace {

bool RootGeometry(Display* display, Window root, ScreenRect* r)
{
    Window rootReturn;
    int x, y;
    unsigned width, height, border, depth;
    if (!XGetGeometry(display, root, &rootReturn, &x, &y, &width, &height, &border, &depth))
        return false;
    *r = ScreenRect{0, 0, static_cast<int>(width), static_cast<int>(height)};
    return true;
}

bool HasMonitors(Display* display)
{
    int eventBase, errorBase, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase))
        return false;
    if (!XRRQueryVersion(display, &major, &minor))
        return false;
    return major > 1 || (major == 1 && minor >= 5);
}

}  // namespace

bool GetX11Screens(Display* display, ScreenList* list)
{
    if (!display)
        return false;
    Window root = DefaultRootWindow(display);
    ScreenRect whole;
    if (!RootGeometry(display, root, &whole))
        return false;

    ScreenList result;
    if (HasMonitors(display)) {
        int count = 0;
        XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
        for (int i = 0; monitors && i < count; ++i) {
            const XRRMonitorInfo& m = monitors[i];
            ScreenInfo s;
            s.frame = ScreenRect{m.x, m.y, m.width, m.height};
            s.number = i;
            s.primary = m.primary != 0;
            if (m.name != None) {
                char* name = XGetAtomName(display, m.name);
                if (name) {
                    s.name = name;
                    XFree(name);
                }
            }
            result.screens.push_back(s);
        }
        if (monitors)
            XRRFreeMonitors(monitors);
    }
    if (result.screens.empty()) {
        ScreenInfo s;
        s.frame = whole;
        s.number = 0;
        s.primary = true;
        result.screens.push_back(s);
    }
    std::stable_partition(result.screens.begin(), result.screens.end(), [](const ScreenInfo& s) { return s.primary; });
    *list = std::move(result);
    return true;
}
