// The X11 host driver: makes the views for the chosen windows, calls the
// host contract in its order, and runs the event loop: the animation timer,
// window size changes, and SIGTERM/SIGINT (through a signalfd watched on a
// thread of its own, so a signal ends the loop at once, the views are
// released in the normal way, and the program then dies by that signal as a
// host expects of its hacks; half a second at most).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "apps/fps_meter.h"
#include "apps/zarnet_drivers.h"
#include "host/HostDriver.h"
#include "host/ZarnetView.h"
#include "platform/clock.h"
#include "platform/glx_surface.h"
#include "platform/screens.h"
#include "platform/x11_backend.h"

namespace {

constexpr int kOwnWidth = 960;   // default size of the program's own window, pixels
constexpr int kOwnHeight = 600;  // pixels

// One window with its view.
struct Target {
    Window window = 0;           // drawn into
    bool own = false;            // made (and destroyed) by this program
    Colormap colormap = 0;       // own window's colormap; 0 = none
    ViewSize size = {0, 0};      // last size given to the view
    SaverWindow host;            // the view's window
    ZarnetView* view = nullptr;  // the view; owned by the host driver
    FpsMeter fps;                // --fps read-out
};

// The window a host handed over, which its owner may destroy at any moment
// (XScreenSaver does so right after it signals us). Errors about it end the
// run quietly instead of being reported.
struct ForeignWindow {
    Window window = 0;    // 0 = none
    Window drawable = 0;  // what we draw into in it (it, or our child of it); 0 = none
    bool gone = false;    // errors about it came: it is gone
};

// The run's foreign window while RunOnDisplay runs; null otherwise. Xlib's
// error handler takes no user data (main thread only).
ForeignWindow* g_foreign = nullptr;

int ReportXError(Display* display, XErrorEvent* event)
{
    // Once it is gone, what the GL library made for it (its GCs, its GLX
    // drawable) fails in turn: expected, not reported.
    ForeignWindow* f = g_foreign;
    if (f && f->window && (f->gone || event->resourceid == f->window || event->resourceid == f->drawable)) {
        f->gone = true;
        return 0;
    }
    char text[256];
    XGetErrorText(display, event->error_code, text, sizeof text);
    std::fprintf(stderr, "zarnet: X error: %s (request %d.%d, resource 0x%lx)\n", text, event->request_code,
                 event->minor_code, event->resourceid);
    return 0;
}

int ConnectionLost(Display* display)
{
    // The server is gone (it ended, or the session did): nothing can be
    // released through it, and nothing else is left to do.
    std::fprintf(stderr, "zarnet: lost the connection to the X server %s; ending\n", DisplayString(display));
    std::_Exit(1);
}

// An own window for GL: the visual that best meets `format`, at `frame`.
bool MakeOwnWindow(Display* display, const ScreenRect& frame, bool fullScreen, Atom wmDelete, Target* target)
{
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    XVisualInfo visual;
    if (!GlxSurface::ChooseVisual(display, screen, GLPixelFormat{}, &visual)) {
        std::fprintf(stderr, "zarnet: the display offers no OpenGL visual\n");
        return false;
    }
    const GLWindow made = MakeGLWindow(display, root, visual, frame.x, frame.y, frame.width, frame.height,
                                       StructureNotifyMask | KeyPressMask | ExposureMask);
    if (!made.window) {
        std::fprintf(stderr, "zarnet: the display refused a window\n");
        return false;
    }
    target->colormap = made.colormap;
    target->window = made.window;
    target->own = true;
    XStoreName(display, target->window, "Zarnet");
    XSetWMProtocols(display, target->window, &wmDelete, 1);
    XSizeHints hints = {};
    hints.flags = USPosition | USSize;
    hints.x = frame.x;
    hints.y = frame.y;
    hints.width = frame.width;
    hints.height = frame.height;
    XSetWMNormalHints(display, target->window, &hints);
    if (fullScreen) {
        Atom state = XInternAtom(display, "_NET_WM_STATE", False);
        Atom full = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(display, target->window, state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&full), 1);
        // No pointer over the saver.
        char none[8] = {};
        Pixmap blank = XCreateBitmapFromData(display, target->window, none, 8, 8);
        XColor black = {};
        Cursor cursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
        XDefineCursor(display, target->window, cursor);
        XFreeCursor(display, cursor);
        XFreePixmap(display, blank);
    }
    return true;
}

// The signals that end the program, delivered through a file descriptor.
int BlockEndSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
        return -1;
    return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

// Waits for the end signals on its own thread, so a host's kill is met in
// time even while the main thread is busy (building the engine on the first
// frame): it wakes the event loop, and when the orderly release hasn't
// finished half a second later, the program dies by the signal at once.
class EndSignalWatch {
public:
    static constexpr int kGraceMs = 300;  // the release's share of the half second a host waits, the rest its own

    // Takes `signals` (a signalfd of the blocked end signals).
    explicit EndSignalWatch(int signals) : signals_(signals)
    {
        wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        done_ = eventfd(0, EFD_CLOEXEC);
        if (wake_ >= 0 && done_ >= 0)
            thread_ = std::thread([this] { Watch(); });
    }
    ~EndSignalWatch()
    {
        Done();
        for (int fd : {wake_, done_, signals_})
            if (fd >= 0)
                close(fd);
    }
    bool ok() const { return thread_.joinable(); }
    // Readable once an end signal has come.
    int wakeFd() const { return wake_; }
    // The signal that came; 0 = none yet.
    int signal() const { return signal_.load(); }
    // The release is over: the thread ends without killing.
    void Done()
    {
        if (thread_.joinable()) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = write(done_, &one, sizeof one);  // can't fail: no overflow
            thread_.join();
        }
    }

private:
    void Watch()
    {
        pollfd fds[2] = {{signals_, POLLIN, 0}, {done_, POLLIN, 0}};
        while (poll(fds, 2, -1) < 0) {}
        if (!(fds[0].revents & POLLIN))
            return;  // done before any signal
        signalfd_siginfo info = {};
        if (read(signals_, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
            return;
        const int signo = static_cast<int>(info.ssi_signo);
        signal_.store(signo);
        const uint64_t one = 1;
        if (write(wake_, &one, sizeof one) != sizeof one)
            return;
        pollfd done = {done_, POLLIN, 0};
        if (poll(&done, 1, kGraceMs) > 0)
            return;
        // Too slow: the server frees what the connection held.
        ::signal(signo, SIG_DFL);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, signo);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        raise(signo);
    }

    int signals_ = -1;            // signalfd of the end signals; owned
    int wake_ = -1;               // eventfd the event loop polls; owned
    int done_ = -1;               // eventfd: the release is over; owned
    std::atomic<int> signal_{0};  // the end signal that came; 0 = none
    std::thread thread_;          // runs Watch
};

ViewSize WindowSize(Display* display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return ViewSize{0, 0};
    return ViewSize{attributes.width, attributes.height};
}

}  // namespace

int RunOnDisplay(const ZarnetOptions& options)
{
    signal(SIGPIPE, SIG_IGN);
    EndSignalWatch endWatch(BlockEndSignals());
    if (!endWatch.ok()) {
        std::fprintf(stderr, "zarnet: can't watch for signals\n");
        return 1;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "zarnet: can't open the display \"%s\" (headless: zarnet --record DIR)\n",
                     name ? name : "");
        return 1;
    }
    ForeignWindow foreign;
    g_foreign = &foreign;
    XSetErrorHandler(ReportXError);
    XSetIOErrorHandler(ConnectionLost);
    const Atom wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
    const Window root = DefaultRootWindow(display);
    X11Desktop desktop;
    desktop.display = display;
    const SaverBackend backend = ConnectX11(&desktop);

    std::vector<std::unique_ptr<Target>> targets;
    HostDriver driver;  // the targets' views
    auto addTarget = [&]() -> Target* {
        targets.push_back(std::make_unique<Target>());
        return targets.back().get();
    };
    int status = 0;
    switch (options.target) {
    case ZarnetOptions::Target::WindowId: {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, static_cast<Window>(options.windowId), &attributes)) {
            std::fprintf(stderr, "zarnet: no window 0x%lx\n", options.windowId);
            status = 1;
            break;
        }
        Target* t = addTarget();
        t->window = static_cast<Window>(options.windowId);
        XSelectInput(display, t->window, attributes.your_event_mask | StructureNotifyMask);
        foreign.window = t->window;
        desktop.saverWindow = t->window;
        break;
    }
    case ZarnetOptions::Target::Root: {
        Target* t = addTarget();
        t->window = root;
        XSelectInput(display, root, StructureNotifyMask);
        break;
    }
    case ZarnetOptions::Target::FullScreen: {
        const ScreenList list = backend.screens(backend.desktop);
        for (const ScreenInfo& s : list.screens)
            if (!MakeOwnWindow(display, s.frame, true, wmDelete, addTarget())) {
                status = 1;
                break;
            }
        if (list.screens.empty()) {
            std::fprintf(stderr, "zarnet: the display has no monitors\n");
            status = 1;
        }
        break;
    }
    case ZarnetOptions::Target::OwnWindow: {
        const ScreenRect frame{0, 0, options.width > 0 ? options.width : kOwnWidth,
                               options.height > 0 ? options.height : kOwnHeight};
        if (!MakeOwnWindow(display, frame, false, wmDelete, addTarget()))
            status = 1;
        break;
    }
    }

    // The views, each made (and its desktop grab taken) before any window of
    // ours is mapped, so the grab shows the desktop and not us.
    for (auto& t : targets) {
        if (status != 0)
            break;
        t->host.id = t->window;
        t->host.mayVanish = t->window == foreign.window;
        ScreenRect frame;
        if (!X11WindowFrame(display, t->window, &frame)) {
            std::fprintf(stderr, "zarnet: the window can't be measured\n");
            status = 1;
            break;
        }
        t->view = driver.Add(std::make_unique<ZarnetView>(&backend, &t->host), frame, options.preview);
        if (!t->view || !t->view->glView) {
            std::fprintf(stderr, "zarnet: no OpenGL for the window\n");
            status = 1;
            break;
        }
        if (t->window == foreign.window)
            foreign.drawable = X11SurfaceDrawable(t->view->glView);
        if (options.showFps) {
            Target* self = t.get();
            t->view->glView->beforeFlush = [self]() {
                self->fps.Frame(MonotonicSeconds());
                self->fps.Draw(self->size.width, self->size.height);
            };
        }
    }
    if (status == 0) {
        for (auto& t : targets)
            if (t->own)
                XMapRaised(display, t->window);
        XSync(display, False);
        for (auto& t : targets) {
            t->size = WindowSize(display, t->window);
            driver.Resize(t->view, t->size);
        }
        driver.Start();
    }

    bool running = status == 0;
    while (running) {
        double now = backend.monotonicSeconds(backend.desktop);
        int timeout = static_cast<int>(std::ceil(driver.Wait(now) * 1000.0));
        if (timeout < 0 || XPending(display))
            timeout = 0;
        pollfd fds[2] = {{endWatch.wakeFd(), POLLIN, 0}, {ConnectionNumber(display), POLLIN, 0}};
        poll(fds, 2, timeout);
        if (endWatch.signal() != 0)
            break;
        while (running && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            for (auto& t : targets) {
                if (event.xany.window != t->window)
                    continue;
                if (event.type == ConfigureNotify) {
                    const ViewSize size{event.xconfigure.width, event.xconfigure.height};
                    if (size.width != t->size.width || size.height != t->size.height) {
                        t->size = size;
                        driver.Resize(t->view, size);
                    }
                } else if (event.type == DestroyNotify && event.xdestroywindow.window == t->window) {
                    running = false;  // XScreenSaver took its window away
                    t->window = 0;
                } else if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == wmDelete) {
                    running = false;
                } else if (event.type == KeyPress && t->own) {
                    const KeySym key = XLookupKeysym(&event.xkey, 0);
                    if (key == XK_Escape || key == XK_q)
                        running = false;
                }
            }
        }
        if (foreign.gone)
            running = false;
        if (running)
            driver.Tick(backend.monotonicSeconds(backend.desktop));
    }

    // The host's end: every timer stops, then the views go (each makes its
    // context current and releases its engine). A window that isn't ours may
    // be gone already (its owner signalled us and went on): the GL objects
    // are released off it.
    driver.Release([&](ScreenSaverView& view) {
        for (auto& t : targets)
            if (t->view == &view && !t->own && t->window != root)
                X11SurfaceLeaveWindow(t->view->glView);
    });
    for (auto& t : targets) {
        t->view = nullptr;
        if (t->own && t->window)
            XDestroyWindow(display, t->window);
        if (t->colormap)
            XFreeColormap(display, t->colormap);
    }
    targets.clear();
    XCloseDisplay(display);
    endWatch.Done();
    g_foreign = nullptr;
    if (const int endSignal = endWatch.signal(); endSignal != 0) {
        // Killed by the host, cleaned up: end by that signal as the host
        // expects, so it sees a normal kill rather than an odd exit.
        signal(endSignal, SIG_DFL);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, endSignal);
        sigprocmask(SIG_UNBLOCK, &set, nullptr);
        raise(endSignal);
    }
    return status;
}
