#pragma once
#include <X11/Xlib.h>

// Catches the X errors of a stretch of requests that may fail because a
// resource went away under us (a foreign window destroyed, a pixmap freed)
// or the server refused it (a visual GLX won't take): they are counted
// instead of reaching the program's handler. One object per stretch, on the
// stack; traps may nest, the innermost one sees the errors. Main thread only.
class X11ErrorTrap {
public:
    // Waits for the server (earlier errors go where they went before), then
    // installs the trap.
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap() { Release(); }
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server while the trap is installed; true when any
    // request since the start failed.
    bool Failed();
    // Waits for the server and puts the previous handler back; later
    // errors go there again. Safe twice.
    void Release();

private:
    static int Record(Display* display, XErrorEvent* event);

    Display* display_;               // null once released
    XErrorHandler previousHandler_;  // restored by Release
    X11ErrorTrap* previousTrap_;     // the trap this one nests in; null = none
    int errors_ = 0;                 // errors seen while installed
};
