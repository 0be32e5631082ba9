// The desktop-picture look-up: per-screen and default entries, XFCE's
// per-monitor file, the GSettings keys of GNOME, Cinnamon and MATE.
#include "platform/desktop_background.h"
#include "tests/support/scratch_dir.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Two monitors as XRandR names them; "right" (number 1) is primary.
ScreenList TwoMonitors()
{
    ScreenList list = MakeVirtualScreens({{0, 0, 800, 600}, {800, 0, 800, 600}}, 1);
    for (ScreenInfo& s : list.screens)
        s.name = s.number == 0 ? "left" : "right";
    return list;
}

std::string Entry(const DesktopBackground& bg, const char* key)
{
    auto it = bg.imageFilePath.find(key);
    return it == bg.imageFilePath.end() ? "<none>" : it->second;
}

std::string Property(const char* name, const std::string& value)
{
    return std::string("<property name=\"") + name + "\" type=\"string\" value=\"" + value + "\"/>";
}

bool CompileSchemas(const std::string& dir, const std::string& xml)
{
    if (!WriteWholeFile(dir + "/test.gschema.xml", xml))
        return false;
    std::string cmd = "glib-compile-schemas '" + dir + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::string SchemaPath(const char* id)
{
    std::string path = std::string("/") + id + "/";
    for (char& c : path)
        if (c == '.')
            c = '/';
    return path;
}

std::string Schema(const char* id, const char* key, const std::string& value)
{
    return std::string("<schema id=\"") + id + "\" path=\"" + SchemaPath(id) + "\"><key name=\"" + key + "\" type=\"s\"><default>'"
           + value + "'</default></key></schema>";
}

}  // namespace

TEST(DesktopPicturePath, ScreenEntryThenDefaultThenFallback)
{
    DesktopBackground bg;
    bg.imageFilePath["1"] = "/pics/screen-one.jpg";
    bg.imageFilePath["default"] = "/pics/all.jpg";
    DesktopBackground shortOnes;
    shortOnes.imageFilePath["0"] = "/a.j";         // 4 characters: too short
    shortOnes.imageFilePath["default"] = "/a.jp";   // 5: long enough
    DesktopBackground longOne;
    longOne.imageFilePath["default"] = "/" + std::string(3000, 'x');

    struct Case {
        const char* name;
        const DesktopBackground& bg;
        int screen;
        std::string want;
    };
    const Case cases[] = {
        {"screen's own entry", bg, 1, "/pics/screen-one.jpg"},
        {"default for another screen", bg, 0, "/pics/all.jpg"},
        {"nothing at all", DesktopBackground{}, 0, "/res/zarnet-default.png"},
        {"short entry, not the default", shortOnes, 0, "/res/zarnet-default.png"},
        {"five characters are enough", shortOnes, 3, "/a.jp"},
        {"cut to 1023 bytes", longOne, 0, "/" + std::string(1022, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char path[1024];
        std::memset(path, 'Z', sizeof path);
        DesktopPicturePath(c.bg, c.screen, "/res/zarnet-default.png", path);
        EXPECT_EQ(std::string(path), c.want);
    }
    char path[1024];
    DesktopPicturePath(DesktopBackgroundFromPath("/given/by/driver.png"), 5, "/fallback.png", path);
    EXPECT_STREQ(path, "/given/by/driver.png");
}

TEST(DesktopBackground, XfcePerMonitorPictures)
{
    ScratchDir dir;
    for (const char* name : {"a.png", "b.jpg", "c d&e.jpg", "old.jpg", "ws1.jpg"})
        ASSERT_TRUE(WriteWholeFile(dir.Join(name), "x"));
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<channel name=\"xfce4-desktop\" version=\"1.0\">"
                             "<property name=\"backdrop\" type=\"empty\"><property name=\"screen0\" type=\"empty\">";
    const std::string tail = "</property></property></channel>\n";
    const std::string xml = head
        // named monitor: workspace 0 wins over workspace 1 and the monitor's own keys
        + "<property name=\"monitorright\" type=\"empty\">" + Property("image-path", dir.Join("old.jpg"))
        + "<property name=\"workspace1\" type=\"empty\">" + Property("last-image", dir.Join("ws1.jpg")) + "</property>"
        + "<property name=\"workspace0\" type=\"empty\">"
        + "<property name=\"color-style\" type=\"int\" value=\"0\"/>" + Property("last-image", dir.Join("a.png"))
        + "</property></property>"
        // counted monitor of older files, a file URI with escapes and an entity
        + "<property name=\"monitor0\" type=\"empty\">"
        + Property("last-image", "file://" + dir.Join("c%20d&amp;e.jpg")) + "</property>"
        // a monitor that isn't connected, and a picture that doesn't exist
        + "<property name=\"monitorHDMI-9\" type=\"empty\">" + Property("last-image", dir.Join("b.jpg")) + "</property>"
        + "<property name=\"monitorleft\" type=\"empty\">" + Property("last-image", dir.Join("gone.jpg")) + "</property>"
        + tail;
    ASSERT_TRUE(WriteWholeFile(dir.Join("xfce4-desktop.xml"), xml));
    std::string xmlPath = dir.Join("xfce4-desktop.xml");
    std::string noSchemas = dir.Join("no-schemas");

    DesktopBackgroundSources sources;
    sources.xfceDesktopXml = xmlPath.c_str();
    sources.schemaDir = noSchemas.c_str();
    sources.currentDesktop = "XFCE";
    DesktopBackground bg = ReadDesktopBackground(TwoMonitors(), sources);
    EXPECT_EQ(Entry(bg, "1"), dir.Join("a.png"));
    EXPECT_EQ(Entry(bg, "0"), dir.Join("c d&e.jpg"));
    EXPECT_EQ(Entry(bg, "default"), dir.Join("a.png"));  // the primary monitor's
    EXPECT_EQ(bg.imageFilePath.size(), 3u);

    // Another desktop runs: XFCE's file is stale and not looked at.
    sources.currentDesktop = "GNOME";
    EXPECT_TRUE(ReadDesktopBackground(TwoMonitors(), sources).imageFilePath.empty());

    // Damaged or unsuitable files say nothing.
    const std::string broken[] = {
        head + "<property name=\"monitorright\" type=\"empty\">" + Property("last-image", dir.Join("a.png")),
        head + "<property name=\"monitorright\" value=\"&bogus;\"/>" + tail,
        std::string("\x00\xff\xfe garbage", 12),
        head + "<!--" + std::string(2u << 20, 'x') + "-->" + tail,
    };
    sources.currentDesktop = "XFCE";
    for (const std::string& b : broken) {
        ASSERT_TRUE(WriteWholeFile(xmlPath, b));
        EXPECT_TRUE(ReadDesktopBackground(TwoMonitors(), sources).imageFilePath.empty());
    }
    ASSERT_EQ(unlink(xmlPath.c_str()), 0);
    ASSERT_EQ(mkdir(xmlPath.c_str(), 0700), 0);
    EXPECT_TRUE(ReadDesktopBackground(TwoMonitors(), sources).imageFilePath.empty());
}

TEST(DesktopBackground, GSettingsWallpaperOfTheRunningDesktop)
{
    ScratchDir dir;
    for (const char* name : {"my pic.jpg", "mate.png", "cinna.jpg"})
        ASSERT_TRUE(WriteWholeFile(dir.Join(name), "x"));
    std::string all = dir.Join("all"), noCinnamon = dir.Join("no-cinnamon"), dark = dir.Join("dark"),
                missing = dir.Join("missing");
    for (const std::string& d : {all, noCinnamon, dark, missing})
        ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
    const std::string gnome = Schema("org.gnome.desktop.background", "picture-uri",
                                     "file://" + dir.Join("my%20pic.jpg"));
    const std::string mate = Schema("org.mate.background", "picture-filename", dir.Join("mate.png"));
    const std::string cinnamon = Schema("org.cinnamon.desktop.background", "picture-uri",
                                        "file://" + dir.Join("cinna.jpg"));
    if (!CompileSchemas(all, "<schemalist>" + gnome + mate + cinnamon + "</schemalist>"))
        GTEST_SKIP() << "glib-compile-schemas not available";
    ASSERT_TRUE(CompileSchemas(noCinnamon, "<schemalist>" + gnome + mate + "</schemalist>"));
    ASSERT_TRUE(CompileSchemas(dark,
        "<schemalist><schema id=\"org.gnome.desktop.background\" path=\"/org/gnome/desktop/background/\">"
        "<key name=\"picture-uri\" type=\"s\"><default>'file://" + dir.Join("my%20pic.jpg") + "'</default></key>"
        "<key name=\"picture-uri-dark\" type=\"s\"><default>'file://" + dir.Join("cinna.jpg") + "'</default></key>"
        "</schema>" + Schema("org.gnome.desktop.interface", "color-scheme", "prefer-dark") + "</schemalist>"));
    ASSERT_TRUE(CompileSchemas(missing,
        "<schemalist>" + Schema("org.gnome.desktop.background", "picture-uri", "file:///nonexistent/x.jpg")
        + Schema("org.mate.background", "picture-filename", "") + "</schemalist>"));

    struct Case {
        const char* name;
        const std::string& schemas;
        const char* desktop;
        std::string want;  // "default" entry; "<none>" when absent
    };
    const Case cases[] = {
        {"GNOME", all, "GNOME", dir.Join("my pic.jpg")},
        {"Ubuntu's GNOME", all, "ubuntu:GNOME", dir.Join("my pic.jpg")},
        {"MATE", all, "MATE", dir.Join("mate.png")},
        {"Cinnamon", all, "X-Cinnamon", dir.Join("cinna.jpg")},
        {"Cinnamon not installed", noCinnamon, "X-Cinnamon", dir.Join("my pic.jpg")},
        {"unknown desktop", all, "", dir.Join("my pic.jpg")},
        {"dark style", dark, "GNOME", dir.Join("cinna.jpg")},
        {"picture missing, empty key", missing, "GNOME", "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DesktopBackgroundSources sources;
        sources.schemaDir = c.schemas.c_str();
        sources.currentDesktop = c.desktop;
        std::string noXfce = dir.Join("none.xml");
        sources.xfceDesktopXml = noXfce.c_str();
        DesktopBackground bg = ReadDesktopBackground(TwoMonitors(), sources);
        EXPECT_EQ(Entry(bg, "default"), c.want);
        EXPECT_LE(bg.imageFilePath.size(), 1u);
    }
}

TEST(DesktopBackground, InstalledSchemasNeverAbort)
{
    // Whatever this machine has installed: only existing files come back.
    for (const char* desktop : {"GNOME", "X-Cinnamon", "MATE", "XFCE", "KDE", ""}) {
        SCOPED_TRACE(desktop);
        DesktopBackgroundSources sources;
        sources.currentDesktop = desktop;
        DesktopBackground bg = ReadDesktopBackground(TwoMonitors(), sources);
        for (const auto& [key, path] : bg.imageFilePath) {
            struct stat st;
            EXPECT_EQ(stat(path.c_str(), &st), 0) << key << " " << path;
        }
    }
}
