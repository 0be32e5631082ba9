// The key-file preference store: values round-trip, bad values read as
// missing, and saving fails visibly.
#include "platform/preference_store.h"
#include "tests/support/scratch_dir.h"

#include <cstdlib>
#include <dirent.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int EntriesIn(const std::string& dir)
{
    int n = 0;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return -1;
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            ++n;
    closedir(d);
    return n;
}

}  // namespace

TEST(PreferenceStore, StringsRoundTripByteForByte)
{
    const std::string values[] = {
        "",
        "plain",
        "  leading and trailing  ",
        "back\\slash and \\s not an escape",
        "two\nlines\tand\rreturns",
        "/home/me/Bilder/Gr\xfc\xdf" "e/",   // Latin-1 file name: not UTF-8
        "/home/me/Bilder/Grüße/",            // UTF-8
        "[group] # ; = looks like syntax",
    };
    ScratchDir dir;
    {
        PreferenceStore store("vmZarnetSS", dir.Path().c_str());
        int i = 0;
        for (const std::string& v : values)
            store.setObject(v.c_str(), ("k" + std::to_string(i++)).c_str());
        ASSERT_TRUE(store.synchronize());
    }
    PreferenceStore store("vmZarnetSS", dir.Path().c_str());
    int i = 0;
    for (const std::string& v : values) {
        SCOPED_TRACE(i);
        std::string got = "untouched";
        ASSERT_TRUE(store.stringForKey(("k" + std::to_string(i++)).c_str(), &got));
        EXPECT_EQ(got, v);
    }
}

TEST(PreferenceStore, MissingOrMistypedValuesReadAsNothing)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join("vmZarnetSS.conf"),
                               "[vmZarnetSS]\nflag=yes please\nnumber=12abc\nbig=99999999999999999999\n"
                               "yes=true\none=1\nneg=-7\n[other]\nelsewhere=5\n"));
    PreferenceStore store("vmZarnetSS", dir.Path().c_str());
    std::string s = "untouched";
    EXPECT_FALSE(store.stringForKey("absent", &s));
    EXPECT_EQ(s, "untouched");
    EXPECT_FALSE(store.boolForKey("absent"));
    EXPECT_FALSE(store.boolForKey("flag"));
    EXPECT_TRUE(store.boolForKey("yes"));
    EXPECT_TRUE(store.boolForKey("one"));
    EXPECT_EQ(store.integerForKey("absent"), 0);
    EXPECT_EQ(store.integerForKey("number"), 0);
    EXPECT_EQ(store.integerForKey("big"), 0);
    EXPECT_EQ(store.integerForKey("neg"), -7);
    EXPECT_EQ(store.integerForKey("elsewhere"), 0);  // another module's group
    EXPECT_FALSE(store.hasKey("elsewhere"));
}

TEST(PreferenceStore, SettersAreSeenAtOnceButReachDiskOnlyOnSynchronize)
{
    ScratchDir dir;
    PreferenceStore store("vmZarnetSS", dir.Path().c_str());
    store.setInteger(-123456789012345, "n");
    store.setBool(true, "b");
    EXPECT_EQ(store.integerForKey("n"), -123456789012345);
    EXPECT_TRUE(store.boolForKey("b"));
    EXPECT_EQ(EntriesIn(dir.Path()), 0);
    ASSERT_TRUE(store.synchronize());
    // Only the file itself: the temporary copy was renamed over it.
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
    PreferenceStore again("vmZarnetSS", dir.Path().c_str());
    EXPECT_EQ(again.integerForKey("n"), -123456789012345);
    EXPECT_TRUE(again.boolForKey("b"));
}

TEST(PreferenceStore, KeepsOtherGroupsAndComments)
{
    ScratchDir dir;
    std::string path = dir.Join("vmZarnetSS.conf");
    ASSERT_TRUE(WriteWholeFile(path, "# mine\n[other]\nx=1\n[vmZarnetSS]\nversion=1.0.1\n"));
    PreferenceStore store("vmZarnetSS", dir.Path().c_str());
    store.setInteger(3, "BGType");
    ASSERT_TRUE(store.synchronize());
    std::string text;
    ASSERT_TRUE(ReadWholeFile(path, &text));
    EXPECT_NE(text.find("# mine"), std::string::npos);
    EXPECT_NE(text.find("[other]\nx=1"), std::string::npos);
    EXPECT_NE(text.find("BGType=3"), std::string::npos);
}

TEST(PreferenceStore, SynchronizeFailsVisibly)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join("file"), "x"));
    ASSERT_EQ(mkdir(dir.Join("taken").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dir.Join("taken/vmZarnetSS.conf").c_str(), 0700), 0);
    struct Case {
        const char* name;
        std::string directory;
        bool ok;
    };
    const Case cases[] = {
        {"absent, made on save", dir.Join("a/b/c"), true},
        {"parent is a file", dir.Join("file/zarnet"), false},
        {"directory in place of the file", dir.Join("taken"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PreferenceStore store("vmZarnetSS", c.directory.c_str());
        store.setBool(true, "MainMonitorOnly");
        EXPECT_EQ(store.synchronize(), c.ok);
    }
}

TEST(PreferenceStore, ReadOnlyDirectoryFailsAndKeepsTheOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions don't bind root";
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join("vmZarnetSS.conf"), "[vmZarnetSS]\nversion=1.0.0\n"));
    ASSERT_EQ(chmod(dir.Path().c_str(), 0500), 0);
    PreferenceStore store("vmZarnetSS", dir.Path().c_str());
    store.setObject("1.0.1", "version");
    EXPECT_FALSE(store.synchronize());
    std::string text;
    ASSERT_TRUE(ReadWholeFile(dir.Join("vmZarnetSS.conf"), &text));
    EXPECT_EQ(text, "[vmZarnetSS]\nversion=1.0.0\n");
}

TEST(PreferenceStore, DefaultDirectoryFollowsXdgConfigHome)
{
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    std::string saved = oldXdg ? oldXdg : "";
    const char* home = std::getenv("HOME");

    setenv("XDG_CONFIG_HOME", "/some/where", 1);
    EXPECT_EQ(PreferenceStore("vmZarnetSS").FilePath(), "/some/where/zarnet/vmZarnetSS.conf");
    if (home && home[0] == '/') {
        setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
        EXPECT_EQ(PreferenceStore("vmZarnetSS").FilePath(),
                  std::string(home) + "/.config/zarnet/vmZarnetSS.conf");
        unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(PreferenceStore("vmZarnetSS").FilePath(),
                  std::string(home) + "/.config/zarnet/vmZarnetSS.conf");
    }
    if (oldXdg)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
