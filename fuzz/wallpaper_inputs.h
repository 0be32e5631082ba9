#pragma once
// The layout of fuzz_wallpaper's inputs, shared with fuzz_make_seeds.
//
// Input: one byte, then up to four parts joined by kPartSeparator:
//   part 0  the settings file of the desktop the byte picks (kSources);
//   part 1  a GNOME background description at kWallpaperRoot "/bg.xml";
//   part 2  KDE's plasmashellrc (screen connectors);
//   part 3  KDE's kactivitymanagerdrc (the current activity).
// The byte: bits 0-2 the source (modulo 6), bit 3 two screens instead of one.
// A settings file names pictures that exist under kWallpaperRoot: a.png,
// b.jpg, bg.xml and the package folder pkg/ (contents/images/WxH.png).
// The folder is fixed so that the corpus can name its files: one harness
// process at a time.
constexpr const char* kWallpaperRoot = "/tmp/zarnet-fuzz-wallpaper";
constexpr const char* kPartSeparator = "\n#====\n";

struct WallpaperSource {
    const char* desktop;  // as XDG_CURRENT_DESKTOP names it; "" for a window manager's session
    const char* file;     // where part 0 goes, under kWallpaperRoot
};

constexpr WallpaperSource kSources[] = {
    {"XFCE", "/config/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml"},
    {"KDE", "/config/plasma-org.kde.plasma.desktop-appletsrc"},
    {"LXQt", "/config/pcmanfm-qt/lxqt/settings.conf"},
    {"LXDE", "/config/pcmanfm/LXDE/desktop-items-0.conf"},
    {"", "/home/.fehbg"},
    {"", "/config/nitrogen/bg-saved.cfg"},
};
