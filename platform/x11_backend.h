#pragma once
#include <X11/Xlib.h>

#include "platform/saver_backend.h"

// The X11 backend's state: the connection, and the window an
// XScreenSaver-style host handed over.
struct X11Desktop {
    Display* display = nullptr;  // not owned; outlives the table
    Window saverWindow = 0;      // the host's window, 0 = none: grabs read the screenshot it keeps first
};

// The table for `desktop`, which must outlive it: RandR monitors, root-window
// grabs, the desktop's wallpaper setting, the system clock, the data files
// of this installation, and GLX surfaces on windows (SaverWindow::id).
SaverBackend ConnectX11(X11Desktop* desktop);

// The window's rectangle in root coordinates; false when it can't be measured.
bool X11WindowFrame(Display* display, Window window, ScreenRect* frame);

// For a surface made by ConnectX11's table; null gives 0 / does nothing.
// What it draws into: the window, or a child window it made inside it.
Window X11SurfaceDrawable(const SaverSurface* surface);
// For the end of a run on a window whose owner may already have destroyed
// it: the surface leaves the window for a private off-screen drawable, so
// releasing the view's GL objects sends nothing to the window.
void X11SurfaceLeaveWindow(SaverSurface* surface);
