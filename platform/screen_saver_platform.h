#pragma once
#include <map>
#include <string>

#include "platform/screen_grab.h"
#include "platform/screens.h"

class Clock;

// The desktop's wallpaper settings as a dictionary of entries, each keyed by
// a screen's number written in decimal, or "default" for the setting that
// holds for every screen without an entry of its own. An entry's value is
// its picture file's path ("" when the entry names no file).
using DesktopPictureEntries = std::map<std::string, std::string>;

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
    // The desktop's wallpaper dictionary. False when the desktop has no
    // wallpaper setting at all (then `*entries` is untouched).
    virtual bool desktopPictures(DesktopPictureEntries* entries) = 0;
    // The views' clock.
    virtual Clock& clock() = 0;
    // The folder that holds "zar.vnt" and "vantor.morvence" (with or without
    // a trailing "/").
    virtual std::string resourcePath() = 0;
    // The folder of the preference store; null for the user's configuration
    // folder.
    virtual const char* preferenceDirectory() { return nullptr; }
};
