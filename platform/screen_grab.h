#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/screens.h"

// What a screen showed: 8-bit RGBA pixels (alpha 255), `width` per row,
// rows from the bottom of the screen upwards, packed without padding.
struct ScreenGrab {
    int width = 0;              // pixels
    int height = 0;             // pixels
    std::vector<uint8_t> rgba;  // width * height * 4 bytes, bottom row first
};

// Grabs `area` of the root window of the default screen of `display`
// (XGetImage), clipped to the root window. X errors during the grab are
// caught and turn into a failed result. False when the area misses the root
// window, the visual is not TrueColor, or the server refuses; `*grab` is
// then untouched.
bool GrabX11Screen(_XDisplay* display, const ScreenRect& area, ScreenGrab* grab);

// Under XScreenSaver its window already covers the screen when a hack
// starts, so the root shows the saver, not the desktop. XScreenSaver keeps
// a screenshot of what lay under its window, a pixmap named by the PIXMAP
// property _SCREENSAVER_SCREENSHOT of that window (or of a window further
// up). A screenshot of the window's size shows what lay under the window;
// any other size (the settings dialog's preview) the root from its corner.
// Grabs `area` (root coordinates) of that screenshot, clipped to it. False when `saverWindow`
// and its ancestors carry none, the area misses it, or the server refuses
// (the pixmap went away: X errors are caught); `*grab` is then untouched.
bool GrabX11SaverScreenshot(_XDisplay* display, unsigned long saverWindow, const ScreenRect& area, ScreenGrab* grab);

// Whether XScreenSaver's settings, the text of ~/.xscreensaver, let its
// hacks show the desktop: false when "grabDesktopImages" is set to False
// (or off, no, 0: XScreenSaver's spellings of false, in any case), true
// when it is set otherwise or not at all (XScreenSaver's default).
bool XScreenSaverAllowsDesktopGrab(const std::string& settingsText);

// Headless: a grab made from an image given as RGBA rows top first (as a
// picture decoder delivers them). False when the size is not positive or
// too large; `*grab` is then untouched.
bool MakeGrabFromTopFirst(int width, int height, const uint8_t* rgbaTopFirst, ScreenGrab* grab);
