#pragma once
#include <map>
#include <string>

#include "platform/screens.h"

// The bundled picture shown when the desktop names no usable wallpaper;
// it lives in the resources folder beside "zar.vnt".
constexpr const char* kDefaultPictureName = "zarnet-default.png";

// What the running desktop says about its wallpaper: the picture file for
// the whole desktop under "default" and, where the desktop sets one per
// monitor, the picture of a screen under its number in decimal ("0", "1").
// Only entries naming an existing file are kept. Empty when the desktop
// names no wallpaper at all.
struct DesktopBackground {
    std::map<std::string, std::string> imageFilePath;  // "default" or screen number -> picture path
};

// Where the look-up reads from. Every field may stay null for the running
// desktop; tests and headless runs point them elsewhere.
struct DesktopBackgroundSources {
    const char* schemaDir = nullptr;  // folder of compiled GSettings schemas read with their default values; null = the
                                      // installed schemas and the user's settings
    const char* xfceDesktopXml = nullptr;  // XFCE's desktop channel file; null =
                                           // "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml"
    const char* currentDesktop = nullptr;  // desktop names as in XDG_CURRENT_DESKTOP ("GNOME", "X-Cinnamon", "XFCE",
                                           // "MATE", "KDE", "LXQt", "LXDE"); null = the environment's
};

// Builds the wallpaper settings of the running desktop for `screens`, from,
// in this order until a "default" is found:
//   1. the desktops XDG_CURRENT_DESKTOP names, in its order: XFCE's desktop
//      channel and KDE Plasma's desktop containments (per monitor), LXQt's
//      PCManFM-Qt settings, LXDE's PCManFM desktop files (per monitor), and
//      for GNOME, Cinnamon and MATE their GSettings key (the running
//      desktop's first, then the others'; a schema that isn't installed is
//      skipped);
//   2. feh's ~/.fehbg and nitrogen's saved wallpapers (per monitor when set
//      so), as window-manager sessions use them;
//   3. the GSettings keys, if not read in step 1;
//   4. when the session names no desktop known here, the files of step 1 of
//      every desktop.
// Settings files are looked for under $XDG_CONFIG_HOME (~/.config when unset
// or relative). URIs "file://..." become paths. A GNOME background
// description (.xml) or a wallpaper package folder (contents/images/WxH.ext)
// becomes its picture that best fits the screen. Never fails: what can't be
// read is left out.
DesktopBackground ReadDesktopBackground(const ScreenList& screens, const DesktopBackgroundSources& sources = {});

// Headless: wallpaper settings whose "default" is `path` (kept even when the
// file doesn't exist, so that a bad path shows as a failed picture).
DesktopBackground DesktopBackgroundFromPath(const char* path);

// The desktop picture of screen `screenNumber` into `path`: the entry of that
// screen, else the "default" entry, at most 1023 bytes; `fallback` when there
// is neither or the path found is shorter than 5 characters.
void DesktopPicturePath(const DesktopBackground& background, int screenNumber, const char* fallback,
                        char (&path)[1024]);
