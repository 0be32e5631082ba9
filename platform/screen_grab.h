#pragma once
#include <cstdint>
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

// Headless: a grab made from an image given as RGBA rows top first (as a
// picture decoder delivers them). False when the size is not positive or
// too large; `*grab` is then untouched.
bool MakeGrabFromTopFirst(int width, int height, const uint8_t* rgbaTopFirst, ScreenGrab* grab);
