// Wallpaper look-up on the desktops that keep it in files of their own (KDE
// Plasma, LXQt, LXDE, feh, nitrogen) and through GNOME's background
// descriptions and wallpaper packages: each with a throwaway HOME and
// XDG_CONFIG_HOME holding the real file format, and the picture found decoded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <webp/encode.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "pictures/picture_decoder.h"
#include "platform/desktop_background.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

using testpics::Bytes;

namespace {

// Two 1920 x 1080 monitors as XRandR names them; "right" (number 1) is primary
// and so listed first.
ScreenList TwoMonitors()
{
    ScreenList list = MakeVirtualScreens({{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}}, 1);
    for (ScreenInfo& s : list.screens)
        s.name = s.number == 0 ? "left" : "right";
    return list;
}

bool MakeDirs(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i)
        if ((i == path.size() || path[i] == '/') && mkdir(path.substr(0, i).c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    return true;
}

void Replace(std::string* text, const std::string& from, const std::string& to)
{
    for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size()))
        text->replace(at, from.size(), to);
}

std::string SvgOf(int width, int height)
{
    return "<svg xmlns='http://www.w3.org/2000/svg' width='" + std::to_string(width) + "' height='" +
           std::to_string(height) + "'><rect width='100%' height='100%' fill='#2060a0'/></svg>";
}

// A throwaway home: HOME, XDG_CONFIG_HOME (HOME/cfg) and a picture folder
// (HOME/pics) with one picture of each kind, each of its own size.
class DesktopFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            if (const char* v = std::getenv(name))
                saved_[name] = v;
        home_ = dir_.Path();
        config_ = home_ + "/cfg";
        pics_ = home_ + "/pics";
        ASSERT_TRUE(MakeDirs(config_) && MakeDirs(pics_));
        setenv("HOME", home_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        uint8_t* webp = nullptr;
        const Bytes rgb = testpics::PatternPixels(40, 30, 3);
        const size_t n = WebPEncodeLosslessRGB(rgb.data(), 40, 30, 120, &webp);
        ASSERT_TRUE(WriteWholeFile(pics_ + "/one.webp", Bytes(webp, webp + n)));
        WebPFree(webp);
        ASSERT_TRUE(WriteWholeFile(pics_ + "/it's, two.jpg",
                                   testpics::EncodeJpeg(48, 32, 3, testpics::PatternPixels(48, 32, 3))));
        ASSERT_TRUE(WriteWholeFile(pics_ + "/three.svg", SvgOf(3000, 2000)));
        ASSERT_TRUE(
            WriteWholeFile(pics_ + "/four.png", testpics::EncodePng(20, 10, 2, 8, testpics::PatternPixels(20, 10, 3))));
        // A wallpaper package and a GNOME background description of the same set.
        const std::string images = pics_ + "/Theme/contents/images";
        ASSERT_TRUE(MakeDirs(images));
        std::string xml =
            "<?xml version='1.0'?>\n<background>\n  <static>\n    <duration>8640000.0</duration>\n    <file>\n";
        for (const char* size : {"1280x1024", "1920x1080", "3840x2160", "1600x1200"}) {
            int w = 0, h = 0;
            std::sscanf(size, "%dx%d", &w, &h);
            ASSERT_TRUE(WriteWholeFile(images + "/" + size + ".svg", SvgOf(w, h)));
            xml += "      <size width='" + std::to_string(w) + "' height='" + std::to_string(h) + "'>" + images + "/" +
                   size + ".svg</size>\n";
        }
        xml += "    </file>\n  </static>\n  "
               "<transition><duration>5</duration><from>/x.png</from><to>/y.png</to></transition>\n"
               "</background>\n";
        ASSERT_TRUE(WriteWholeFile(pics_ + "/Theme/gnome-background.xml", xml));
    }
    void TearDown() override
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
            auto it = saved_.find(name);
            if (it == saved_.end())
                unsetenv(name);
            else
                setenv(name, it->second.c_str(), 1);
        }
    }

    // Writes `text` to `path` under the home folder, with "@PICS@" standing
    // for the picture folder.
    void Write(const std::string& path, std::string text)
    {
        Replace(&text, "@PICS@", pics_);
        const std::string full = home_ + "/" + path;
        ASSERT_TRUE(MakeDirs(full.substr(0, full.rfind('/'))));
        ASSERT_TRUE(WriteWholeFile(full, text));
    }

    // The look-up with no GSettings schemas (the machine's must not leak in).
    DesktopBackground Read(const char* desktop, const char* schemaDir = nullptr)
    {
        const std::string none = home_ + "/no-schemas";
        return ReadDesktopBackground(
            TwoMonitors(),
            {.schemaDir = schemaDir ? schemaDir : none.c_str(), .xfceDesktopXml = nullptr, .currentDesktop = desktop});
    }

    // The entries with the picture folder cut off their paths.
    std::map<std::string, std::string> Names(const DesktopBackground& bg)
    {
        std::map<std::string, std::string> out;
        for (const auto& [key, path] : bg.imageFilePath)
            out[key] = path.rfind(pics_ + "/", 0) == 0 ? path.substr(pics_.size() + 1) : "OUTSIDE:" + path;
        return out;
    }

    ScratchDir dir_;
    std::string home_, config_, pics_;
    std::map<std::string, std::string> saved_;
};

const char* kPlasmaPanelAndDesktop = R"([ActionPlugins][0]
RightButton;NoModifier=org.kde.contextmenu

[Containments][1]
activityId=
formfactor=2
lastScreen=0
location=4
plugin=org.kde.panel
wallpaperplugin=org.kde.image

[Containments][2]
activityId=6f0c5b0e-aaaa
formfactor=0
lastScreen=0
plugin=org.kde.plasma.folder
wallpaperplugin=org.kde.image

[Containments][2][Wallpaper][org.kde.image][General]
Image=file://@PICS@/one.webp
SlidePaths=/usr/share/wallpapers/
)";

TEST_F(DesktopFiles, EachDesktopsOwnFileNamesItsWallpaper)
{
    struct File {
        std::string path, text;
    };
    struct Case {
        const char* what;
        const char* desktop;
        std::vector<File> files;
        std::map<std::string, std::string> want;  // entries, picture paths relative to the picture folder
        int width, height;                        // the "default" picture's own size
    } const cases[] = {
        {"Plasma, file URI",
         "KDE",
         {{"cfg/plasma-org.kde.plasma.desktop-appletsrc", kPlasmaPanelAndDesktop}},
         {{"1", "one.webp"}, {"default", "one.webp"}},
         40,
         30},
        {"Plasma, wallpaper package",
         "KDE",
         {{"cfg/plasma-org.kde.plasma.desktop-appletsrc",
           "[Containments][7]\nlastScreen=0\nplugin=org.kde.desktopcontainment\n\n"
           "[Containments][7][Wallpaper][org.kde.image][General]\nImage[$e]=@PICS@/Theme/\n"}},
         {{"1", "Theme/contents/images/1920x1080.svg"}, {"default", "Theme/contents/images/1920x1080.svg"}},
         1920,
         1080},
        {"LXQt, quoted by QSettings",
         "LXQt",
         {{"cfg/pcmanfm-qt/lxqt/settings.conf", "[Behavior]\nBookmarkOpenMethod=current_tab\n\n[Desktop]\nBgColor=#"
                                                "000000\nFont=\"Sans,10,-1,5,50,0,0,0,0,0\"\n"
                                                "Wallpaper=\"@PICS@/it's, two.jpg\"\nWallpaperMode=zoom\n"}},
         {{"default", "it's, two.jpg"}},
         48,
         32},
        {"LXDE on a Raspberry Pi, second monitor",
         "LXDE",
         {{"cfg/pcmanfm/LXDE-pi/desktop-items-0.conf",
           "[*]\ndesktop_bg=#d6d3de\nwallpaper_mode=crop\nwallpaper_common=1\nwallpaper=@PICS@/four.png\n"},
          {"cfg/pcmanfm/LXDE-pi/desktop-items-1.conf", "[*]\nwallpaper_mode=fit\nwallpaper=@PICS@/three.svg\n"}},
         {{"0", "four.png"}, {"1", "three.svg"}, {"default", "three.svg"}},
         3000,
         2000},
        {"feh, quoted path after an option value",
         "i3",
         {{".fehbg", "#!/bin/sh\nfeh --no-fehbg --bg-fill --image-bg 'black' '@PICS@/it'\\''s, two.jpg' \n"}},
         {{"default", "it's, two.jpg"}},
         48,
         32},
        {"feh, one picture per monitor",
         "",
         {{".fehbg", "#!/bin/sh\n/usr/bin/feh --bg-scale '@PICS@/four.png' '@PICS@/one.webp'\n"}},
         {{"1", "four.png"}, {"0", "one.webp"}, {"default", "four.png"}},
         20,
         10},
        {"nitrogen, whole desktop",
         "openbox",
         {{"cfg/nitrogen/bg-saved.cfg", "[xin_-1]\nfile=@PICS@/three.svg\nmode=5\nbgcolor=#000000\n"}},
         {{"default", "three.svg"}},
         3000,
         2000},
        {"nitrogen, per monitor",
         "",
         {{"cfg/nitrogen/bg-saved.cfg",
           "[xin_0]\nfile=@PICS@/one.webp\nmode=4\nbgcolor=#000000\n\n[xin_1]\nfile=@PICS@/"
           "four.png\nmode=4\nbgcolor=#000000\n"}},
         {{"1", "one.webp"}, {"0", "four.png"}, {"default", "one.webp"}},
         40,
         30},
        {"a KDE session reads its own file before feh's",
         "KDE",
         {{"cfg/plasma-org.kde.plasma.desktop-appletsrc", kPlasmaPanelAndDesktop},
          {".fehbg", "feh --bg-fill '@PICS@/four.png'\n"}},
         {{"1", "one.webp"}, {"default", "one.webp"}},
         40,
         30},
        {"a window manager's session reads feh before any desktop's file",
         "i3",
         {{"cfg/plasma-org.kde.plasma.desktop-appletsrc", kPlasmaPanelAndDesktop},
          {".fehbg", "feh --bg-fill '@PICS@/four.png'\n"}},
         {{"default", "four.png"}},
         20,
         10},
        {"no desktop named: any desktop's file",
         "sway",
         {{"cfg/plasma-org.kde.plasma.desktop-appletsrc", kPlasmaPanelAndDesktop}},
         {{"1", "one.webp"}, {"default", "one.webp"}},
         40,
         30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* stale : {".fehbg", "cfg/plasma-org.kde.plasma.desktop-appletsrc",
                                  "cfg/pcmanfm-qt/lxqt/settings.conf", "cfg/pcmanfm/LXDE-pi/desktop-items-0.conf",
                                  "cfg/pcmanfm/LXDE-pi/desktop-items-1.conf", "cfg/nitrogen/bg-saved.cfg"})
            std::remove((home_ + "/" + stale).c_str());
        for (const File& f : c.files)
            Write(f.path, f.text);
        const DesktopBackground bg = Read(c.desktop);
        EXPECT_EQ(Names(bg), c.want);
        // End to end: the default picture decodes at its own size.
        char path[1024];
        DesktopPicturePath(bg, 5, "/res/zarnet-default.png", path);
        int w = 0, h = 0;
        PictureFile file;
        ASSERT_TRUE(ReadPictureFile(path, &file)) << path;
        EXPECT_TRUE(ReadPictureSize(file.data(), file.size(), &w, &h)) << path;
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        DecodedPicture picture;
        EXPECT_TRUE(DecodePicture(file.data(), file.size(), 512, 512, &picture)) << path;
        FreeDecodedPicture(&picture);
        FreePictureFile(&file);
    }
}

TEST_F(DesktopFiles, PlasmaScreensByConnectorAndCurrentActivity)
{
    // Plasma's screen 0 is on "left" and 1 on "right" (not our numbers);
    // screen 0 has a containment per activity, the current one's counts.
    Write("cfg/plasmashellrc", "[ScreenConnectors]\n0=left\n1=right\n");
    Write("cfg/kactivitymanagerdrc", "[activities]\naaa=Default\nbbb=Work\n\n[main]\ncurrentActivity=bbb\n");
    Write("cfg/plasma-org.kde.plasma.desktop-appletsrc",
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
    EXPECT_EQ(Names(Read("KDE")), (std::map<std::string, std::string>{
                                      {"0", "it's, two.jpg"}, {"1", "three.svg"}, {"default", "three.svg"}}));
}

TEST_F(DesktopFiles, DamagedOrEmptySettingsFallBack)
{
    struct Case {
        const char* what;
        const char* desktop;
        const char* path;
        std::string text;
    } const cases[] = {
        {"Plasma: binary junk", "KDE", "cfg/plasma-org.kde.plasma.desktop-appletsrc",
         std::string("\0\xff[[[]]]=\n\x01=", 12)},
        {"Plasma: picture missing", "KDE", "cfg/plasma-org.kde.plasma.desktop-appletsrc",
         "[Containments][2]\nlastScreen=0\n[Containments][2][Wallpaper][org.kde.image][General]\nImage=/"
         "nonexistent.jpg\n"},
        {"Plasma: folder that is no package", "KDE", "cfg/plasma-org.kde.plasma.desktop-appletsrc",
         "[Containments][2]\nlastScreen=0\n[Containments][2][Wallpaper][org.kde.image][General]\nImage=@PICS@\n"},
        {"LXQt: not a key file", "LXQt", "cfg/pcmanfm-qt/lxqt/settings.conf", "Wallpaper=@PICS@/four.png\n[[[\n"},
        {"LXQt: wallpaper turned off", "LXQt", "cfg/pcmanfm-qt/lxqt/settings.conf",
         "[Desktop]\nWallpaper=@PICS@/four.png\nWallpaperMode=none\n"},
        {"LXDE: colour only", "LXDE", "cfg/pcmanfm/LXDE/desktop-items-0.conf",
         "[*]\nwallpaper_mode=color\nwallpaper=@PICS@/four.png\n"},
        {"feh: unterminated quote", "i3", ".fehbg", "feh --bg-fill '@PICS@/four.png\n"},
        {"feh: another command", "i3", ".fehbg", "xsetroot -solid '@PICS@/four.png'\n"},
        {"nitrogen: relative path", "i3", "cfg/nitrogen/bg-saved.cfg", "[xin_-1]\nfile=four.png\n"},
        {"nitrogen: monitor beyond the list", "i3", "cfg/nitrogen/bg-saved.cfg", "[xin_7]\nfile=@PICS@/four.png\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write(c.path, c.text);
        char path[1024];
        DesktopPicturePath(Read(c.desktop), 0, "/res/zarnet-default.png", path);
        EXPECT_STREQ(path, "/res/zarnet-default.png");
        std::remove((home_ + "/" + c.path).c_str());
    }
}

TEST_F(DesktopFiles, GnomeBackgroundDescriptionGivesThePictureForTheScreen)
{
    // As Debian's desktop theme sets it: picture-uri names a description
    // whose pictures are SVGs in several sizes.
    const std::string schemas = home_ + "/schemas";
    ASSERT_TRUE(MakeDirs(schemas));
    ASSERT_TRUE(WriteWholeFile(schemas + "/test.gschema.xml",
                               "<schemalist><schema id=\"org.gnome.desktop.background\" "
                               "path=\"/org/gnome/desktop/background/\"><key name=\"picture-uri\" type=\"s\">"
                               "<default>'file://" +
                                   pics_ + "/Theme/gnome-background.xml'</default></key></schema></schemalist>"));
    ASSERT_EQ(std::system(("glib-compile-schemas '" + schemas + "' >/dev/null 2>&1").c_str()), 0);
    EXPECT_EQ(Names(Read("GNOME", schemas.c_str())),
              (std::map<std::string, std::string>{{"default", "Theme/contents/images/1920x1080.svg"}}));

    // Fit by aspect, then the smallest that covers the screen; a description
    // without a usable picture gives nothing.
    struct Case {
        int width, height;
        const char* want;
    } const fits[] = {{1920, 1080, "1920x1080"}, {2560, 1440, "3840x2160"}, {4096, 2304, "3840x2160"},
                      {1280, 1024, "1280x1024"}, {1024, 768, "1600x1200"},  {800, 600, "1600x1200"}};
    for (const Case& c : fits) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        ScreenList one = MakeVirtualScreens({{0, 0, c.width, c.height}}, 0);
        const std::string none = home_ + "/no-schemas";
        Write(".fehbg", "feh --bg-fill '@PICS@/Theme/gnome-background.xml'\n");
        const DesktopBackground bg = ReadDesktopBackground(one, {.schemaDir = none.c_str(), .currentDesktop = "i3"});
        ASSERT_EQ(bg.imageFilePath.count("default"), 1u);
        EXPECT_EQ(bg.imageFilePath.at("default"), pics_ + "/Theme/contents/images/" + c.want + ".svg");
    }
    Write("pics/empty.xml", "<background><static><file>/nonexistent.png</file></static></background>");
    Write(".fehbg", "feh --bg-fill '@PICS@/empty.xml'\n");
    EXPECT_TRUE(Read("i3").imageFilePath.empty());
}

}  // namespace
