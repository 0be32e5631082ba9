// The settings through the module's store: the first run, pinned numbers,
// damaged stores, the first run's folder; saves on a full disk, a read-only
// folder or killed midway never lose nor half write the user's file. (Both
// programs over damaged files: display_faults_x11_test.cpp.)
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "host/Preferences.h"
#include "platform/preference_store.h"
#include "platform/user_folders.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace {

const char kFile[] = "vmZarnetSS.conf";

struct Read {
    SETTINGS settings{};  // zero-filled, as the view's record starts
    bool mainMonitorOnly = false;
    bool saved = false;     // what ReadSettings returned
    bool damaged = false;   // the store found its file damaged
    std::string fileAfter;  // the store file after reading
};

// Reads the store in `dir`, its file written first as `text` unless that is null.
Read ReadFrom(const std::string& dir, const char* text = nullptr, const char* firstRunFolder = kFirstRunBGPath)
{
    Read r;
    const std::string conf = dir + "/" + kFile;
    EXPECT_TRUE(!text || WriteWholeFile(conf, text));
    PreferenceStore store(kPrefsModule, dir.c_str());
    r.saved = ReadSettings(store, &r.settings, &r.mainMonitorOnly, firstRunFolder);
    r.damaged = !store.Damage().empty();
    ReadWholeFile(conf, &r.fileAfter);
    return r;
}

void ExpectFirstRunValues(const Read& r)
{
    const SETTINGS& s = r.settings;
    EXPECT_EQ(std::make_tuple(s.BGRES, s.BGTYPE, std::string(s.BGPath), s.PERCENTAGE, s.PUZZLEWIDTH, s.LOCKINPLACE,
                              r.mainMonitorOnly),
              std::make_tuple(1, 0, std::string("/usr/share/backgrounds/"), 75, 25, true, false));
}

// The store in `dir` holds exactly the eight keys, with their first-run values.
void ExpectFirstRunStore(const std::string& dir)
{
    PreferenceStore store(kPrefsModule, dir.c_str());
    std::map<std::string, std::string> stored;
    for (const std::string& key : store.allKeys())
        EXPECT_TRUE(store.stringForKey(key.c_str(), &stored[key]));
    std::string text;
    for (const auto& [key, value] : stored)
        text += key + "=" + value + " ";
    EXPECT_EQ(text, "BGPath=/usr/share/backgrounds/ BGRes=1 BGType=0 LockInPlace=true MainMonitorOnly=false "
                    "Percentage=75 PuzzleWidth=25 version=1.0.1 ");
}

// A first run, another version's store or a damaged one gives the first-run values and writes them, once. In
// place of the file, a FIFO must not block and is replaced; a directory can't be, so the failed save is reported
// and the values used all the same.
TEST(ReadSettings, FirstRunOtherVersionOrDamagedStoreWritesTheFirstRunValuesOnce)
{
    const std::string keys =
        "MainMonitorOnly=true\nLockInPlace=false\nPuzzleWidth=40\nPercentage=60\nBGType=2\nBGRes=2\n";
    const std::string none = "(no file)", fifo = "(FIFO)", directory = "(directory)";
    const std::string stores[] = {none,
                                  "[vmZarnetSS]\nversion=1.0.0\n" + keys,
                                  "[vmZarnetSS]\n" + keys,
                                  "this is not a key file\n=== ]]]\n",
                                  std::string("\x00\xff\xfe\x80[\xc3 binary", 13),
                                  "[vmZarnetSS\nversion=1.0.1\n",
                                  "[vmZarnetSS]\nversion=1.0.1\n#" + std::string(2u << 20, 'x') + "\n",
                                  fifo,
                                  directory};
    for (const std::string& bytes : stores) {
        SCOPED_TRACE(bytes.substr(0, 30));
        ScratchDir dir;
        const std::string sub = dir.Join("zarnet"), conf = sub + "/" + kFile;  // made on save
        ASSERT_TRUE(bytes == none ||
                    (mkdir(sub.c_str(), 0700) == 0 && (bytes == fifo        ? mkfifo(conf.c_str(), 0600) == 0
                                                       : bytes == directory ? mkdir(conf.c_str(), 0700) == 0
                                                                            : WriteWholeFile(conf, bytes))));
        const Read first = ReadFrom(sub);
        ExpectFirstRunValues(first);  // PuzzleWidth 40 becomes 25, and so on
        EXPECT_EQ(first.saved, bytes != directory);
        if (bytes == directory)
            continue;
        ExpectFirstRunStore(sub);
        const Read next = ReadFrom(sub);  // the next run finds the version and leaves the store alone
        ExpectFirstRunValues(next);
        EXPECT_EQ(next.fileAfter, first.fileAfter);
    }
}

TEST(ReadSettings, StoredNumbersOutsideWhatTheSheetOffersArePinnedInMemoryOnly)
{
    const std::string longPath = "/" + std::string(1999, 'p');  // 2000 bytes
    const std::string path1023 = "/" + std::string(1021, 'q') + "/";
    const struct {
        const char* name;
        std::string keys;
        int puzzleWidth, percentage, bgType, bgRes;
        std::string bgPath;
    } cases[] = {
        {"in range", "PuzzleWidth=40\nPercentage=60\nBGType=2\nBGRes=2\nBGPath=/home/me/\n", 40, 60, 2, 2, "/home/me/"},
        {"the ends", "PuzzleWidth=2\nPercentage=0\nBGType=0\nBGRes=0\n", 2, 0, 0, 0, ""},
        {"the other ends", "PuzzleWidth=100\nPercentage=100\nBGType=1\nBGRes=1\n", 100, 100, 1, 1, ""},
        {"negative", "PuzzleWidth=-5\nPercentage=-5\nBGType=-5\nBGRes=-5\n", 2, 0, 0, 1, ""},
        {"a thousand", "PuzzleWidth=1000\nPercentage=1000\nBGType=3\nBGRes=3\n", 100, 100, 0, 1, ""},
        {"2^31", "PuzzleWidth=2147483648\nPercentage=2147483648\nBGType=2147483648\nBGRes=2147483648\n", 100, 100, 0, 1,
         ""},
        {"2^32 + 1, 1 if cut to 32 bits", "BGType=4294967297\n", 2, 0, 0, 0, ""},
        {"not numbers", "PuzzleWidth=wide\nPercentage=75%\nBGRes=high\n", 2, 0, 0, 0, ""},
        {"2000-byte folder", "PuzzleWidth=30\nBGPath=" + longPath + "\n", 30, 0, 0, 0, "/first/run/"},
        {"1023-byte folder", "BGPath=" + path1023 + "\n", 2, 0, 0, 0, path1023},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string text = "[vmZarnetSS]\nversion=1.0.1\n" + c.keys;
        const Read r = ReadFrom(dir.Path(), text.c_str(), "/first/run/");
        const SETTINGS& s = r.settings;
        EXPECT_EQ(std::make_tuple(s.PUZZLEWIDTH, s.PERCENTAGE, s.BGTYPE, s.BGRES, std::string(s.BGPath)),
                  std::make_tuple(c.puzzleWidth, c.percentage, c.bgType, c.bgRes, c.bgPath));
        EXPECT_EQ(r.fileAfter, text);  // the store keeps what it holds
    }
}

TEST(FirstRunPictureFolder, TheUsersPicturesFolderElseHomePicturesElseTheSystemsWallpaper)
{
    ScratchDir home;
    const std::string pictures = home.Join("Bilder"), homePictures = home.Join("Pictures");
    ASSERT_EQ(mkdir(pictures.c_str(), 0700), 0);
    ASSERT_TRUE(WriteWholeFile(home.Join("file"), "not a folder"));
    const struct {
        std::string userPictures, home;
        bool makeHomePictures;
        std::string folder;
    } cases[] = {
        {pictures, home.Path(), true, pictures + "/"},
        {home.Join("gone"), home.Path(), true, homePictures + "/"},
        {home.Join("file"), home.Path(), true, homePictures + "/"},
        {"", home.Path(), true, homePictures + "/"},
        {"", home.Path(), false, kFirstRunBGPath},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userPictures + " | " + c.home);
        rmdir(homePictures.c_str());
        ASSERT_TRUE(!c.makeHomePictures || mkdir(homePictures.c_str(), 0700) == 0);
        EXPECT_EQ(FirstRunPictureFolder(c.userPictures, c.home), c.folder);
    }
}

// What the platform reads from the XDG user-directory file, in a child process of its own (the library keeps
// the home and configuration folders it saw first for the process's life).
TEST(UserPicturesFolder, ReadsTheXdgUserDirectoryFile)
{
    ScratchDir home;
    const std::string h = home.Path();
    const struct {
        const char* userDirs;
        std::string folder;
    } cases[] = {
        {"XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", h + "/Bilder"},
        {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"/srv/photos/\"\n",
         "/srv/photos"},
        {"XDG_PICTURES_DIR=\"$HOME/\"\n", ""},  // disabled: the home folder itself
        {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", ""},
    };
    ASSERT_EQ(mkdir(home.Join(".config").c_str(), 0700), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userDirs);
        ASSERT_TRUE(WriteWholeFile(home.Join(".config/user-dirs.dirs"), c.userDirs));
        EXPECT_EQ(InChild([&] {
                      setenv("HOME", h.c_str(), 1);
                      setenv("XDG_CONFIG_HOME", home.Join(".config").c_str(), 1);
                      return WriteWholeFile(home.Join("out"), UserPicturesFolder() + "|" + UserHomeFolder()) ? 0 : 1;
                  }),
                  0);
        std::string out;
        EXPECT_TRUE(ReadWholeFile(home.Join("out"), &out) && out == c.folder + "|" + h) << out;
    }
}

// Settings of `width` pieces across, as the sheet would save them.
SETTINGS Sample(int width)
{
    SETTINGS s{};
    s.PUZZLEWIDTH = width;
    s.PERCENTAGE = 60;
    std::snprintf(s.BGPath, sizeof s.BGPath, "/home/me/Pictures/%d/", width);
    return s;
}

// The file WriteSettings makes of `s` in a fresh folder.
std::string SavedText(const SETTINGS& s)
{
    ScratchDir dir;
    PreferenceStore store(kPrefsModule, dir.Path().c_str());
    std::string text;
    EXPECT_TRUE(WriteSettings(store, s, true) && ReadWholeFile(dir.Join(kFile), &text));
    return text;
}

// Files in `dir` but the settings: temporary files left behind.
int Strays(const std::string& dir)
{
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        n += entry.path().filename() != kFile;
    return n;
}

// A save that can't be written (RLIMIT_FSIZE under the new file's size, as a
// full disk or a quota) leaves the old file as it was and says so; once there
// is room again the next one goes through.
TEST(SettingsFaults, FullDiskFailsTheSaveAndKeepsTheOldFile)
{
    const std::string before = SavedText(Sample(30)), after = SavedText(Sample(44));
    ScratchDir dir;
    const std::string conf = dir.Join(kFile);
    ASSERT_TRUE(WriteWholeFile(conf, before));
    EXPECT_EQ(InChild([&] {
                  signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit = {before.size() / 2, RLIM_INFINITY}, none = {RLIM_INFINITY, RLIM_INFINITY};
                  setrlimit(RLIMIT_FSIZE, &limit);
                  PreferenceStore store(kPrefsModule, dir.Path().c_str());
                  std::string now;
                  if (WriteSettings(store, Sample(44), true))
                      return 3;  // reported as saved
                  if (!ReadWholeFile(conf, &now) || now != before || Strays(dir.Path()) != 0)
                      return 4;
                  setrlimit(RLIMIT_FSIZE, &none);
                  return WriteSettings(store, Sample(44), true) && ReadWholeFile(conf, &now) && now == after ? 0 : 5;
              }),
              0);
}

// The sheet saves from a store of its own, read from the file: after a
// first-run save that failed, it holds no version, and without one the next
// start would take the saved keys for another version's and reset them.
TEST(SettingsFaults, SaveAfterAFailedFirstRunSaveIsKeptAtTheNextStart)
{
    ScratchDir dir;
    const std::string sub = dir.Join("zarnet");
    ASSERT_TRUE(WriteWholeFile(sub, "a file in the folder's place"));
    const Read first = ReadFrom(sub);
    EXPECT_EQ(first.settings.PUZZLEWIDTH, kFirstRunPuzzleWidth);
    EXPECT_FALSE(first.saved && !first.damaged);
    ASSERT_EQ(unlink(sub.c_str()), 0);  // the user makes room and saves again
    PreferenceStore store(kPrefsModule, sub.c_str());
    ASSERT_TRUE(WriteSettings(store, Sample(44), false));
    EXPECT_EQ(ReadFrom(sub).settings.PUZZLEWIDTH, 44);
}

// As a user other than root (whom permissions don't stop): a good file is
// read, a damaged one used as first-run settings; nothing is saved, moved or
// left behind.
TEST(SettingsFaults, ReadOnlyFolderReadsButNeverSavesNorMovesAnything)
{
    const std::string good = SavedText(Sample(30)), garbage = "\x01\x02 not settings \xff";
    for (const std::string* bytes : {&good, &garbage, static_cast<const std::string*>(nullptr)}) {
        SCOPED_TRACE(bytes == &good ? "good file" : bytes ? "damaged file" : "no file");
        ScratchDir dir;
        const std::string sub = dir.Join("zarnet"), conf = sub + "/" + kFile;
        ASSERT_TRUE(chmod(dir.Path().c_str(), 0755) == 0 && mkdir(sub.c_str(), 0755) == 0);
        ASSERT_TRUE(!bytes || WriteWholeFile(conf, *bytes));
        ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
        const int code = InChild([&] {
            if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                return 77;
            const Read r = ReadFrom(sub);
            if (r.settings.PUZZLEWIDTH != (bytes == &good ? 30 : kFirstRunPuzzleWidth) ||
                (r.saved && !r.damaged) != (bytes == &good))
                return 2;
            PreferenceStore store(kPrefsModule, sub.c_str());
            return WriteSettings(store, Sample(44), true) ? 3 : 0;
        });
        if (code == 77)
            GTEST_SKIP() << "running as root and can't become nobody (65534)";
        EXPECT_EQ(code, 0);
        std::string now;
        EXPECT_TRUE(bytes ? ReadWholeFile(conf, &now) && now == *bytes : !std::filesystem::exists(conf));
        EXPECT_EQ(Strays(sub), 0);
    }
}

// Saves of two settings in turn, killed at random moments: the file always
// reads as one of them in full. A kill between the temporary file and the
// rename leaves that file behind (counted, not an error).
TEST(SettingsFaults, KillNineDuringSavesLeavesTheOldOrTheNewFile)
{
    const SETTINGS a = Sample(30), b = Sample(77);
    const std::string textA = SavedText(a), textB = SavedText(b);
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join(kFile), textA));
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        const pid_t pid = fork();
        if (pid == 0) {
            PreferenceStore store(kPrefsModule, dir.Path().c_str());
            for (int i = 0;; ++i)
                WriteSettings(store, i % 2 ? a : b, true);
        }
        ASSERT_GT(pid, 0);
        usleep(1000 + random() % 20000);
        kill(pid, SIGKILL);
        ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
        std::string now;
        ASSERT_TRUE(ReadWholeFile(dir.Join(kFile), &now) && (now == textA || now == textB)) << round << ":\n" << now;
        ASSERT_EQ(ReadFrom(dir.Path()).settings.PUZZLEWIDTH, now == textA ? 30 : 77);
    }
    std::printf("40 kills: %d temporary files left\n", Strays(dir.Path()));
}

}  // namespace
