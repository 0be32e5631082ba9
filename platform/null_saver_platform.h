#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/screen_saver_platform.h"
#include "platform/view_window.h"

class EglSurface;

// Desktop services without any display, for the recorder and the tests:
// virtual screens, a picture standing for what the screens show, a given
// wallpaper setting, a manual clock and given folders.
class HeadlessSaverPlatform final : public ScreenSaverPlatform {
public:
    HeadlessSaverPlatform();

    ScreenList screens() override;
    bool grabScreen(const ScreenInfo& screen, ScreenGrab* grab) override;
    DesktopBackground desktopBackground() override;
    Clock& clock() override;
    std::string resourcePath() override;
    const char* preferenceDirectory() override;

    // The virtual screens (see MakeVirtualScreens).
    void SetScreens(const ScreenList& screens) { screens_ = screens; }
    // What every screen shows: `rgbaTopFirst` (width x height, top row
    // first), stretched over each screen's area when grabbed. Without an
    // image, grabs fail.
    void SetDesktopImage(int width, int height, std::vector<uint8_t> rgbaTopFirst);
    // The wallpaper setting.
    void SetDesktopBackground(const DesktopBackground& background) { background_ = background; }
    // The data-file folder; BundleResourcePath() until set.
    void SetResourcePath(const std::string& path) { resourcePath_ = path; }
    // The preference store's folder; the user's configuration folder until set.
    void SetPreferenceDirectory(const std::string& path) { preferenceDirectory_ = path; }
    ManualClock& manualClock() { return clock_; }

private:
    ScreenList screens_;               // virtual screens
    int imageWidth_ = 0;               // desktop image, pixels
    int imageHeight_ = 0;              // pixels
    std::vector<uint8_t> image_;       // RGBA, top row first; empty = no image
    DesktopBackground background_;     // wallpaper setting
    ManualClock clock_;                // stepped by the driver
    std::string resourcePath_;         // "" = BundleResourcePath()
    std::string preferenceDirectory_;  // "" = the user's configuration folder
};

// A window without display: an offscreen EGL surface of a given size,
// placed on a virtual screen.
class HeadlessViewWindow final : public ScreenSaverWindow {
public:
    HeadlessViewWindow(int screenNumber, int width, int height);

    int screenNumber() override { return screenNumber_; }
    // An EglSurface of the window's size; null without a headless context.
    GLSurface* createGLSurface(const GLPixelFormat& format) override;
    // The last surface made (owned by its view); null before.
    EglSurface* surface() const { return surface_; }

private:
    int screenNumber_;     // virtual screen holding the window
    int width_;            // pixels
    int height_;           // pixels
    EglSurface* surface_;  // last surface made; not owned
};
