// The settings file when things go wrong around it: damaged or huge files and
// a directory in its place, a full disk, a read-only folder, and kill -9 in
// the middle of saves. The user's file is never lost nor half written.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "host/Preferences.h"
#include "platform/preference_store.h"
#include "tests/support/scratch_dir.h"

namespace {

const char kFile[] = "vmZarnetSS.conf";

SETTINGS Sample(int width)
{
    SETTINGS s{};
    s.PUZZLEWIDTH = width;
    s.PERCENTAGE = 60;
    s.BGTYPE = 2;
    s.BGRES = 2;
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

// Runs `body` in a child process; its exit code, or 128 + the signal that ended it.
int InChild(const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Names in `dir` other than `keep`: temporary files left behind.
std::vector<std::string> Strays(const std::string& dir, const std::vector<std::string>& keep)
{
    std::vector<std::string> strays;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (std::find(keep.begin(), keep.end(), entry.path().filename().string()) == keep.end())
            strays.push_back(entry.path().filename().string());
    return strays;
}

struct Read {
    SETTINGS settings{};
    bool saved = false;
    std::string message;  // what went to stderr
};

Read ReadFrom(const std::string& dir)
{
    Read r;
    PreferenceStore store(kPrefsModule, dir.c_str());
    bool mainOnly = false;
    testing::internal::CaptureStderr();
    r.saved = ReadSettings(store, &r.settings, &mainOnly, "/first/");
    r.message = testing::internal::GetCapturedStderr();
    return r;
}

TEST(SettingsFaults, ADamagedFileIsMovedAsideAndTheUserToldWhileADirectoryStays)
{
    std::mt19937 random(7);
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    const struct {
        const char* name;
        std::string bytes;  // empty: a directory
        off_t size;         // the file's size, zeros after the bytes
        const char* says;
    } cases[] = {
        {"garbage bytes", garbage, 0, "is not a settings file; it was moved to"},
        {"100 MB", "[vmZarnetSS]\nversion=1.0.1\nPuzzleWidth=40\n", 100 << 20, "is larger than 1 MiB; it was moved to"},
        {"a directory", "", 0, "is not a file; the first-run settings are used but can't be saved"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string conf = dir.Join(kFile);
        if (c.bytes.empty())
            ASSERT_EQ(mkdir(conf.c_str(), 0700), 0);
        else
            ASSERT_TRUE(WriteWholeFile(conf, c.bytes) && (c.size == 0 || truncate(conf.c_str(), c.size) == 0));
        const Read r = ReadFrom(dir.Path());
        EXPECT_EQ(std::make_tuple(r.settings.PUZZLEWIDTH, r.settings.PERCENTAGE, std::string(r.settings.BGPath)),
                  std::make_tuple(kFirstRunPuzzleWidth, kFirstRunPercentage, std::string("/first/")));
        EXPECT_EQ(r.saved, !c.bytes.empty());
        EXPECT_NE(r.message.find("zarnet: the settings file " + conf + " " + c.says), std::string::npos) << r.message;
        if (c.bytes.empty()) {
            EXPECT_TRUE(std::filesystem::is_directory(conf));
            continue;
        }
        std::string kept, now;
        EXPECT_EQ(std::filesystem::file_size(conf + ".damaged"), c.size ? uintmax_t(c.size) : c.bytes.size());
        EXPECT_TRUE(c.size || (ReadWholeFile(conf + ".damaged", &kept) && kept == c.bytes));
        ASSERT_TRUE(ReadWholeFile(conf, &now));
        EXPECT_NE(now.find("version=1.0.1\n"), std::string::npos) << now;
        EXPECT_TRUE(ReadFrom(dir.Path()).message.empty()) << "said once";
    }
}

// A save that can't be written leaves the old file as it was and says so;
// once there is room again the next one goes through.
TEST(SettingsFaults, FullDiskFailsTheSaveAndKeepsTheOldFile)
{
    const std::string before = SavedText(Sample(30));
    const std::string after = SavedText(Sample(44));
    // "tmpfs": a 64 KiB file system filled up (needs root, in a mount
    // namespace of the child's own); "file size limit": RLIMIT_FSIZE under
    // the new file's size, as a quota would.
    for (const bool tmpfs : {true, false}) {
        SCOPED_TRACE(tmpfs ? "tmpfs" : "file size limit");
        ScratchDir dir;
        const std::string conf = dir.Join(kFile);
        const int code = InChild([&] {
            if (tmpfs && (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
                          mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, "size=64k") != 0))
                return 77;
            if (!WriteWholeFile(conf, before))
                return 2;
            if (tmpfs) {
                const int fd = open(dir.Join("filler").c_str(), O_WRONLY | O_CREAT, 0600);
                const std::string block(4096, 'f');
                while (write(fd, block.data(), block.size()) > 0) {}
                close(fd);
            } else {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit limit = {before.size() / 2, RLIM_INFINITY};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            PreferenceStore store(kPrefsModule, dir.Path().c_str());
            if (WriteSettings(store, Sample(44), true))
                return 3;  // reported as saved
            std::string now;
            if (!ReadWholeFile(conf, &now) || now != before)
                return 4;
            if (Strays(dir.Path(), {kFile, "filler"}).size() != 0)
                return 5;
            if (tmpfs)
                unlink(dir.Join("filler").c_str());
            else
                signal(SIGXFSZ, SIG_DFL);
            const rlimit none = {RLIM_INFINITY, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &none);
            return WriteSettings(store, Sample(44), true) && ReadWholeFile(conf, &now) && now == after ? 0 : 6;
        });
        if (code == 77) {
            std::printf("no tmpfs could be mounted: the file size limit stands for the full disk\n");
            continue;
        }
        EXPECT_EQ(code, 0);
    }
}

TEST(SettingsFaults, FirstRunThatCouldNotBeSavedLosesNoLaterSave)
{
    ScratchDir dir;
    const std::string sub = dir.Join("zarnet");
    ASSERT_TRUE(WriteWholeFile(sub, "a file in the folder's place"));  // the first-run save fails
    EXPECT_FALSE(ReadFrom(sub).saved);
    ASSERT_EQ(unlink(sub.c_str()), 0);  // the user makes room and saves again, from the sheet's own store
    PreferenceStore store(kPrefsModule, sub.c_str());
    ASSERT_TRUE(WriteSettings(store, Sample(44), false));
    EXPECT_EQ(ReadFrom(sub).settings.PUZZLEWIDTH, 44);
}

// As a user other than root, whom permissions don't stop.
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
            PreferenceStore store(kPrefsModule, sub.c_str());
            SETTINGS s{};
            bool mainOnly = false;
            const bool saved = ReadSettings(store, &s, &mainOnly);
            if (saved != (bytes == &good) || s.PUZZLEWIDTH != (bytes == &good ? 30 : kFirstRunPuzzleWidth))
                return 2;
            return WriteSettings(store, Sample(44), true) ? 3 : 0;
        });
        if (code == 77)
            GTEST_SKIP() << "running as root and can't become nobody (65534)";
        EXPECT_EQ(code, 0);
        std::string now;
        EXPECT_EQ(bytes ? ReadWholeFile(conf, &now) && now == *bytes : !std::filesystem::exists(conf), true);
        EXPECT_EQ(Strays(sub, {kFile}), std::vector<std::string>{});
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
    const std::string conf = dir.Join(kFile);
    ASSERT_TRUE(WriteWholeFile(conf, textA));
    std::mt19937 random(11);
    int sawA = 0, sawB = 0;
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
        ASSERT_TRUE(ReadWholeFile(conf, &now));
        ASSERT_TRUE(now == textA || now == textB) << "round " << round << ":\n" << now;
        (now == textA ? sawA : sawB)++;
        SETTINGS s{};
        bool mainOnly = false;
        PreferenceStore store(kPrefsModule, dir.Path().c_str());
        ASSERT_TRUE(ReadSettings(store, &s, &mainOnly) && store.Damage().empty());
        ASSERT_TRUE(s.PUZZLEWIDTH == 30 || s.PUZZLEWIDTH == 77);
    }
    const size_t strays = Strays(dir.Path(), {kFile}).size();
    std::printf("40 kills: %d old, %d new, %zu temporary files left\n", sawA, sawB, strays);
    EXPECT_GT(sawA + sawB, 0);
}

}  // namespace
