// The settings program as a user meets it, on a private Xvfb server: it
// opens with a drawing preview, the Options button runs the sheet over it,
// a number typed and confirmed with Enter is saved, the preview is rebuilt,
// and closing the window ends the program. A screenshot of the window with
// its sheet open lands in frames/zarnet_settings_options.png.
#include "platform/screen_grab.h"
#include "tests/support/engine_view.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/xvfb_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>
// After gtest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr double kWaitSeconds = 30.0;  // generous: llvmpipe on a busy machine

double Now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Polls `done` every 20 ms until it holds or the wait runs out.
bool WaitUntil(const std::function<bool()>& done, double seconds = kWaitSeconds)
{
    const double end = Now() + seconds;
    for (;;) {
        if (done())
            return true;
        if (Now() > end)
            return false;
        timespec pause = {0, 20 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

// The program under test, its output in a log file.
class Program {
public:
    ~Program() { Kill(); }

    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& log)
    {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            pid_ = -1;
        return rc == 0;
    }
    // True while it runs; once it has ended, `status_` holds how.
    bool Running()
    {
        if (pid_ <= 0)
            return false;
        if (waitpid(pid_, &status_, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }
    // Exit status after it ended by itself; -1 when killed by a signal.
    int ExitStatus() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    void Kill()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
};

// A viewable window whose name is `title`, searched depth first; 0 when none.
Window FindWindow(Display* d, Window w, const char* title)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a))
        return 0;
    char* name = nullptr;
    if (a.map_state == IsViewable && XFetchName(d, w, &name) && name) {
        const bool match = std::strcmp(name, title) == 0;
        XFree(name);
        if (match)
            return w;
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i)
        found = FindWindow(d, children[i], title);
    if (children)
        XFree(children);
    return found;
}

Window FindWindow(Display* d, const char* title)
{
    return FindWindow(d, DefaultRootWindow(d), title);
}

// The deepest viewable descendant of `w` at least `minW` x `minH`: the
// preview's GL window inside the settings window.
Window DeepestLarge(Display* d, Window w, int minW, int minH)
{
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable && a.width >= minW &&
                a.height >= minH) {
                const Window deeper = DeepestLarge(d, children[i], minW, minH);
                found = deeper ? deeper : children[i];
            }
        }
        if (children)
            XFree(children);
    }
    return found;
}

bool RootRect(Display* d, Window w, ScreenRect* r)
{
    XWindowAttributes a;
    Window child;
    int x = 0, y = 0;
    if (!XGetWindowAttributes(d, w, &a) ||
        !XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child))
        return false;
    *r = ScreenRect{x, y, a.width, a.height};
    return true;
}

// Share of the pixels in `area` of the screen that aren't black.
double LitShare(Display* d, const ScreenRect& area)
{
    ScreenGrab grab;
    if (!GrabX11Screen(d, area, &grab) || grab.width <= 0 || grab.height <= 0)
        return 0.0;
    size_t lit = 0;
    for (size_t i = 0; i + 3 < grab.rgba.size(); i += 4)
        if (grab.rgba[i] > 24 || grab.rgba[i + 1] > 24 || grab.rgba[i + 2] > 24)
            ++lit;
    return static_cast<double>(lit) / (static_cast<double>(grab.width) * grab.height);
}

// A wallpaper for the root window: a sky-to-sea gradient with a sun and
// some hills, so the preview's grab of the screen has a picture to cut.
void PaintWallpaper(Display* d)
{
    const Window root = DefaultRootWindow(d);
    const int screen = DefaultScreen(d);
    const Pixmap pixmap = XCreatePixmap(d, root, kScreenWidth, kScreenHeight,
                                        static_cast<unsigned>(DefaultDepth(d, screen)));
    GC gc = XCreateGC(d, pixmap, 0, nullptr);
    auto colour = [&](int r, int g, int b) {
        XColor c = {};
        c.red = static_cast<unsigned short>(r * 257);
        c.green = static_cast<unsigned short>(g * 257);
        c.blue = static_cast<unsigned short>(b * 257);
        c.flags = DoRed | DoGreen | DoBlue;
        XAllocColor(d, DefaultColormap(d, screen), &c);
        XSetForeground(d, gc, c.pixel);
    };
    const int horizon = kScreenHeight * 3 / 5;
    for (int y = 0; y < kScreenHeight; y += 8) {
        const int t = y < horizon ? y * 255 / horizon : (y - horizon) * 255 / (kScreenHeight - horizon);
        if (y < horizon)
            colour(40 + t * 3 / 4, 90 + t / 2, 200 - t / 3);
        else
            colour(20, 80 + t / 3, 120 + t / 4);
        XFillRectangle(d, pixmap, gc, 0, y, kScreenWidth, 8);
    }
    colour(255, 210, 60);
    XFillArc(d, pixmap, gc, 700, horizon - 260, 180, 180, 0, 360 * 64);
    colour(40, 120, 50);
    XFillArc(d, pixmap, gc, -200, horizon - 120, 700, 300, 0, 180 * 64);
    colour(70, 150, 60);
    XFillArc(d, pixmap, gc, 300, horizon - 80, 900, 220, 0, 180 * 64);
    colour(240, 240, 240);
    for (int i = 0; i < 6; ++i)
        XFillArc(d, pixmap, gc, 80 + i * 150, 60 + (i % 3) * 40, 120, 40, 0, 360 * 64);
    XFreeGC(d, gc);
    XSetWindowBackgroundPixmap(d, root, pixmap);
    XFreePixmap(d, pixmap);
    XClearWindow(d, root);
    XSync(d, False);
}

// True once `w` has been painted: its corners show the window background
// (light grey) rather than what lay beneath.
bool Painted(Display* d, Window w)
{
    ScreenRect r;
    ScreenGrab grab;
    if (!RootRect(d, w, &r) || !GrabX11Screen(d, r, &grab) || grab.width < 8 || grab.height < 8)
        return false;
    auto light = [&](int x, int y) {
        const uint8_t* p = &grab.rgba[(static_cast<size_t>(y) * static_cast<size_t>(grab.width) + static_cast<size_t>(x)) * 4];
        return p[0] > 225 && p[1] > 225 && p[2] > 225;
    };
    return light(3, 3) && light(grab.width - 4, 3) && light(3, grab.height - 4) &&
           light(grab.width - 4, grab.height - 4);
}

bool SaveScreen(Display* d, const std::string& name)
{
    ScreenGrab grab;
    if (!GrabX11Screen(d, ScreenRect{0, 0, kScreenWidth, kScreenHeight}, &grab))
        return false;
    Frame frame;
    frame.width = grab.width;
    frame.height = grab.height;
    frame.rgba.resize(grab.rgba.size());
    const size_t row = static_cast<size_t>(grab.width) * 4;
    for (int y = 0; y < grab.height; ++y)  // the grab is bottom row first
        std::memcpy(&frame.rgba[static_cast<size_t>(y) * row],
                    &grab.rgba[static_cast<size_t>(grab.height - 1 - y) * row], row);
    return SaveFrame(frame, name);
}

// The window manager's close request, as a title bar's close button sends it.
void SendClose(Display* d, Window w)
{
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
    XFlush(d);
}

std::string SettingsProgram()
{
    return std::string(ZARNET_BUILD_RESOURCES) + "../apps/zarnet-settings";
}

// A scratch home for one run: the settings store, GTK without animations.
struct AppRun {
    ScratchDir scratch;
    XvfbServer server;
    Display* display = nullptr;
    Program program;

    ~AppRun()
    {
        program.Kill();
        if (display)
            XCloseDisplay(display);
    }

    bool Start(const std::string& exe, const std::vector<std::string>& extra)
    {
        if (!server.Start(kScreenWidth, kScreenHeight, 24))
            return false;
        display = XOpenDisplay(server.DisplayName().c_str());
        if (!display)
            return false;
        PaintWallpaper(display);
        mkdir(scratch.Join("config").c_str(), 0700);
        mkdir(scratch.Join("config/gtk-3.0").c_str(), 0700);
        WriteWholeFile(scratch.Join("config/gtk-3.0/settings.ini"), "[Settings]\ngtk-enable-animations=0\n");
        std::vector<std::string> env = server.Environment();
        env.push_back("XDG_CONFIG_HOME=" + scratch.Join("config"));
        env.push_back("GTK_THEME=Adwaita");
        env.push_back("NO_AT_BRIDGE=1");
        std::vector<std::string> args = {exe};
        args.insert(args.end(), extra.begin(), extra.end());
        return program.Start(args, env, scratch.Join("log"));
    }

    std::string Log() const
    {
        std::string text;
        ReadWholeFile(scratch.Join("log"), &text);
        return text;
    }
    std::string Store() const
    {
        std::string text;
        ReadWholeFile(scratch.Join("config/zarnet/vmZarnetSS.conf"), &text);
        return text;
    }
    // Focuses `w` (no window manager: the test hands out the focus) and
    // types `keys` through XTEST.
    bool Keys(Window w, const std::vector<std::string>& keys)
    {
        if (server.Run({"xdotool", "windowfocus", "--sync", std::to_string(w)}) != 0)
            return false;
        std::vector<std::string> args = {"xdotool", "key", "--delay", "20"};
        args.insert(args.end(), keys.begin(), keys.end());
        return server.Run(args) == 0;
    }
};

TEST(SettingsApp, PreviewsOpensTheSheetSavesAndRebuildsThePreview)
{
    struct stat st;
    ASSERT_EQ(stat(SettingsProgram().c_str(), &st), 0) << "build the zarnet-settings target first";
    AppRun run;
    ASSERT_TRUE(run.Start(SettingsProgram(), {})) << run.server.Error();
    Display* d = run.display;

    Window main = 0;
    ASSERT_TRUE(WaitUntil([&] { return (main = FindWindow(d, "Zarnet Screen Saver")) != 0 || !run.program.Running(); }));
    ASSERT_NE(main, 0u) << run.Log();
    Window preview = 0;
    ASSERT_TRUE(WaitUntil([&] { return (preview = DeepestLarge(d, main, 400, 250)) != 0; }));
    ScreenRect area;
    ASSERT_TRUE(RootRect(d, preview, &area));
    EXPECT_EQ(area.width, 640);
    EXPECT_EQ(area.height, 400);
    EXPECT_TRUE(WaitUntil([&] { return LitShare(d, area) > 0.5; })) << "the preview draws the board\n" << run.Log();

    // Options... has the focus: Enter opens the sheet over the window.
    ASSERT_TRUE(run.Keys(main, {"Return"}));
    Window sheet = 0;
    ASSERT_TRUE(WaitUntil([&] { return (sheet = FindWindow(d, "Zarnet Options")) != 0 || !run.program.Running(); }));
    ASSERT_NE(sheet, 0u) << run.Log();
    EXPECT_TRUE(WaitUntil([&] { return Painted(d, sheet); }));
    EXPECT_TRUE(SaveScreen(d, "zarnet_settings_options"));

    // The pieces field has the focus: a number typed and confirmed with Enter
    // is saved (Save is the default button) and the sheet closes.
    ASSERT_TRUE(run.Keys(sheet, {"ctrl+a", "1", "2", "Return"}));
    EXPECT_TRUE(WaitUntil([&] { return run.Store().find("PuzzleWidth=12\n") != std::string::npos; }))
        << run.Store() << run.Log();
    EXPECT_TRUE(WaitUntil([&] { return FindWindow(d, "Zarnet Options") == 0; }));
    const std::string store = run.Store();
    EXPECT_NE(store.find("version=1.0.1\n"), std::string::npos) << store;
    EXPECT_NE(store.find("BGPath="), std::string::npos) << store;

    // The preview is made anew and draws again.
    Window rebuilt = 0;
    ASSERT_TRUE(WaitUntil([&] { return (rebuilt = DeepestLarge(d, main, 400, 250)) != 0; }));
    EXPECT_TRUE(WaitUntil([&] { return LitShare(d, area) > 0.5; })) << run.Log();

    SendClose(d, main);
    EXPECT_TRUE(WaitUntil([&] { return !run.program.Running(); })) << run.Log();
    EXPECT_EQ(run.program.ExitStatus(), 0) << run.Log();
    EXPECT_EQ(run.Log().find("CRITICAL"), std::string::npos) << run.Log();
}

TEST(SettingsApp, MissingLayoutIsReportedInADialog)
{
    struct stat st;
    ASSERT_EQ(stat(SettingsProgram().c_str(), &st), 0) << "build the zarnet-settings target first";
    // An installed tree whose resources lack "Zarnet.ui".
    ScratchDir tree;
    ASSERT_EQ(mkdir(tree.Join("bin").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(tree.Join("share").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(tree.Join("share/zarnet").c_str(), 0700), 0);
    for (const char* name : {"zar.vnt", "vantor.morvence"})
        ASSERT_EQ(symlink((std::string(ZARNET_BUILD_RESOURCES) + name).c_str(),
                          tree.Join(std::string("share/zarnet/") + name).c_str()),
                  0);
    std::string exe;
    ASSERT_TRUE(ReadWholeFile(SettingsProgram(), &exe));
    ASSERT_TRUE(WriteWholeFile(tree.Join("bin/zarnet-settings"), exe));
    ASSERT_EQ(chmod(tree.Join("bin/zarnet-settings").c_str(), 0700), 0);

    AppRun run;
    ASSERT_TRUE(run.Start(tree.Join("bin/zarnet-settings"), {"--open-options"})) << run.server.Error();
    Display* d = run.display;
    Window alert = 0;
    ASSERT_TRUE(WaitUntil([&] { return (alert = FindWindow(d, "Options Unavailable")) != 0 || !run.program.Running(); }));
    ASSERT_NE(alert, 0u) << run.Log();
    EXPECT_EQ(FindWindow(d, "Zarnet Options"), 0u);

    // OK dismisses it; the window stays and closes normally.
    ASSERT_TRUE(run.Keys(alert, {"Return"}));
    EXPECT_TRUE(WaitUntil([&] { return FindWindow(d, "Options Unavailable") == 0; }));
    const Window main = FindWindow(d, "Zarnet Screen Saver");
    ASSERT_NE(main, 0u);
    SendClose(d, main);
    EXPECT_TRUE(WaitUntil([&] { return !run.program.Running(); })) << run.Log();
    EXPECT_EQ(run.program.ExitStatus(), 0) << run.Log();
}

}  // namespace
