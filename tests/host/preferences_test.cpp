// Reading and saving the user's settings through the module's store.
#include "host/Preferences.h"
#include "platform/preference_store.h"
#include "tests/support/scratch_dir.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Read {
    SETTINGS settings;
    bool mainMonitorOnly;
    bool saved;
};

// Opens the store in `dir` and reads it into a zero-filled record, as the view does.
Read ReadFrom(const std::string& dir)
{
    Read r;
    std::memset(&r.settings, 0, sizeof r.settings);
    r.mainMonitorOnly = false;
    PreferenceStore store(kPrefsModule, dir.c_str());
    r.saved = ReadSettings(store, &r.settings, &r.mainMonitorOnly);
    return r;
}

void ExpectFirstRunRecord(const Read& r)
{
    EXPECT_EQ(r.settings.BGRES, 1);
    EXPECT_EQ(r.settings.BGTYPE, 0);
    EXPECT_STREQ(r.settings.BGPath, "/usr/share/backgrounds/");
    EXPECT_EQ(r.settings.PERCENTAGE, 75);
    EXPECT_EQ(r.settings.PUZZLEWIDTH, 25);
    EXPECT_TRUE(r.settings.LOCKINPLACE);
    EXPECT_FALSE(r.mainMonitorOnly);
    EXPECT_EQ(r.settings.picWidth, 0);
    EXPECT_EQ(r.settings.picHeight, 0);
}

void ExpectFirstRunStore(const std::string& dir)
{
    PreferenceStore store(kPrefsModule, dir.c_str());
    std::vector<std::string> keys = store.allKeys();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"BGPath", "BGRes", "BGType", "LockInPlace",
                                              "MainMonitorOnly", "Percentage", "PuzzleWidth",
                                              "version"}));
    std::string s;
    ASSERT_TRUE(store.stringForKey("version", &s));
    EXPECT_EQ(s, "1.0.1");
    ASSERT_TRUE(store.stringForKey("BGPath", &s));
    EXPECT_EQ(s, "/usr/share/backgrounds/");
    EXPECT_FALSE(store.boolForKey("MainMonitorOnly"));
    EXPECT_TRUE(store.boolForKey("LockInPlace"));
    EXPECT_EQ(store.integerForKey("PuzzleWidth"), 25);
    EXPECT_EQ(store.integerForKey("Percentage"), 75);
    EXPECT_EQ(store.integerForKey("BGType"), 0);
    EXPECT_EQ(store.integerForKey("BGRes"), 1);
}

std::string ConfPath(const ScratchDir& d)
{
    return d.Join("vmZarnetSS.conf");
}

}  // namespace

TEST(ReadSettings, FirstRunWritesExactlyTheEightKeys)
{
    ScratchDir dir;
    std::string sub = dir.Join("zarnet");  // not there yet: made on save
    Read r = ReadFrom(sub);
    EXPECT_TRUE(r.saved);
    ExpectFirstRunRecord(r);
    ExpectFirstRunStore(sub);

    // The second run finds the version and leaves the store alone.
    std::string before, after;
    ASSERT_TRUE(ReadWholeFile(sub + "/vmZarnetSS.conf", &before));
    Read again = ReadFrom(sub);
    ExpectFirstRunRecord(again);
    ASSERT_TRUE(ReadWholeFile(sub + "/vmZarnetSS.conf", &after));
    EXPECT_EQ(before, after);
}

TEST(ReadSettings, VersionDecidesWhetherStoredValuesSurvive)
{
    struct Case {
        const char* name;
        const char* versionLine;  // nullptr: no "version" key at all
        bool kept;
    };
    const Case cases[] = {
        {"current", "version=1.0.1\n", true},
        {"older", "version=1.0.0\n", false},
        {"empty", "version=\n", false},
        {"padded", "version=1.0.1 \n", false},
        {"missing", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        std::string text = "[vmZarnetSS]\n";
        if (c.versionLine)
            text += c.versionLine;
        text += "MainMonitorOnly=true\nLockInPlace=false\nPuzzleWidth=40\nPercentage=60\n"
                "BGType=2\nBGPath=/home/me/pics/\nBGRes=2\n";
        ASSERT_TRUE(WriteWholeFile(ConfPath(dir), text));
        Read r = ReadFrom(dir.Path());
        EXPECT_TRUE(r.saved);
        if (c.kept) {
            EXPECT_TRUE(r.mainMonitorOnly);
            EXPECT_FALSE(r.settings.LOCKINPLACE);
            EXPECT_EQ(r.settings.PUZZLEWIDTH, 40);
            EXPECT_EQ(r.settings.PERCENTAGE, 60);
            EXPECT_EQ(r.settings.BGTYPE, 2);
            EXPECT_STREQ(r.settings.BGPath, "/home/me/pics/");
            EXPECT_EQ(r.settings.BGRES, 2);
            PreferenceStore store(kPrefsModule, dir.Path().c_str());
            EXPECT_EQ(store.integerForKey("PuzzleWidth"), 40);
        } else {
            ExpectFirstRunRecord(r);
            ExpectFirstRunStore(dir.Path());
        }
    }
}

TEST(ReadSettings, PictureSourceOutsideRangeIsUsedAsGrabButStaysStored)
{
    struct Case {
        const char* stored;
        int used;
    };
    const Case cases[] = {
        {"0", 0}, {"1", 1}, {"2", 2}, {"3", 0}, {"5", 0}, {"-1", 0},
        {"-2147483648", 0}, {"4294967297", 0}, {"9223372036854775807", 0}, {"two", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ScratchDir dir;
        std::string text = std::string("[vmZarnetSS]\nversion=1.0.1\nBGType=") + c.stored + "\n";
        ASSERT_TRUE(WriteWholeFile(ConfPath(dir), text));
        Read r = ReadFrom(dir.Path());
        EXPECT_EQ(r.settings.BGTYPE, c.used);
        std::string after;
        ASSERT_TRUE(ReadWholeFile(ConfPath(dir), &after));
        EXPECT_EQ(after, text);  // the store is not touched
    }
}

TEST(ReadSettings, MissingKeysUnderCurrentVersionReadAsZero)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(ConfPath(dir), "[vmZarnetSS]\nversion=1.0.1\n"));
    SETTINGS s;
    std::memset(&s, 0, sizeof s);
    std::strcpy(s.BGPath, "/kept/");
    bool mmo = true;
    PreferenceStore store(kPrefsModule, dir.Path().c_str());
    EXPECT_TRUE(ReadSettings(store, &s, &mmo));
    EXPECT_FALSE(mmo);
    EXPECT_FALSE(s.LOCKINPLACE);
    EXPECT_EQ(s.PUZZLEWIDTH, 0);
    EXPECT_EQ(s.PERCENTAGE, 0);
    EXPECT_EQ(s.BGTYPE, 0);
    EXPECT_EQ(s.BGRES, 0);
    EXPECT_STREQ(s.BGPath, "/kept/");  // a missing "BGPath" leaves the field as it was
}

TEST(ReadSettings, LongFolderIsCutTo1023Bytes)
{
    ScratchDir dir;
    std::string longPath = "/" + std::string(2000, 'p') + "/";
    {
        PreferenceStore store(kPrefsModule, dir.Path().c_str());
        store.setObject("1.0.1", "version");
        store.setObject(longPath.c_str(), "BGPath");
        ASSERT_TRUE(store.synchronize());
    }
    Read r = ReadFrom(dir.Path());
    EXPECT_EQ(std::strlen(r.settings.BGPath), 1023u);
    EXPECT_EQ(std::string(r.settings.BGPath), longPath.substr(0, 1023));
}

TEST(ReadSettings, IntegersBeyond32BitsArePinned)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(ConfPath(dir), "[vmZarnetSS]\nversion=1.0.1\n"
                                              "PuzzleWidth=4294967321\nPercentage=-9999999999\n"));
    Read r = ReadFrom(dir.Path());
    EXPECT_EQ(r.settings.PUZZLEWIDTH, INT32_MAX);
    EXPECT_EQ(r.settings.PERCENTAGE, INT32_MIN);
}

TEST(ReadSettings, DamagedOrUnreadableStoreGivesFirstRunValues)
{
    std::string binary(4096, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 131 + 7) & 0xff);
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"text garbage", "this is not a key file\n=== ]]]\n"},
        {"binary", binary},
        {"no group", "version=1.0.1\nPuzzleWidth=40\n"},
        {"unterminated group", "[vmZarnetSS\nversion=1.0.1\n"},
        {"line without a key", "[vmZarnetSS]\nversion=1.0.1\njust words\n"},
        {"other module only", "[somethingElse]\nversion=1.0.1\n"},
        {"oversized", "[vmZarnetSS]\nversion=1.0.1\n#" + std::string(2u << 20, 'x') + "\n"},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        ASSERT_TRUE(WriteWholeFile(ConfPath(dir), c.bytes));
        Read r = ReadFrom(dir.Path());
        ExpectFirstRunRecord(r);
        EXPECT_TRUE(r.saved);
        ExpectFirstRunStore(dir.Path());
    }
}

TEST(ReadSettings, FifoInPlaceOfTheFileDoesNotBlock)
{
    ScratchDir dir;
    ASSERT_EQ(mkfifo(ConfPath(dir).c_str(), 0600), 0);
    Read r = ReadFrom(dir.Path());
    ExpectFirstRunRecord(r);
    EXPECT_TRUE(r.saved);  // the FIFO is replaced by the saved file
    ExpectFirstRunStore(dir.Path());
}

TEST(ReadSettings, DirectoryInPlaceOfTheFileReportsTheFailedSave)
{
    ScratchDir dir;
    ASSERT_EQ(mkdir(ConfPath(dir).c_str(), 0700), 0);
    Read r = ReadFrom(dir.Path());
    ExpectFirstRunRecord(r);   // used all the same
    EXPECT_FALSE(r.saved);
}

TEST(ReadSettings, UnreadableFileGivesFirstRunValues)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions don't bind root";
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(ConfPath(dir), "[vmZarnetSS]\nversion=1.0.1\nPuzzleWidth=40\n"));
    ASSERT_EQ(chmod(ConfPath(dir).c_str(), 0), 0);
    Read r = ReadFrom(dir.Path());
    ExpectFirstRunRecord(r);
}

TEST(WriteSettings, SavesTheSheetKeysAndReadsBack)
{
    ScratchDir dir;
    Read first = ReadFrom(dir.Path());
    ASSERT_TRUE(first.saved);

    SETTINGS s = first.settings;
    s.PUZZLEWIDTH = 12;
    s.PERCENTAGE = 90;
    s.LOCKINPLACE = false;
    s.BGTYPE = 2;
    s.BGRES = 0;
    std::strcpy(s.BGPath, "/home/me/Pictures/ holiday\\2024\n/");
    s.picWidth = 777;  // run-time only: never stored
    {
        PreferenceStore store(kPrefsModule, dir.Path().c_str());
        ASSERT_TRUE(WriteSettings(store, s, true));
        std::vector<std::string> keys = store.allKeys();
        EXPECT_EQ(keys.size(), 8u);
    }
    Read r = ReadFrom(dir.Path());
    EXPECT_TRUE(r.mainMonitorOnly);
    EXPECT_EQ(r.settings.PUZZLEWIDTH, 12);
    EXPECT_EQ(r.settings.PERCENTAGE, 90);
    EXPECT_FALSE(r.settings.LOCKINPLACE);
    EXPECT_EQ(r.settings.BGTYPE, 2);
    EXPECT_EQ(r.settings.BGRES, 0);
    EXPECT_STREQ(r.settings.BGPath, s.BGPath);
    EXPECT_EQ(r.settings.picWidth, 0);
}

TEST(WriteSettings, DoesNotWriteTheVersion)
{
    ScratchDir dir;
    SETTINGS s;
    std::memset(&s, 0, sizeof s);
    s.PUZZLEWIDTH = 30;
    PreferenceStore store(kPrefsModule, dir.Path().c_str());
    ASSERT_TRUE(WriteSettings(store, s, false));
    EXPECT_FALSE(store.hasKey("version"));
    // So the next view creation treats the store as foreign and starts afresh.
    Read r = ReadFrom(dir.Path());
    EXPECT_EQ(r.settings.PUZZLEWIDTH, 25);
}

TEST(WriteSettings, FailedSaveIsReported)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join("plainfile"), "x"));
    SETTINGS s;
    std::memset(&s, 0, sizeof s);
    PreferenceStore store(kPrefsModule, dir.Join("plainfile/zarnet").c_str());
    EXPECT_FALSE(WriteSettings(store, s, false));
}
