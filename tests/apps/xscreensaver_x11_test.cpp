// `zarnet` run by the XScreenSaver daemon itself on a private Xvfb: the picture is the desktop as it was before
// the saver's window covered it, the daemon's kills end it promptly and normally, one zarnet per monitor with
// main-monitor-only, and the preview in the daemon's settings dialog.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "platform/x11_error_trap.h"
#include "tests/apps/x11_shots.h"  // last: it brings in Xlib

namespace {

using namespace x11shots;
namespace fs = std::filesystem;

// True when the process has ended (gone, or a zombie nobody has reaped yet).
bool ProcessGone(int pid)
{
    std::string stat;
    if (!ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", &stat))
        return true;
    const size_t paren = stat.rfind(')');
    return paren + 2 < stat.size() && (stat[paren + 2] == 'Z' || stat[paren + 2] == 'X');
}

// Waits up to `ms` for process `pid` to end; true when it has.
bool WaitGone(int pid, int ms)
{
    for (int waited = 0; !ProcessGone(pid) && waited < ms; waited += 5)
        usleep(5000);
    return ProcessGone(pid);
}

// The daemon on a private Xvfb whose root shows four coloured quarters, with a throwaway home whose
// .xscreensaver runs only `zarnet --root`, and zarnet's own settings there.
struct SaverDaemon {
    XvfbServer server;
    ScratchDir dir;
    std::unique_ptr<Display, int (*)(Display*)> display{nullptr, XCloseDisplay};
    std::vector<std::string> environment;
    ChildProcess daemon;

    ~SaverDaemon()
    {
        // The daemon ends its helpers and their hacks; then the server goes.
        if (daemon.Signal(SIGTERM) && !daemon.Wait(5000, nullptr))
            daemon.Signal(SIGKILL), daemon.Wait(2000, nullptr);
        display.reset();
    }

    // `extraSettings`: more lines for .xscreensaver. False when the daemon doesn't answer.
    bool Start(int width, int height, bool twoMonitors, bool mainOnly, const std::string& extraSettings = "")
    {
        fs::create_directories(dir.Join(".config/zarnet"));
        if (!server.Start(width, height, 24) || (twoMonitors && !SplitIntoTwoMonitors(server, width, height)) ||
            !(display.reset(XOpenDisplay(server.DisplayName().c_str())), display) ||
            !WriteWholeFile(dir.Join(".config/zarnet/vmZarnetSS.conf"), SettingsText(0, mainOnly)) ||
            !WriteWholeFile(dir.Join(".xscreensaver"), "mode: one\nselected: 0\nlock: False\nfade: False\n"
                                                       "unfade: False\nsplash: False\n" +
                                                           extraSettings + "programs: " + Program() + " --root \\n\n"))
            return false;
        PaintQuarters(display.get(), width, height);
        environment = EnvironmentWith(
            {"DISPLAY=" + server.DisplayName(), "HOME=" + dir.Path(), "XDG_CONFIG_HOME=" + dir.Join(".config"),
             "GSETTINGS_BACKEND=memory"},
            {"XSCREENSAVER_WINDOW", "XDG_CURRENT_DESKTOP", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"});
        if ((geteuid() == 0 &&
             RunProgram({"chown", "-R", "65534:65534", dir.Path()}, EnvironmentWith({}), nullptr, 10000) != 0) ||
            !Spawn(&daemon, {"xscreensaver", "-no-splash", "-verbose"}, "xscreensaver.log"))
            return false;
        for (int i = 0; i < 100; ++i, usleep(100000))  // ready once it answers
            if (Command("-time"))
                return true;
        return false;
    }

    // The program the daemon runs: for root, a copy that the ordinary user the daemon runs as can read (the
    // build folder may lie in root's home), beside its data files as an installation has them.
    std::string Program()
    {
        const fs::path built = BuildProgramPath("zarnet"), bin = dir.Join("bin"), data = dir.Join("share/zarnet");
        if (geteuid() != 0)
            return built;
        std::error_code e;
        fs::create_directories(bin, e);
        fs::create_directories(data, e);
        fs::copy_file(built, bin / "zarnet", e);
        for (const char* name : {"zar.vnt", "vantor.morvence", "zarnet-default.png"})
            fs::copy_file(built.parent_path().parent_path() / "resources" / name, data / name, e);
        return (bin / "zarnet").string();
    }

    // xscreensaver-command with `option`; true when it succeeded.
    bool Command(const std::string& option)
    {
        return RunProgram({"xscreensaver-command", option}, environment, nullptr, 10000) == 0;
    }
    // Starts `argv` as an ordinary user, Debian's "nobody" (65534), for XScreenSaver launches no hacks for root;
    // with the daemon's environment, its output into Log(`log`).
    bool Spawn(ChildProcess* child, std::vector<std::string> argv, const char* log)
    {
        argv.insert(argv.begin(), {"sh", "-c", "exec \"$0\" \"$@\" 2>&1"});
        if (geteuid() == 0)
            argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        return child->Start(argv, environment, dir.Join(log));
    }
    std::string Log(const char* name = "xscreensaver.log") const
    {
        std::string text;
        ReadWholeFile(dir.Join(name), &text);
        return text;
    }

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
    // Sends `command`, then waits until the daemon has started `count` zarnets; true when it has within 15 s.
    bool StartsHacks(const char* command, size_t count)
    {
        for (int i = 0; i < 300 && (i || Command(command)); ++i, usleep(50000))
            if (Hacks().size() >= count)
                return true;
        return false;
    }
};

// -deactivate ends every zarnet it started within `ms`, and nothing in the daemon's log says a hack misbehaved.
void ExpectCleanEnd(SaverDaemon& daemon, int ms = 3000)
{
    EXPECT_TRUE(daemon.Command("-deactivate"));
    for (int pid : daemon.Hacks())
        EXPECT_TRUE(WaitGone(pid, ms)) << pid;
    usleep(300000);
    const std::string log = daemon.Log();
    for (const char* bad : {"abnormally", "X error", "zarnet:"})
        EXPECT_EQ(log.find(bad), std::string::npos) << "\"" << bad << "\" in the daemon's log:\n" << log;
}

TEST(XScreenSaverDaemon, ShowsTheDesktopItCoveredAndItsKillsEndZarnetPromptlyAndNormally)
{
    SaverDaemon daemon;
    ASSERT_TRUE(daemon.Start(640, 480, false, false)) << daemon.Log();
    Display* d = daemon.display.get();
    ASSERT_TRUE(daemon.StartsHacks("-activate", 1)) << daemon.Log();

    // First the assembled board of the screenshot, quarter for quarter.
    Frame shot;
    const bool quarters = WaitFor(d, {0, 0, 640, 480}, ShowsQuarters, &shot);
    if (!quarters)
        SaveFrame(shot, "xscreensaver-daemon-start");
    ASSERT_TRUE(quarters) << "no board of the desktop's picture (frames/xscreensaver-daemon-start.png); the log:\n"
                          << daemon.Log();
    // A few seconds on the pieces fly, still of the picture: no white pieces, no black screen.
    sleep(4);
    shot = Shot(d, {0, 0, 640, 480});
    SaveFrame(shot, "xscreensaver-daemon");
    const auto hues = HueShares(shot);
    EXPECT_GT(shot.LitFraction(40), 0.05);
    EXPECT_GT(hues[0] + hues[1] + hues[2] + hues[3], 0.8) << "mostly of the picture's four colours";
    EXPECT_LT(hues[4], 0.1) << "white (beyond the highlights)";

    // -cycle kills the running zarnet and starts another; the daemon reports how the first ended.
    const int first = daemon.Hacks()[0];
    ASSERT_TRUE(daemon.StartsHacks("-cycle", 2));
    const std::regex ended("child pid " + std::to_string(first) + R"( \([^)]*\) exited ([a-z]+ with [A-Z0-9]+))");
    std::smatch how;
    std::string log = daemon.Log();
    for (int i = 0; i < 200 && !std::regex_search(log, how, ended); ++i, log = daemon.Log())
        usleep(50000);
    ASSERT_TRUE(std::regex_search(log, how, ended)) << log;
    EXPECT_EQ(how[1].str(), "normally with SIGTERM");
    // -deactivate: the second one is gone within half a second.
    sleep(1);
    ASSERT_FALSE(ProcessGone(daemon.Hacks()[1]));
    ExpectCleanEnd(daemon, 500);
}

TEST(XScreenSaverDaemon, OneZarnetPerMonitorEachShowingItsOwnMonitorAndMainMonitorOnlyHonoured)
{
    SaverDaemon daemon;
    ASSERT_TRUE(daemon.Start(640, 240, true, true)) << daemon.Log();
    Display* d = daemon.display.get();
    ASSERT_TRUE(daemon.StartsHacks("-activate", 2)) << daemon.Log();
    // The primary (right) monitor shows its own quarters, green over yellow; red and blue were on the other.
    Frame right;
    ASSERT_TRUE(WaitFor(
        d, {320, 0, 320, 240},
        [](const Frame& f) {
            const auto top = HueShares(f, {0, 0, 320, 120}), bottom = HueShares(f, {0, 120, 320, 120});
            return f.LitFraction(40) > 0.6 && top[1] > 0.8 && bottom[3] > 0.8;
        },
        &right))
        << daemon.Log();
    // The other monitor's zarnet runs but keeps its monitor black.
    EXPECT_EQ(Shot(d, {0, 0, 320, 240}).LitFraction(20), 0.0);
    for (int pid : daemon.Hacks())
        EXPECT_FALSE(ProcessGone(pid));
    ExpectCleanEnd(daemon);
}

TEST(XScreenSaverDaemon, NoDesktopWhenItsSettingsForbidHacksToShowIt)
{
    SaverDaemon daemon;
    ASSERT_TRUE(daemon.Start(640, 480, false, false, "grabDesktopImages: False\n")) << daemon.Log();
    ASSERT_TRUE(daemon.StartsHacks("-activate", 1)) << daemon.Log();
    // The wallpaper instead (here the bundled picture): a board, but none of the desktop's four colours.
    Frame shot;
    ASSERT_TRUE(WaitFor(
        daemon.display.get(), {0, 0, 640, 480}, [](const Frame& f) { return f.LitFraction(40) > 0.6; }, &shot))
        << daemon.Log();
    const auto hues = HueShares(shot);
    EXPECT_LT(hues[0] + hues[1] + hues[2] + hues[3], 0.5);
    ExpectCleanEnd(daemon);
}

TEST(XScreenSaverDaemon, SettingsDialogPreviewShowsTheDesktopAndEndsCleanly)
{
    SaverDaemon daemon;
    ASSERT_TRUE(daemon.Start(1024, 640, false, false)) << daemon.Log();
    Display* d = daemon.display.get();
    ChildProcess settings;
    ASSERT_TRUE(daemon.Spawn(&settings, {"xscreensaver-settings"}, "child.log"));
    // The dialog's zarnet (only a child of it counts) and its window. The dialog may start its preview more than
    // once: look until a preview's window answers, its errors trapped rather than ending this test.
    int preview = 0;
    ScreenRect area = {};
    std::smatch m;
    for (int i = 0; i < 300 && IsEmptyRect(area); ++i, usleep(50000)) {
        std::string out;
        RunProgram({"pgrep", "-a", "-P", std::to_string(settings.Pid()), "zarnet"}, EnvironmentWith({}), &out, 10000);
        if (!std::regex_search(out, m, std::regex(R"((\d+) \S*zarnet .*-window-id (\S+))")))
            continue;
        preview = std::stoi(m[1]);
        X11ErrorTrap trap(d);
        area = WindowRect(d, std::strtoul(m[2].str().c_str(), nullptr, 0));
        area = trap.Failed() ? ScreenRect{} : area;
    }
    ASSERT_FALSE(IsEmptyRect(area)) << "no preview; the dialog's output:\n" << daemon.Log("child.log");
    // The preview's board is of the whole screen as the dialog found it: the four quarters.
    Frame shot;
    EXPECT_TRUE(WaitFor(d, area, ShowsQuarters, &shot)) << "the preview doesn't show the desktop";
    SaveFrame(Shot(d, {0, 0, 1024, 640}), "xscreensaver-settings-preview");
    // Closing the dialog ends the preview, without X errors.
    ASSERT_TRUE(settings.Signal(SIGTERM));
    settings.Wait(5000, nullptr);
    EXPECT_TRUE(WaitGone(preview, 2000));
    EXPECT_EQ(daemon.Log("child.log").find("zarnet:"), std::string::npos) << daemon.Log("child.log");
}

}  // namespace
