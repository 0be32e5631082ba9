#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/saver_backend.h"

// The headless backend's state, for the recorder and the tests: set its
// fields at will, the views read them through the table.
struct HeadlessDesktop {
    ScreenList screens;            // virtual screens (see MakeVirtualScreens)
    int imageWidth = 0;            // what every screen shows (SetDesktopImage), pixels
    int imageHeight = 0;           // pixels
    std::vector<uint8_t> image;    // RGBA, top row first; empty = grabs fail
    DesktopBackground background;  // the wallpaper setting
    double monotonic = 1000.0;     // the clock, stepped by the driver: seconds
    double wall = 0.0;             // seconds since 1970
    std::string resourcePath;      // the data-file folder; "" = BundleResourcePath()
    std::string preferenceFolder;  // the preference store's folder; "" = the user's configuration folder
};

// What every screen shows: `rgbaTopFirst` (width x height, top row first),
// stretched over each screen's area when grabbed. A picture of the wrong
// size clears it: grabs then fail.
void SetDesktopImage(HeadlessDesktop* desktop, int width, int height, std::vector<uint8_t> rgbaTopFirst);

// The table for `desktop`, which must outlive it. Windows are offscreen EGL
// targets of SaverWindow::size on the virtual screen SaverWindow::screen.
SaverBackend ConnectHeadless(HeadlessDesktop* desktop);

// The last frame drawn on a surface of ConnectHeadless's table, RGBA rows
// top first (width * height * 4 bytes).
std::vector<uint8_t> HeadlessReadPixels(const SaverSurface* surface);
