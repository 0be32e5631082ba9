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
    const char* schemaDir = nullptr;       // folder of compiled GSettings schemas read with their default values; null = the installed schemas and the user's settings
    const char* xfceDesktopXml = nullptr;  // XFCE's desktop channel file; null = "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml"
    const char* currentDesktop = nullptr;  // desktop names as in XDG_CURRENT_DESKTOP ("GNOME", "X-Cinnamon", "XFCE", "MATE"); null = the environment's
};

// Builds the wallpaper settings of the running desktop for `screens`:
// "default" from GNOME's, Cinnamon's or MATE's GSettings key (the running
// desktop's first; a schema that isn't installed is skipped) and per-monitor
// pictures from XFCE's desktop channel (when XFCE runs, or when no desktop is
// named and GSettings gave nothing). URIs "file://..." become paths. Never
// fails: what can't be read is left out.
DesktopBackground ReadDesktopBackground(const ScreenList& screens,
                                        const DesktopBackgroundSources& sources = {});

// Headless: wallpaper settings whose "default" is `path` (kept even when the
// file doesn't exist, so that a bad path shows as a failed picture).
DesktopBackground DesktopBackgroundFromPath(const char* path);

// The desktop picture of screen `screenNumber` into `path`: the entry of that
// screen, else the "default" entry, at most 1023 bytes; `fallback` when there
// is neither or the path found is shorter than 5 characters.
void DesktopPicturePath(const DesktopBackground& background, int screenNumber,
                        const char* fallback, char (&path)[1024]);
