// Stored settings the saver can't use are pinned to what the sheet offers,
// and a first run starts in the user's own pictures folder.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/Preferences.h"
#include "platform/preference_store.h"
#include "platform/user_folders.h"
#include "tests/support/scratch_dir.h"

namespace {

struct Stored {
    SETTINGS settings{};
    bool mainMonitorOnly = false;
    std::string fileAfter;  // the store file after reading
};

// Reads a store file holding version 1.0.1 and `keys` (lines "Key=value\n").
Stored ReadStored(const ScratchDir& dir, const std::string& keys, const char* firstRunFolder = "/first/run/")
{
    Stored r;
    const std::string conf = dir.Join("vmZarnetSS.conf");
    EXPECT_TRUE(WriteWholeFile(conf, "[vmZarnetSS]\nversion=1.0.1\n" + keys));
    PreferenceStore store(kPrefsModule, dir.Path().c_str());
    ReadSettings(store, &r.settings, &r.mainMonitorOnly, firstRunFolder);
    EXPECT_TRUE(ReadWholeFile(conf, &r.fileAfter));
    return r;
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
        {"zero", "PuzzleWidth=0\nPercentage=0\n", 2, 0, 0, 0, ""},
        {"negative", "PuzzleWidth=-5\nPercentage=-5\nBGType=-5\nBGRes=-5\n", 2, 0, 0, 1, ""},
        {"a thousand", "PuzzleWidth=1000\nPercentage=1000\nBGType=3\nBGRes=3\n", 100, 100, 0, 1, ""},
        {"large", "PuzzleWidth=100000\nPercentage=100000\nBGRes=100000\n", 100, 100, 0, 1, ""},
        {"2^31", "PuzzleWidth=2147483648\nPercentage=2147483648\nBGType=2147483648\nBGRes=2147483648\n", 100, 100, 0, 1,
         ""},
        {"-2^31 - 1", "PuzzleWidth=-2147483649\nPercentage=-2147483649\n", 2, 0, 0, 0, ""},
        {"not numbers", "PuzzleWidth=wide\nPercentage=75%\nBGRes=high\n", 2, 0, 0, 0, ""},
        {"2000-byte folder", "PuzzleWidth=30\nBGPath=" + longPath + "\n", 30, 0, 0, 0, "/first/run/"},
        {"1023-byte folder", "BGPath=" + path1023 + "\n", 2, 0, 0, 0, path1023},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const Stored r = ReadStored(dir, c.keys);
        EXPECT_EQ(r.settings.PUZZLEWIDTH, c.puzzleWidth);
        EXPECT_EQ(r.settings.PERCENTAGE, c.percentage);
        EXPECT_EQ(r.settings.BGTYPE, c.bgType);
        EXPECT_EQ(r.settings.BGRES, c.bgRes);
        EXPECT_EQ(std::string(r.settings.BGPath), c.bgPath);
        EXPECT_EQ(r.fileAfter, "[vmZarnetSS]\nversion=1.0.1\n" + c.keys);  // the store keeps what it holds
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
        {pictures + "/", "", false, pictures + "/"},
        {home.Join("gone"), home.Path(), true, homePictures + "/"},
        {home.Join("file"), home.Path(), true, homePictures + "/"},
        {"", home.Path(), true, homePictures + "/"},
        {"", home.Path(), false, kFirstRunBGPath},
        {home.Join("gone"), "", false, kFirstRunBGPath},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userPictures + " | " + c.home);
        rmdir(homePictures.c_str());
        ASSERT_TRUE(!c.makeHomePictures || mkdir(homePictures.c_str(), 0700) == 0);
        EXPECT_EQ(FirstRunPictureFolder(c.userPictures, c.home), c.folder);
    }
}

// What the platform reads from the XDG user-directory file, in a child
// process of its own (the library keeps the home and configuration folders
// it saw first for the process's life).
std::string PicturesFolderWith(const std::string& home, const std::string& userDirs)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return "(no pipe)";
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        mkdir((home + "/.config").c_str(), 0700);
        FILE* f = std::fopen((home + "/.config/user-dirs.dirs").c_str(), "w");
        if (f != nullptr) {
            std::fputs(userDirs.c_str(), f);
            std::fclose(f);
        }
        const std::string folder = UserPicturesFolder() + "|" + UserHomeFolder();
        const ssize_t written = write(pipeFds[1], folder.data(), folder.size());
        _exit(written == ssize_t(folder.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : "(child failed)";
}

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
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userDirs);
        EXPECT_EQ(PicturesFolderWith(h, c.userDirs), c.folder + "|" + h);
    }
}

}  // namespace
