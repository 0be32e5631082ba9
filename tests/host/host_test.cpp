// The host's logic without GL: the settings through the module's store, the
// resource path, and the screen and texture size of the desktop grab.
#include "host/DesktopCapture.h"
#include "host/Preferences.h"
#include "host/ZarnetView.h"
#include "platform/preference_store.h"
#include "tests/support/scratch_dir.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <tuple>

namespace {

struct Read {
    SETTINGS settings{};  // zero-filled, as the view's record starts
    bool mainMonitorOnly = false, saved = false;
};

Read ReadFrom(const std::string& dir)
{
    Read r;
    PreferenceStore store(kPrefsModule, dir.c_str());
    r.saved = ReadSettings(store, &r.settings, &r.mainMonitorOnly);
    return r;
}

void ExpectFirstRunRecord(const Read& r)
{
    const SETTINGS& s = r.settings;
    EXPECT_EQ(std::make_tuple(s.BGRES, s.BGTYPE, std::string(s.BGPath), s.PERCENTAGE, s.PUZZLEWIDTH, s.LOCKINPLACE,
                              r.mainMonitorOnly),
              std::make_tuple(1, 0, std::string("/usr/share/backgrounds/"), 75, 25, true, false));
}

// The store holds exactly the eight keys, with their first-run values.
void ExpectFirstRunStore(const std::string& dir)
{
    PreferenceStore store(kPrefsModule, dir.c_str());
    std::map<std::string, std::string> stored;
    for (const std::string& key : store.allKeys())
        EXPECT_TRUE(store.stringForKey(key.c_str(), &stored[key]));
    EXPECT_EQ(stored, (std::map<std::string, std::string>{{"BGPath", "/usr/share/backgrounds/"},
                                                          {"BGRes", "1"},
                                                          {"BGType", "0"},
                                                          {"LockInPlace", "true"},
                                                          {"MainMonitorOnly", "false"},
                                                          {"Percentage", "75"},
                                                          {"PuzzleWidth", "25"},
                                                          {"version", "1.0.1"}}));
}

TEST(ReadSettings, FirstRunOrAnotherVersionWritesTheFirstRunValuesOnce)
{
    for (const char* version : {"(no file)", "version=1.0.0\n", "version=1.0.1 \n", ""}) {
        SCOPED_TRACE(version);
        ScratchDir dir;
        const std::string sub = dir.Join("zarnet"), conf = sub + "/vmZarnetSS.conf";  // made on save
        ASSERT_TRUE(
            version[0] == '(' ||
            (mkdir(sub.c_str(), 0700) == 0 &&
             WriteWholeFile(
                 conf,
                 std::string("[vmZarnetSS]\n") + version +
                     "MainMonitorOnly=true\nLockInPlace=false\nPuzzleWidth=40\nPercentage=60\nBGType=2\nBGRes=2\n")));
        Read r = ReadFrom(sub);
        EXPECT_TRUE(r.saved);
        ExpectFirstRunRecord(r);  // PuzzleWidth 40 becomes 25, and so on
        ExpectFirstRunStore(sub);
        std::string before, after;  // the next run finds the version and leaves the store alone
        ASSERT_TRUE(ReadWholeFile(conf, &before));
        ExpectFirstRunRecord(ReadFrom(sub));
        ASSERT_TRUE(ReadWholeFile(conf, &after));
        EXPECT_EQ(before, after);
    }
}

// Under the current version the sheet's keys read back as saved.
TEST(WriteSettings, SavesTheSheetKeysOrReportsTheFailedSave)
{
    ScratchDir dir;
    ASSERT_TRUE(ReadFrom(dir.Path()).saved);
    SETTINGS s{};
    s.PUZZLEWIDTH = 40;
    s.PERCENTAGE = 60;
    s.BGTYPE = 2;
    std::strcpy(s.BGPath, "/home/me/Pictures/ holiday\\2024\n/");
    PreferenceStore store(kPrefsModule, dir.Path().c_str());
    ASSERT_TRUE(WriteSettings(store, s, true));
    Read r = ReadFrom(dir.Path());
    EXPECT_TRUE(r.mainMonitorOnly);
    EXPECT_EQ(r.settings.BGRES, s.BGRES);
    EXPECT_EQ(r.settings.BGTYPE, s.BGTYPE);
    EXPECT_STREQ(r.settings.BGPath, s.BGPath);
    EXPECT_EQ(r.settings.PERCENTAGE, s.PERCENTAGE);
    EXPECT_EQ(r.settings.PUZZLEWIDTH, s.PUZZLEWIDTH);
    EXPECT_EQ(r.settings.LOCKINPLACE, s.LOCKINPLACE);
    PreferenceStore unwritable(kPrefsModule, dir.Join("vmZarnetSS.conf/zarnet").c_str());  // under a plain file
    EXPECT_FALSE(WriteSettings(unwritable, s, false));
}

TEST(ReadSettings, PictureSourceOutsideRangeIsUsedAsGrabButStaysStored)
{
    const std::pair<const char*, int> cases[] = {{"2", 2}, {"3", 0}, {"5", 0}, {"-1", 0}, {"4294967297", 0}};
    for (const auto& [stored, used] : cases) {
        SCOPED_TRACE(stored);
        ScratchDir dir;
        const std::string text = std::string("[vmZarnetSS]\nversion=1.0.1\nBGType=") + stored + "\n";
        ASSERT_TRUE(WriteWholeFile(dir.Join("vmZarnetSS.conf"), text));
        EXPECT_EQ(ReadFrom(dir.Path()).settings.BGTYPE, used);
        std::string after;
        ASSERT_TRUE(ReadWholeFile(dir.Join("vmZarnetSS.conf"), &after));
        EXPECT_EQ(after, text);
    }
}

TEST(ReadSettings, DamagedStoreGivesFirstRunValues)
{
    const std::string damaged[] = {"this is not a key file\n=== ]]]\n", std::string("\x00\xff\xfe\x80[\xc3 binary", 13),
                                   "[vmZarnetSS\nversion=1.0.1\n",
                                   "[vmZarnetSS]\nversion=1.0.1\n#" + std::string(2u << 20, 'x') + "\n"};
    for (const std::string& bytes : damaged) {
        ScratchDir dir;
        ASSERT_TRUE(WriteWholeFile(dir.Join("vmZarnetSS.conf"), bytes));
        Read r = ReadFrom(dir.Path());
        ExpectFirstRunRecord(r);
        EXPECT_TRUE(r.saved);
        ExpectFirstRunStore(dir.Path());
    }
    // In place of the file: a FIFO must not block and is replaced; a directory
    // can't be, so the failed save is reported and the values used all the same.
    for (bool fifo : {true, false}) {
        ScratchDir dir;
        const std::string conf = dir.Join("vmZarnetSS.conf");
        ASSERT_EQ(fifo ? mkfifo(conf.c_str(), 0600) : mkdir(conf.c_str(), 0700), 0);
        Read r = ReadFrom(dir.Path());
        ExpectFirstRunRecord(r);
        EXPECT_EQ(r.saved, fifo);
    }
}

TEST(ZarnetViewPaths, ResourcePathGetsExactlyOneTrailingSlash)
{
    const std::string long1023(1023, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/share/zarnet", "/usr/share/zarnet/"},
        {"/usr/share/zarnet/", "/usr/share/zarnet/"},
        {"", "/"},
        {long1023, long1023},  // no room left for the slash
        {long1023 + "bb", long1023},
    };
    for (const auto& [in, out] : cases) {
        char made[1024];
        std::memset(made, 'x', sizeof made);
        ZarnetView::MakeResourcePath(in, made);
        EXPECT_EQ(std::string(made), out) << in.size();
    }
}

TEST(DesktopCapture, ScreenChoiceFollowsTheListOrder)
{
    // Right (number 1, main) listed first, then left (0).
    const ScreenList two = MakeVirtualScreens({{0, 0, 640, 480}, {640, 0, 640, 480}}, 1);
    const std::pair<ScreenRect, int> cases[] = {
        {{700, 10, 100, 100}, 1},  // on the main screen
        {{10, 10, 100, 100}, 0},   // on the second screen of the list
        {{600, 10, 100, 100}, 1},  // straddles: the first in the list that it meets
        {{5000, 0, 100, 100}, 1},  // meets none: the main screen
        {{10, 10, 0, 0}, 1},       // an empty frame meets none
    };
    for (const auto& [frame, number] : cases)
        EXPECT_EQ(ScreenNumberForFrame(two, frame), number) << frame.x;
}

TEST(DesktopCapture, TextureSideIsTheNearestPowerOfTwoWithinTheDetailLimit)
{
    const struct {
        int side, detail, maxTexture, texSide;
    } cases[] = {
        {1440, 1, 16384, 1024},
        {1440, 0, 16384, 512},
        {1920, 2, 2048, 2048},
        {1920, 2, 1024, 1024},
        {1920, 7, 4096, 2048},  // any other detail: the GL maximum
        {480, 1, 16384, 512},   // 480 is nearer 512 than 256 on a log scale
        {362, 2, 16384, 256},   // 2^8.5 = 362.04: 362 rounds down
        {363, 2, 16384, 512},
        {0, 2, 16384, 1},  // no side below 1
        {2147483647, 2, 2147483647, 1 << 30},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GrabTextureSide(c.side, GrabSizeLimit(c.detail, c.maxTexture)), c.texSide)
            << c.side << " detail " << c.detail;
}

}  // namespace
