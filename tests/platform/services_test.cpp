// The platform's services without a display: alerts, the PNG writer, the
// key-file store and the running desktop's wallpaper setting.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "pictures/png_writer.h"
#include "platform/alert.h"
#include "platform/desktop_background.h"
#include "platform/preference_store.h"
#include "tests/support/scratch_dir.h"

namespace {

TEST(Alert, StderrByDefaultOrTheRecorder)
{
    AlertUseStderr();
    ::testing::internal::CaptureStderr();
    ShowAlert("Invalid Image", "TGA file be type 2 or type 10 ");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "zarnet: Invalid Image: TGA file be type 2 or type 10 \n");
    std::vector<std::string> seen;
    AlertSetRecorder([&](const char* caption, const char* text) { seen.push_back(std::string(caption) + "|" + text); });
    ShowAlert("ERROR", "%s%n");  // a text is never a format
    AlertSetRecorder(nullptr);   // an empty recorder means stderr again
    ::testing::internal::CaptureStderr();
    ShowAlert("ERROR", "x");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "zarnet: ERROR: x\n");
    EXPECT_EQ(seen, std::vector<std::string>{"ERROR|%s%n"});
}

TEST(WritePNG, RoundTripsThroughLibpngTopRowFirst)
{
    ScratchDir dir;
    const std::string path = dir.Join("x.png");
    std::vector<uint8_t> rgba(size_t(3) * 2 * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_TRUE(WritePNG(path.c_str(), 3, 2, rgba.data()));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> back(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(back, rgba);
    EXPECT_FALSE(WritePNG(dir.Join("absent/x.png").c_str(), 3, 2, rgba.data()));
}

TEST(PreferenceStore, ValuesRoundTripThroughTheFileByteForByte)
{
    const std::string values[] = {"", "  padded  ", "back\\slash \\s\nlines\tand\rreturns", "[group] # ; = syntax",
                                  "/home/me/Bilder/Gr\xfc\xdf\x65/"};  // Latin-1: not UTF-8
    ScratchDir dir;
    const std::string folder = dir.Join("Gr\xfc\xdf"
                                        "e");  // not there yet: made on save
    {
        PreferenceStore store("vmZarnetSS", folder.c_str());
        for (size_t i = 0; i < std::size(values); ++i)
            store.setObject(values[i].c_str(), ("k" + std::to_string(i)).c_str());
        store.setInteger(-123456789012345, "n");
        store.setBool(true, "b");
        ASSERT_TRUE(store.synchronize());
    }
    PreferenceStore store("vmZarnetSS", folder.c_str());
    for (size_t i = 0; i < std::size(values); ++i) {
        std::string got;
        ASSERT_TRUE(store.stringForKey(("k" + std::to_string(i)).c_str(), &got)) << i;
        EXPECT_EQ(got, values[i]);
    }
    EXPECT_EQ(store.integerForKey("n"), -123456789012345);
    EXPECT_TRUE(store.boolForKey("b"));
    EXPECT_FALSE(store.hasKey("absent"));
}

// A line ends at its first NUL byte and carriage returns before its end
// (DOS files, a last line without its "\n") are no part of the value, when
// read and after a save. Found by fuzzing: such a value kept its "\r" until
// a save, and lost it at the next start.
TEST(PreferenceStore, CarriageReturnsAndNulsAtLineEndsAreNoPartOfAValueBeforeOrAfterASave)
{
    using namespace std::string_literals;
    const std::string files[] = {"[vmZarnetSS]\nBGPath=/home/u\r"s, "[vmZarnetSS]\r\nBGPath=/home/u\r\r\nBGRes=2\r\n"s,
                                 "[vmZarnetSS]\r\r\nBGPath=/home/u\r\r"s,
                                 "[vmZarnetSS]\nBGPath=/home/u\r\0\r\r junk\r\nBGRes=2\n"s};
    for (const std::string& text : files) {
        SCOPED_TRACE(text);
        ScratchDir dir;
        ASSERT_TRUE(WriteWholeFile(dir.Join("vmZarnetSS.conf"), text));
        for (int start = 0; start < 2; ++start) {  // as read, then after a save
            PreferenceStore store("vmZarnetSS", dir.Path().c_str());
            std::string path;
            EXPECT_TRUE(store.stringForKey("BGPath", &path) && path == "/home/u") << start << ": " << path;
            ASSERT_TRUE(store.synchronize());
        }
    }
    // A carriage return inside a line stays part of the value.
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join("vmZarnetSS.conf"), "[vmZarnetSS]\nBGPath=/a\rb\r\n"));
    std::string path;
    EXPECT_TRUE(PreferenceStore("vmZarnetSS", dir.Path().c_str()).stringForKey("BGPath", &path) && path == "/a\rb");
}

// Two monitors as XRandR names them; "right" (number 1) is primary.
ScreenList TwoMonitors()
{
    ScreenList list = MakeVirtualScreens({{0, 0, 800, 600}, {800, 0, 800, 600}}, 1);
    for (ScreenInfo& s : list.screens)
        s.name = s.number == 0 ? "left" : "right";
    return list;
}

TEST(DesktopBackground, XfcePicturePerMonitor)
{
    ScratchDir dir;
    for (const char* name : {"a.png", "c d&e.jpg"})
        ASSERT_TRUE(WriteWholeFile(dir.Join(name), "x"));
    auto monitor = [](const std::string& name, const std::string& image) {
        return "<property name=\"monitor" + name +
               "\" type=\"empty\"><property name=\"workspace0\" type=\"empty\">"
               "<property name=\"last-image\" type=\"string\" value=\"" +
               image + "\"/></property></property>";
    };
    // By RandR name and counted as older files do, a file URI with an escape
    // and an entity; a monitor that isn't connected is left out.
    const std::string xml = "<?xml version=\"1.0\"?><channel name=\"xfce4-desktop\" version=\"1.0\">"
                            "<property name=\"backdrop\" type=\"empty\"><property name=\"screen0\" type=\"empty\">" +
                            monitor("right", dir.Join("a.png")) +
                            monitor("0", "file://" + dir.Join("c%20d&amp;e.jpg")) +
                            monitor("HDMI-9", dir.Join("a.png")) + "</property></property></channel>\n";
    const std::string xmlPath = dir.Join("xfce4-desktop.xml"), noSchemas = dir.Join("no-schemas");
    ASSERT_TRUE(WriteWholeFile(xmlPath, xml));
    const DesktopBackground bg = ReadDesktopBackground(
        TwoMonitors(), {.schemaDir = noSchemas.c_str(), .xfceDesktopXml = xmlPath.c_str(), .currentDesktop = "XFCE"});
    EXPECT_EQ(bg.imageFilePath,
              (std::map<std::string, std::string>{
                  {"0", dir.Join("c d&e.jpg")}, {"1", dir.Join("a.png")}, {"default", dir.Join("a.png")}}));
}

TEST(DesktopBackground, GSettingsWallpaperElseTheBundledPicture)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join("my pic.jpg"), "x"));
    auto compile = [&](const std::string& name, const std::string& uri) {
        const std::string schemas = dir.Join(name);
        return mkdir(schemas.c_str(), 0700) == 0 &&
               WriteWholeFile(schemas + "/test.gschema.xml",
                              "<schemalist><schema id=\"org.gnome.desktop.background\" "
                              "path=\"/org/gnome/desktop/background/\"><key name=\"picture-uri\" type=\"s\">"
                              "<default>'" +
                                  uri + "'</default></key></schema></schemalist>") &&
               std::system(("glib-compile-schemas '" + schemas + "' >/dev/null 2>&1").c_str()) == 0;
    };
    ASSERT_TRUE(compile("found", "file://" + dir.Join("my%20pic.jpg")));
    ASSERT_TRUE(compile("missing", "file:///nonexistent/x.jpg"));
    const std::string noXfce = dir.Join("none.xml");
    for (const char* name : {"found", "missing"}) {
        const std::string schemas = dir.Join(name);
        const DesktopBackgroundSources sources{
            .schemaDir = schemas.c_str(), .xfceDesktopXml = noXfce.c_str(), .currentDesktop = "GNOME"};
        char path[1024];
        DesktopPicturePath(ReadDesktopBackground(TwoMonitors(), sources), 0, "/res/zarnet-default.png", path);
        EXPECT_STREQ(path, name == std::string("found") ? dir.Join("my pic.jpg").c_str() : "/res/zarnet-default.png");
    }
}

}  // namespace
