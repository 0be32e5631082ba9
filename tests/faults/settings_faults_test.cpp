// The settings file when the disk is full, the folder read-only, or the
// program killed in the middle of saves: the user's file is never lost nor
// half written. (Damaged, huge and odd files: display_faults_x11_test.cpp.)
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "host/Preferences.h"
#include "platform/preference_store.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace {

const char kFile[] = "vmZarnetSS.conf";

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

// The pieces across ReadSettings gives from the store in `dir`; `*saved` as it returns.
int ReadWidth(const std::string& dir, bool* saved = nullptr)
{
    PreferenceStore store(kPrefsModule, dir.c_str());
    SETTINGS s{};
    bool mainOnly = false, ok = ReadSettings(store, &s, &mainOnly);
    if (saved)
        *saved = ok && store.Damage().empty();
    return s.PUZZLEWIDTH;
}

// Files in `dir` but the settings and a filler: temporary files left behind.
int Strays(const std::string& dir)
{
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        n += entry.path().filename() != kFile && entry.path().filename() != "filler";
    return n;
}

// A save that can't be written leaves the old file as it was and says so;
// once there is room again the next one goes through. "tmpfs": a 64 KiB file
// system filled up (root only, mounted in a namespace of the child's own);
// "file size limit": RLIMIT_FSIZE under the new file's size, as a quota.
TEST(SettingsFaults, FullDiskFailsTheSaveAndKeepsTheOldFile)
{
    const std::string before = SavedText(Sample(30)), after = SavedText(Sample(44));
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
            const int fd = open(dir.Join("filler").c_str(), O_WRONLY | O_CREAT, 0600);
            for (const std::string block(4096, 'f'); tmpfs && write(fd, block.data(), block.size()) > 0;) {}
            close(fd);
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit = {tmpfs ? RLIM_INFINITY : before.size() / 2, RLIM_INFINITY},
                         none = {limit.rlim_max, limit.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
            PreferenceStore store(kPrefsModule, dir.Path().c_str());
            std::string now;
            if (WriteSettings(store, Sample(44), true))
                return 3;  // reported as saved
            if (!ReadWholeFile(conf, &now) || now != before || Strays(dir.Path()) != 0)
                return 4;
            unlink(dir.Join("filler").c_str());
            setrlimit(RLIMIT_FSIZE, &none);
            return WriteSettings(store, Sample(44), true) && ReadWholeFile(conf, &now) && now == after ? 0 : 5;
        });
        if (code == 77)
            std::printf("no tmpfs could be mounted: only the file size limit stands for a full disk\n");
        else
            EXPECT_EQ(code, 0);
    }
}

// The sheet saves from a store of its own, read from the file: after a
// first-run save that failed, it holds no version, and without one the next
// start would take the saved keys for another version's and reset them.
TEST(SettingsFaults, SaveAfterAFailedFirstRunSaveIsKeptAtTheNextStart)
{
    ScratchDir dir;
    const std::string sub = dir.Join("zarnet");
    ASSERT_TRUE(WriteWholeFile(sub, "a file in the folder's place"));
    bool saved = true;
    EXPECT_EQ(ReadWidth(sub, &saved), kFirstRunPuzzleWidth);
    EXPECT_FALSE(saved);
    ASSERT_EQ(unlink(sub.c_str()), 0);  // the user makes room and saves again
    PreferenceStore store(kPrefsModule, sub.c_str());
    ASSERT_TRUE(WriteSettings(store, Sample(44), false));
    EXPECT_EQ(ReadWidth(sub), 44);
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
            bool saved = false;
            if (ReadWidth(sub, &saved) != (bytes == &good ? 30 : kFirstRunPuzzleWidth) || saved != (bytes == &good))
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
        ASSERT_TRUE(ReadWholeFile(dir.Join(kFile), &now) && (now == textA || now == textB)) << round << ":\n" << now;
        (now == textA ? sawA : sawB)++;
        ASSERT_EQ(ReadWidth(dir.Path()), now == textA ? 30 : 77);
    }
    std::printf("40 kills: %d old, %d new, %d temporary files left\n", sawA, sawB, Strays(dir.Path()));
}

}  // namespace
