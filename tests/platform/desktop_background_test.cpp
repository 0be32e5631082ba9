// Wallpaper look-up on the desktops that keep it in files of their own (KDE Plasma, XFCE, LXQt, LXDE, feh,
// nitrogen) and through GSettings and GNOME's background descriptions and wallpaper packages: each with a
// throwaway HOME and XDG_CONFIG_HOME holding the real file format.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/desktop_background.h"
#include "tests/support/scratch_dir.h"

using Names = std::map<std::string, std::string>;

namespace {

// A throwaway home: HOME, XDG_CONFIG_HOME (HOME/cfg) and a picture folder (HOME/pics) with pictures of several
// kinds, and a wallpaper package with a GNOME background description of pictures in four sizes. The look-up asks
// only that a picture is a file, so each holds a word.
class DesktopFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            saved_[name] = std::getenv(name) ? std::getenv(name) : "";
        setenv("HOME", home_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home_ + "/cfg").c_str(), 1);
        for (const char* name : {"one.webp", "it's, two.jpg", "c d&e.jpg", "three.svg", "four.png"})
            Write(std::string("pics/") + name, "picture");
        std::string xml = "<background><static><duration>8640000.0</duration><file>\n";
        for (const char* size : {"1280x1024", "1920x1080", "3840x2160", "1600x1200"}) {
            const std::string name = std::string("Theme/contents/images/") + size + ".svg";
            Write("pics/" + name, "picture");
            xml += std::regex_replace(size, std::regex("(\\d+)x(\\d+)"), "<size width='$1' height='$2'>@PICS@/") +
                   name + "</size>\n";
        }
        Write("pics/Theme/gnome-background.xml",
              xml + "</file></static><transition><duration>5</duration><from>/x.png</from><to>/y.png</to>"
                    "</transition></background>\n");
    }
    void TearDown() override
    {
        for (const auto& [name, value] : saved_)
            value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    }

    // Writes `text` to `path` under the home folder, with "@PICS@" standing for the picture folder.
    void Write(const std::string& path, const std::string& text)
    {
        const std::filesystem::path full = home_ + "/" + path;
        std::filesystem::create_directories(full.parent_path());
        ASSERT_TRUE(WriteWholeFile(full, std::regex_replace(text, std::regex("@PICS@"), pics_)));
    }
    // Compiled GSettings schemas whose background picture-uri is `uri` ("@PICS@" for the picture folder).
    std::string Schemas(const std::string& name, const std::string& uri)
    {
        Write(name + "/test.gschema.xml", "<schemalist><schema id=\"org.gnome.desktop.background\" "
                                          "path=\"/org/gnome/desktop/background/\"><key name=\"picture-uri\" "
                                          "type=\"s\"><default>'" +
                                              uri + "'</default></key></schema></schemalist>");
        EXPECT_EQ(std::system(("glib-compile-schemas '" + home_ + "/" + name + "' >/dev/null 2>&1").c_str()), 0);
        return home_ + "/" + name;
    }

    // The look-up on two monitors as XRandR names them ("right", number 1, is primary and so listed first), with
    // no GSettings schemas unless given (the machine's must not leak in).
    DesktopBackground Read(const char* desktop, const std::string& schemaDir = "", int width = 1920, int height = 1080)
    {
        ScreenList list = MakeVirtualScreens({{0, 0, width, height}, {width, 0, width, height}}, 1);
        for (ScreenInfo& s : list.screens)
            s.name = s.number == 0 ? "left" : "right";
        const std::string schemas = schemaDir.empty() ? home_ + "/no-schemas" : schemaDir;
        return ReadDesktopBackground(list, {.schemaDir = schemas.c_str(), .currentDesktop = desktop});
    }
    // The entries with the picture folder cut off their paths.
    Names Relative(const DesktopBackground& bg)
    {
        Names out;
        for (const auto& [key, path] : bg.imageFilePath)
            out[key] = path.rfind(pics_ + "/", 0) == 0 ? path.substr(pics_.size() + 1) : "OUTSIDE:" + path;
        return out;
    }
    // The picture for screen `screen`, or the bundled one.
    std::string PictureOf(const DesktopBackground& bg, int screen = 0)
    {
        char path[1024];
        DesktopPicturePath(bg, screen, "/res/zarnet-default.png", path);
        return path;
    }

    ScratchDir dir_;
    std::string home_ = dir_.Path(), pics_ = home_ + "/pics";
    std::map<std::string, std::string> saved_;
};

// A panel on screen 0, then the desktop there with its picture.
const char* kPlasmaPanelAndDesktop =
    "[ActionPlugins][0]\nRightButton;NoModifier=org.kde.contextmenu\n\n[Containments][1]\nactivityId=\nformfactor=2\n"
    "lastScreen=0\nlocation=4\nplugin=org.kde.panel\nwallpaperplugin=org.kde.image\n\n[Containments][2]\n"
    "activityId=6f0c5b0e-aaaa\nformfactor=0\nlastScreen=0\nplugin=org.kde.plasma.folder\n"
    "wallpaperplugin=org.kde.image\n\n[Containments][2][Wallpaper][org.kde.image][General]\n"
    "Image=file://@PICS@/one.webp\nSlidePaths=/usr/share/wallpapers/\n";

const char *kPlasma = "cfg/plasma-org.kde.plasma.desktop-appletsrc", *kLxqt = "cfg/pcmanfm-qt/lxqt/settings.conf",
           *kNitrogen = "cfg/nitrogen/bg-saved.cfg", *kXfce = "cfg/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml";

// XFCE's entry for a monitor by its name.
std::string XfceMonitor(const std::string& name, const std::string& image)
{
    return "<property name=\"monitor" + name +
           "\" type=\"empty\"><property name=\"workspace0\" type=\"empty\">"
           "<property name=\"last-image\" type=\"string\" value=\"" +
           image + "\"/></property></property>";
}

TEST_F(DesktopFiles, EachDesktopsOwnFileNamesItsWallpaper)
{
    struct File {
        std::string path, text;
    };
    const Names onePlasma = {{"1", "one.webp"}, {"default", "one.webp"}};
    const struct {
        const char* what;
        const char* desktop;
        std::vector<File> files;
        Names want;  // picture paths relative to the picture folder
    } cases[] = {
        {"Plasma, file URI", "KDE", {{kPlasma, kPlasmaPanelAndDesktop}}, onePlasma},
        {"Plasma, wallpaper package",
         "KDE",
         {{kPlasma, "[Containments][7]\nlastScreen=0\nplugin=org.kde.desktopcontainment\n\n"
                    "[Containments][7][Wallpaper][org.kde.image][General]\nImage[$e]=@PICS@/Theme/\n"}},
         {{"1", "Theme/contents/images/1920x1080.svg"}, {"default", "Theme/contents/images/1920x1080.svg"}}},
        // By RandR name and counted as older files do, a file URI with an escape and an entity; a monitor that
        // isn't connected is left out.
        {"XFCE, picture per monitor",
         "XFCE",
         {{kXfce, "<?xml version=\"1.0\"?><channel name=\"xfce4-desktop\" version=\"1.0\"><property "
                  "name=\"backdrop\" type=\"empty\"><property name=\"screen0\" type=\"empty\">" +
                      XfceMonitor("right", "@PICS@/one.webp") + XfceMonitor("0", "file://@PICS@/c%20d&amp;e.jpg") +
                      XfceMonitor("HDMI-9", "@PICS@/four.png") + "</property></property></channel>\n"}},
         {{"0", "c d&e.jpg"}, {"1", "one.webp"}, {"default", "one.webp"}}},
        {"LXQt, quoted by QSettings",
         "LXQt",
         {{kLxqt, "[Behavior]\nBookmarkOpenMethod=current_tab\n\n[Desktop]\nBgColor=#000000\n"
                  "Font=\"Sans,10,-1,5,50,0,0,0,0,0\"\nWallpaper=\"@PICS@/it's, two.jpg\"\nWallpaperMode=zoom\n"}},
         {{"default", "it's, two.jpg"}}},
        {"LXDE on a Raspberry Pi, second monitor",
         "LXDE",
         {{"cfg/pcmanfm/LXDE-pi/desktop-items-0.conf",
           "[*]\ndesktop_bg=#d6d3de\nwallpaper_mode=crop\nwallpaper_common=1\nwallpaper=@PICS@/four.png\n"},
          {"cfg/pcmanfm/LXDE-pi/desktop-items-1.conf", "[*]\nwallpaper_mode=fit\nwallpaper=@PICS@/three.svg\n"}},
         {{"0", "four.png"}, {"1", "three.svg"}, {"default", "three.svg"}}},
        {"feh, quoted paths after an option value, one per monitor",
         "i3",
         {{".fehbg", "#!/bin/sh\n/usr/bin/feh --no-fehbg --bg-fill --image-bg 'black' '@PICS@/it'\\''s, two.jpg' "
                     "'@PICS@/one.webp' \n"}},
         {{"1", "it's, two.jpg"}, {"0", "one.webp"}, {"default", "it's, two.jpg"}}},
        {"nitrogen, whole desktop and a monitor",
         "openbox",
         {{kNitrogen, "[xin_-1]\nfile=@PICS@/three.svg\nmode=5\n\n[xin_1]\nfile=@PICS@/four.png\nmode=4\n"}},
         {{"default", "three.svg"}, {"0", "four.png"}}},
        {"a KDE session reads its own file before feh's",
         "KDE",
         {{kPlasma, kPlasmaPanelAndDesktop}, {".fehbg", "feh --bg-fill '@PICS@/four.png'\n"}},
         onePlasma},
        {"a window manager's session reads feh before any desktop's file",
         "i3",
         {{kPlasma, kPlasmaPanelAndDesktop}, {".fehbg", "feh --bg-fill '@PICS@/four.png'\n"}},
         {{"default", "four.png"}}},
        {"no desktop named: any desktop's file", "sway", {{kPlasma, kPlasmaPanelAndDesktop}}, onePlasma},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(home_ + "/cfg");
        std::filesystem::remove(home_ + "/.fehbg");
        for (const File& f : c.files)
            Write(f.path, f.text);
        const DesktopBackground bg = Read(c.desktop);
        EXPECT_EQ(Relative(bg), c.want);
        EXPECT_EQ(PictureOf(bg, 5), pics_ + "/" + c.want.at("default"));  // screen 5 has no entry of its own
    }
}

TEST_F(DesktopFiles, PlasmaScreensByConnectorAndCurrentActivity)
{
    // Plasma's screen 0 is on "left" and 1 on "right" (not our numbers); screen 0 has a containment per
    // activity, the current one's counts.
    Write("cfg/plasmashellrc", "[ScreenConnectors]\n0=left\n1=right\n");
    Write("cfg/kactivitymanagerdrc", "[activities]\naaa=Default\nbbb=Work\n\n[main]\ncurrentActivity=bbb\n");
    Write(kPlasma,
          "[Containments][3]\nactivityId=aaa\nlastScreen=0\nplugin=org.kde.plasma.folder\n\n"
          "[Containments][3][Wallpaper][org.kde.image][General]\nImage=@PICS@/four.png\n\n"
          "[Containments][4]\nactivityId=bbb\nlastScreen=0\nplugin=org.kde.plasma.folder\n\n"
          "[Containments][4][Wallpaper][org.kde.image][General]\nImage=file://@PICS@/it's,%20two.jpg\n\n"
          "[Containments][5]\nactivityId=bbb\nlastScreen=1\nplugin=org.kde.plasma.folder\nwallpaperplugin=org.kde."
          "image\n\n"
          "[Containments][5][Wallpaper][org.kde.image][General]\nImage=@PICS@/three.svg\n\n"
          "[Containments][6]\nactivityId=bbb\nlastScreen=2\nplugin=org.kde.plasma.folder\nwallpaperplugin=org.kde."
          "color\n\n"
          "[Containments][6][Wallpaper][org.kde.image][General]\nImage=@PICS@/one.webp\n");
    EXPECT_EQ(Relative(Read("KDE")), (Names{{"0", "it's, two.jpg"}, {"1", "three.svg"}, {"default", "three.svg"}}));
}

TEST_F(DesktopFiles, DamagedOrEmptySettingsFallBack)
{
    const struct {
        const char* desktop;
        const char* path;
        std::string text;
    } cases[] = {
        {"KDE", kPlasma, std::string("\0\xff[[[]]]=\n\x01=", 12)},
        {"KDE", kPlasma,
         "[Containments][2]\nlastScreen=0\n[Containments][2][Wallpaper][org.kde.image][General]\nImage=/x.jpg\n"},
        {"KDE", kPlasma,  // a folder that is no wallpaper package
         "[Containments][2]\nlastScreen=0\n[Containments][2][Wallpaper][org.kde.image][General]\nImage=@PICS@\n"},
        {"LXQt", kLxqt, "Wallpaper=@PICS@/four.png\n[[[\n"},
        {"LXQt", kLxqt, "[Desktop]\nWallpaper=@PICS@/four.png\nWallpaperMode=none\n"},
        {"i3", ".fehbg", "feh --bg-fill '@PICS@/four.png\n"},  // unterminated quote
        {"i3", ".fehbg", "xsetroot -solid '@PICS@/four.png'\n"},
        {"i3", ".fehbg", "feh --bg-fill '@PICS@/empty.xml'\n"},  // a description without a usable picture
        {"LXDE", "cfg/pcmanfm/LXDE/desktop-items-0.conf", "[*]\nwallpaper_mode=color\nwallpaper=@PICS@/four.png\n"},
        {"i3", kNitrogen, "[xin_-1]\nfile=four.png\n"},        // a relative path
        {"i3", kNitrogen, "[xin_7]\nfile=@PICS@/four.png\n"},  // a monitor beyond the list
    };
    Write("pics/empty.xml", "<background><static><file>/nonexistent.png</file></static></background>");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Write(c.path, c.text);
        EXPECT_EQ(PictureOf(Read(c.desktop)), "/res/zarnet-default.png");
        std::remove((home_ + "/" + c.path).c_str());
    }
}

TEST_F(DesktopFiles, GSettingsPictureOrBackgroundDescriptionForTheScreen)
{
    // picture-uri names a picture (escaped), one that is gone, or, as Debian's desktop theme sets it, a
    // description whose pictures are SVGs in several sizes.
    EXPECT_EQ(PictureOf(Read("GNOME", Schemas("found", "file://@PICS@/c%20d%26e.jpg"))), pics_ + "/c d&e.jpg");
    EXPECT_EQ(PictureOf(Read("GNOME", Schemas("missing", "file:///nonexistent/x.jpg"))), "/res/zarnet-default.png");
    EXPECT_EQ(Relative(Read("GNOME", Schemas("described", "file://@PICS@/Theme/gnome-background.xml"))),
              (Names{{"default", "Theme/contents/images/1920x1080.svg"}}));

    // Fit by aspect, then the smallest that covers the screen.
    Write(".fehbg", "feh --bg-fill '@PICS@/Theme/gnome-background.xml'\n");
    for (const auto& [width, height, want] : {std::tuple{2560, 1440, "3840x2160"},
                                              {4096, 2304, "3840x2160"},
                                              {1280, 1024, "1280x1024"},
                                              {800, 600, "1600x1200"}})
        EXPECT_EQ(PictureOf(Read("i3", "", width, height)), pics_ + "/Theme/contents/images/" + want + ".svg") << width;
}

}  // namespace
