// `zarnet` run by the XScreenSaver daemon itself on a private Xvfb: the picture is the desktop as it was before
// the saver's window covered it, the daemon's kills end it promptly and normally, one zarnet per monitor with
// main-monitor-only, and the preview in the daemon's settings dialog.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "platform/x11_error_trap.h"
#include "tests/apps/x11_shots.h"  // last: it brings in Xlib

namespace {

using namespace x11shots;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Runs `argv` as an ordinary user, Debian's "nobody" (65534): XScreenSaver launches no hacks for root.
std::vector<std::string> AsUser(std::vector<std::string> argv)
{
    if (geteuid() == 0)
        argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return argv;
}

// True when the process has ended (gone, or a zombie nobody has reaped yet).
bool ProcessGone(int pid)
{
    std::string stat;
    if (!ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", &stat))
        return true;
    const size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && (stat[paren + 2] == 'Z' || stat[paren + 2] == 'X');
}

// The daemon on a private Xvfb whose root shows four coloured quarters, with a throwaway home whose
// .xscreensaver runs only `zarnet --root`, and zarnet's own settings there.
class SaverDaemon {
public:
    ~SaverDaemon()
    {
        // The daemon ends its helpers and their hacks; then the server goes.
        if (daemon_.Signal(SIGTERM) && !daemon_.Wait(5000, nullptr))
            daemon_.Signal(SIGKILL), daemon_.Wait(2000, nullptr);
        display_.reset();
    }

    // `extraSettings`: more lines for .xscreensaver. False, with Error() set, when it doesn't answer.
    bool Start(int width, int height, bool twoMonitors, bool mainOnly, const std::string& extraSettings = "")
    {
        const std::string home = dir_.Path();
        mkdir(dir_.Join(".config").c_str(), 0700);
        mkdir(dir_.Join(".config/zarnet").c_str(), 0700);
        if (!server_.Start(width, height, 24) || (twoMonitors && !SplitIntoTwoMonitors(server_, width, height)) ||
            !(display_.reset(XOpenDisplay(server_.DisplayName().c_str())), display_) ||
            !WriteWholeFile(dir_.Join(".config/zarnet/vmZarnetSS.conf"), SettingsText(0, mainOnly)) ||
            !WriteWholeFile(dir_.Join(".xscreensaver"), "mode: one\nselected: 0\nlock: False\nfade: False\n"
                                                        "unfade: False\nsplash: False\n" +
                                                            extraSettings + "programs: " + Program() + " --root \\n\n"))
            return error_ = "no server, monitors, display or home folder: " + server_.Error(), false;
        PaintQuarters(display_.get(), width, height);
        if (geteuid() == 0 &&
            RunProgram({"chown", "-R", "65534:65534", home}, EnvironmentWith({}), nullptr, 10000) != 0)
            return error_ = "can't give the home folder to nobody", false;
        environment_ = EnvironmentWith(
            {"DISPLAY=" + server_.DisplayName(), "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
             "GSETTINGS_BACKEND=memory"},
            {"XSCREENSAVER_WINDOW", "XDG_CURRENT_DESKTOP", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"});
        if (!daemon_.Start(AsUser({"sh", "-c", "exec xscreensaver -no-splash -verbose 2>&1"}), environment_,
                           dir_.Join("xscreensaver.log")))
            return error_ = "can't run xscreensaver", false;
        for (int i = 0; i < 100; ++i, usleep(100000))  // ready once it answers
            if (Command("-time"))
                return true;
        return error_ = "the daemon doesn't answer: " + Log(), false;
    }

    // The program the daemon runs: the built one, or a copy readable by the ordinary user the daemon runs as
    // (the build folder may lie in root's home), beside its data files as an installation has them.
    std::string Program()
    {
        const std::string built = BuildProgramPath("zarnet");
        bool othersCanRun = true;
        for (fs::path p = built; !p.empty() && p != p.root_path(); p = p.parent_path()) {
            struct stat st;
            othersCanRun = othersCanRun && stat(p.c_str(), &st) == 0 && (st.st_mode & S_IXOTH);
        }
        if (geteuid() != 0 || othersCanRun)
            return built;
        const fs::path bin = dir_.Join("bin"), data = dir_.Join("share/zarnet");
        std::error_code e;
        fs::create_directories(bin, e);
        fs::create_directories(data, e);
        fs::copy_file(built, bin / "zarnet", e);
        for (const char* name : {"zar.vnt", "vantor.morvence", "zarnet-default.png"})
            fs::copy_file(fs::path(built).parent_path().parent_path() / "resources" / name, data / name, e);
        return (bin / "zarnet").string();
    }

    // xscreensaver-command with `option`; true when it succeeded.
    bool Command(const std::string& option)
    {
        return RunProgram({"xscreensaver-command", option}, environment_, nullptr, 10000) == 0;
    }
    // Starts `argv` as the daemon's user with its environment, its output into `ChildLog()`.
    bool Spawn(ChildProcess* child, const std::vector<std::string>& argv)
    {
        std::vector<std::string> shell = {"sh", "-c", "exec \"$0\" \"$@\" 2>&1"};
        shell.insert(shell.end(), argv.begin(), argv.end());
        return child->Start(AsUser(shell), environment_, dir_.Join("child.log"));
    }
    std::string Log(const char* name = "xscreensaver.log") const
    {
        std::string text;
        ReadWholeFile(dir_.Join(name), &text);
        return text;
    }
    std::string ChildLog() const { return Log("child.log"); }

    // The pids of the zarnet processes the daemon has started, in order.
    std::vector<int> Hacks() const
    {
        static const std::regex forked(R"(forked "[^"]*zarnet --root" in pid (\d+))");
        std::vector<int> pids;
        const std::string log = Log();
        for (std::sregex_iterator it(log.begin(), log.end(), forked), end; it != end; ++it)
            pids.push_back(std::stoi((*it)[1]));
        return pids;
    }
    // Waits until the daemon has started `count` zarnets; true when it has within 15 s.
    bool WaitForHacks(size_t count) const
    {
        for (int i = 0; i < 300; ++i, usleep(50000))
            if (Hacks().size() >= count)
                return true;
        return false;
    }

    Display* display() { return display_.get(); }
    const std::string& Error() const { return error_; }

private:
    XvfbServer server_;
    ScratchDir dir_;
    std::unique_ptr<Display, int (*)(Display*)> display_{nullptr, XCloseDisplay};
    std::vector<std::string> environment_;
    ChildProcess daemon_;
    std::string error_;
};

// Waits up to `ms` for process `pid` to end; true when it has.
bool WaitGone(int pid, int ms)
{
    for (int waited = 0; !ProcessGone(pid) && waited < ms; waited += 5)
        usleep(5000);
    return ProcessGone(pid);
}

// -deactivate ends every zarnet it started, and nothing in the daemon's log says a hack misbehaved. The time from
// the command to the end of the last one.
Clock::duration ExpectCleanEnd(SaverDaemon& daemon)
{
    EXPECT_TRUE(daemon.Command("-deactivate"));
    const auto sent = Clock::now();
    for (int pid : daemon.Hacks())
        EXPECT_TRUE(WaitGone(pid, 3000)) << pid;
    const auto took = Clock::now() - sent;
    usleep(300000);
    const std::string log = daemon.Log();
    for (const char* bad : {"abnormally", "X error", "zarnet:"})
        EXPECT_EQ(log.find(bad), std::string::npos) << "\"" << bad << "\" in the daemon's log:\n" << log;
    return took;
}

TEST(XScreenSaverDaemon, ShowsTheDesktopItCoveredAndItsKillsEndZarnetPromptlyAndNormally)
{
    SaverDaemon daemon;
    ASSERT_TRUE(daemon.Start(640, 480, false, false)) << daemon.Error();
    Display* d = daemon.display();
    ASSERT_TRUE(daemon.Command("-activate") && daemon.WaitForHacks(1)) << daemon.Log();

    // First the assembled board of the screenshot, quarter for quarter.
    Frame shot;
    const bool quarters = WaitFor(d, {0, 0, 640, 480}, ShowsQuarters, &shot);
    if (!quarters)
        SaveFrame(shot, "xscreensaver-daemon-start");
    ASSERT_TRUE(quarters) << "no board of the desktop's picture (frames/xscreensaver-daemon-start.png); the log:\n"
                          << daemon.Log();

    // A few seconds on the pieces fly, still of the picture: no white pieces, no black screen. Each of the four
    // colours shows within a few seconds (the pieces of one quarter may all be out of sight in any one frame).
    sleep(4);
    shot = Shot(d, {0, 0, 640, 480});
    SaveFrame(shot, "xscreensaver-daemon");
    const auto hues = HueShares(shot);
    EXPECT_GT(shot.LitFraction(40), 0.05);
    EXPECT_GT(hues[0] + hues[1] + hues[2] + hues[3], 0.8) << "mostly of the picture's four colours";
    EXPECT_LT(hues[4], 0.1) << "white (beyond the highlights)";
    auto seen = hues;
    for (int look = 0; look < 4 && *std::min_element(seen.begin(), seen.begin() + 4) <= 0.01; ++look) {
        sleep(1);
        const auto more = HueShares(Shot(d, {0, 0, 640, 480}));
        for (int i = 0; i < 4; ++i)
            seen[i] = std::max(seen[i], more[i]);
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_GT(seen[i], 0.01) << "hue " << i;

    // -cycle kills the running zarnet and starts another; the daemon reports how the first ended.
    const int first = daemon.Hacks()[0];
    ASSERT_TRUE(daemon.Command("-cycle") && daemon.WaitForHacks(2));
    const std::regex ended("child pid " + std::to_string(first) + R"( \([^)]*\) exited ([a-z]+ with [A-Z0-9]+))");
    std::smatch how;
    std::string log = daemon.Log();
    for (int i = 0; i < 200 && !std::regex_search(log, how, ended); ++i, log = daemon.Log())
        usleep(50000);
    ASSERT_TRUE(std::regex_search(log, how, ended)) << log;
    EXPECT_EQ(how[1].str(), "normally with SIGTERM");
    EXPECT_TRUE(ProcessGone(first));

    // -deactivate: the second one is gone within half a second.
    const int second = daemon.Hacks()[1];
    sleep(1);
    ASSERT_FALSE(ProcessGone(second));
    EXPECT_LT(ExpectCleanEnd(daemon), std::chrono::milliseconds(500));
}

TEST(XScreenSaverDaemon, OneZarnetPerMonitorEachShowingItsOwnMonitorAndMainMonitorOnlyHonoured)
{
    SaverDaemon daemon;
    ASSERT_TRUE(daemon.Start(640, 240, true, true)) << daemon.Error();
    Display* d = daemon.display();
    ASSERT_TRUE(daemon.Command("-activate") && daemon.WaitForHacks(2)) << daemon.Log();
    // The primary (right) monitor shows its own quarters, green over yellow; red and blue were on the other.
    Frame right;
    ASSERT_TRUE(WaitFor(
        d, {320, 0, 320, 240},
        [](const Frame& f) {
            const auto top = HueShares(Crop(f, {0, 0, 320, 120})), bottom = HueShares(Crop(f, {0, 120, 320, 120}));
            return f.LitFraction(40) > 0.6 && top[1] > 0.8 && bottom[3] > 0.8;
        },
        &right))
        << daemon.Log();
    sleep(2);
    const auto hues = HueShares(Shot(d, {320, 0, 320, 240}));
    EXPECT_GT(hues[1], 0.1);
    EXPECT_GT(hues[3], 0.1);
    EXPECT_LT(hues[0] + hues[2], 0.02);
    // The other monitor's zarnet runs but keeps its monitor black.
    EXPECT_EQ(Shot(d, {0, 0, 320, 240}).LitFraction(20), 0.0);
    for (int pid : daemon.Hacks())
        EXPECT_FALSE(ProcessGone(pid));
    ExpectCleanEnd(daemon);
}

TEST(XScreenSaverDaemon, NoDesktopWhenItsSettingsForbidHacksToShowIt)
{
    SaverDaemon daemon;
    ASSERT_TRUE(daemon.Start(640, 480, false, false, "grabDesktopImages: False\n")) << daemon.Error();
    ASSERT_TRUE(daemon.Command("-activate") && daemon.WaitForHacks(1)) << daemon.Log();
    // The wallpaper instead (here the bundled picture): a board, but none of the desktop's four colours.
    Frame shot;
    ASSERT_TRUE(WaitFor(
        daemon.display(), {0, 0, 640, 480}, [](const Frame& f) { return f.LitFraction(40) > 0.6; }, &shot))
        << daemon.Log();
    const auto hues = HueShares(shot);
    EXPECT_LT(hues[0] + hues[1] + hues[2] + hues[3], 0.5);
    ExpectCleanEnd(daemon);
}

// The zarnet that the dialog (process `dialog`) runs as its preview, and its window; {0, 0} while there is none.
// Other tests may run zarnets of their own meanwhile: only a child of the dialog counts.
std::pair<int, unsigned long> FindPreview(int dialog)
{
    std::string out;
    std::smatch m;
    RunProgram({"pgrep", "-a", "-P", std::to_string(dialog), "zarnet"}, EnvironmentWith({}), &out, 10000);
    if (!std::regex_search(out, m, std::regex(R"((\d+) \S*zarnet .*-window-id (\S+))")) || ProcessGone(std::stoi(m[1])))
        return {0, 0};
    return {std::stoi(m[1]), std::strtoul(m[2].str().c_str(), nullptr, 0)};
}

TEST(XScreenSaverDaemon, SettingsDialogPreviewShowsTheDesktopAndEndsCleanly)
{
    SaverDaemon daemon;
    ASSERT_TRUE(daemon.Start(1024, 640, false, false)) << daemon.Error();
    Display* d = daemon.display();
    ChildProcess settings;
    ASSERT_TRUE(daemon.Spawn(&settings, {"xscreensaver-settings"}));
    // The dialog may start its preview more than once (a first window, then the one the laid-out dialog keeps):
    // look until a preview's window answers, its errors trapped rather than ending this test.
    std::pair<int, unsigned long> preview;
    ScreenRect area = {};
    for (int i = 0; i < 300 && IsEmptyRect(area); ++i, usleep(50000)) {
        preview = FindPreview(settings.Pid());
        X11ErrorTrap trap(d);
        area = WindowRect(d, preview.second);
        area = trap.Failed() ? ScreenRect{} : area;
    }
    ASSERT_FALSE(IsEmptyRect(area)) << "no preview; the dialog's output:\n" << daemon.ChildLog();
    // The preview's board is of the whole screen as the dialog found it: the four quarters.
    Frame shot;
    EXPECT_TRUE(WaitFor(d, area, ShowsQuarters, &shot)) << "the preview doesn't show the desktop";
    SaveFrame(Shot(d, {0, 0, 1024, 640}), "xscreensaver-settings-preview");
    // Closing the dialog ends the preview, without X errors.
    ASSERT_TRUE(settings.Signal(SIGTERM));
    settings.Wait(5000, nullptr);
    EXPECT_TRUE(WaitGone(preview.first, 2000));
    EXPECT_EQ(daemon.ChildLog().find("zarnet:"), std::string::npos) << daemon.ChildLog();
}

}  // namespace
