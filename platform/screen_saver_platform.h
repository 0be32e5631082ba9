#pragma once
#include <string>

#include "platform/desktop_background.h"
#include "platform/screen_grab.h"
#include "platform/screens.h"

class Clock;

// The services of the running desktop that a host driver supplies to its
// views: the monitors, their contents, the wallpaper setting, the clock and
// where the data files live. One per process (X11 or headless); the views
// keep a pointer to it, so it outlives them.
class ScreenSaverPlatform {
public:
    virtual ~ScreenSaverPlatform() = default;

    // The screens in the platform's order, the main one first.
    virtual ScreenList screens() = 0;
    // What `screen` shows now, at its full size, RGBA, bottom row first.
    // False when it can't be read; `*grab` is then untouched.
    virtual bool grabScreen(const ScreenInfo& screen, ScreenGrab* grab) = 0;
    // The desktop's wallpaper settings ("default" and per-screen entries);
    // empty when the desktop names no wallpaper.
    virtual DesktopBackground desktopBackground() = 0;
    // The views' clock.
    virtual Clock& clock() = 0;
    // The folder that holds "zar.vnt" and "vantor.morvence" (with or without
    // a trailing "/").
    virtual std::string resourcePath() = 0;
    // The folder of the preference store; null for the user's configuration
    // folder.
    virtual const char* preferenceDirectory() { return nullptr; }
};
