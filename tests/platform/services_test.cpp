// The services without a display: a view's alerts, the key-file store and XScreenSaver's "may hacks show the
// desktop" setting. (The desktops' wallpaper settings: desktop_background_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/ScreenSaverView.h"
#include "platform/preference_store.h"
#include "platform/screen_grab.h"
#include "tests/support/scratch_dir.h"

namespace {

// Each view has its own route: one recording doesn't take another's alerts,
// which go to stderr.
TEST(Alert, StderrByDefaultOrTheViewsRoute)
{
    ScreenSaverView recorded(nullptr, nullptr), plain(nullptr, nullptr);
    std::vector<std::string> seen;
    recorded.setAlertRoute(
        [&](const char* caption, const char* text) { seen.push_back(std::string(caption) + "|" + text); });
    ::testing::internal::CaptureStderr();
    recorded.showAlert("ERROR", "%s%n");  // a text is never a format
    plain.showAlert("ERROR", "%s%n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "zarnet: ERROR: %s%n\n");
    EXPECT_EQ(seen, (std::vector<std::string>{"ERROR|%s%n"}));
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

TEST(XScreenSaverSettings, DesktopGrabIsAllowedUnlessGrabDesktopImagesIsFalse)
{
    const struct {
        const char* text;
        bool allowed;
    } cases[] = {
        {"mode:\t\tone\nlock:\t\tFalse\ngrabVideoFrames:\tFalse\n", true},
        {"grabDesktopImages: false", false},  // no newline at the end
        {"grabDesktopImages:  no  \r\n", false},
        {"*grabDesktopImages:\tOff\n", false},                                      // X resource form
        {"grabDesktopImages:\tFalse\ngrabDesktopImages:\tTrue\n", true},            // the last one counts
        {"programs:\t\\\n  zarnet --root grabDesktopImages: False \\n\\\n", true},  // not a setting's name
        {"grabDesktopImagesX:\tFalse\n", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XScreenSaverAllowsDesktopGrab(c.text), c.allowed) << c.text;
}

}  // namespace
