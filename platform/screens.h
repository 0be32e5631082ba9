#pragma once
#include <string>
#include <vector>

struct _XDisplay;  // Xlib's Display, kept opaque here

// A rectangle of the desktop in root-window pixels: origin at the top-left
// corner of the root window, x to the right, y downwards.
struct ScreenRect {
    int x;       // left edge, pixels
    int y;       // top edge, pixels
    int width;   // pixels; <= 0 means empty
    int height;  // pixels; <= 0 means empty
};

// The overlap of two rectangles; empty (zero size) when they don't meet.
ScreenRect IntersectRects(const ScreenRect& a, const ScreenRect& b);
// True when the rectangle has no area.
bool IsEmptyRect(const ScreenRect& r);

// One monitor of the desktop.
struct ScreenInfo {
    ScreenRect frame;  // the monitor's area in root-window coordinates
    int number;    // the monitor's number: its index in the server's monitor list; two screens are the same when equal
    bool primary;  // the server's primary monitor
    std::string name;  // the RandR monitor name ("HDMI-1"); empty for virtual screens
};

// The desktop's monitors, the primary one first, the rest in the server's order.
struct ScreenList {
    std::vector<ScreenInfo> screens;  // primary first

    // The main screen: the primary monitor, or the first one when none is
    // primary. Null when the list is empty. Valid while the list is unchanged.
    const ScreenInfo* MainScreen() const;
    // The screen with `number`, or null. Valid while the list is unchanged.
    const ScreenInfo* FindNumber(int number) const;
    // The first screen in list order whose frame meets `frame`, or null.
    const ScreenInfo* FirstMeeting(const ScreenRect& frame) const;
};

// Headless: virtual screens with the given frames, numbered 0, 1, ... in the
// given order; the screen at `primaryIndex` (if in range) is primary and
// listed first.
ScreenList MakeVirtualScreens(const std::vector<ScreenRect>& frames, int primaryIndex);

// Lists the monitors of the default screen of `display` with XRandR
// (XRRGetMonitors). A server without RandR 1.5 monitors, or one that reports
// none, is listed as one primary screen covering the whole root window.
// False when `display` is null or the root window can't be measured.
bool GetX11Screens(_XDisplay* display, ScreenList* list);
