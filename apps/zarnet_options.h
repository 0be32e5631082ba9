#pragma once
#include <string>

// What the command line of `zarnet` asks for. Host options only: where to
// draw and how to run. The saver's settings come from the preference store.
struct ZarnetOptions {
    enum class Target {
        OwnWindow,   // a window of its own (default)
        WindowId,    // a window given by id (XScreenSaver)
        Root,        // the root window
        FullScreen,  // one full-screen window per monitor
    };
    Target target = Target::OwnWindow;
    unsigned long windowId = 0;  // --window-id / -window-id / $XSCREENSAVER_WINDOW
    bool preview = false;        // --preview: a preview view (no overlay, small grab)
    bool showFps = false;        // --fps on a display: frame rate and CPU load on screen
    bool settings = false;       // --settings: run the settings program instead
    bool help = false;           // --help / -h: print the usage and end
    bool version = false;        // --version: print the version and end
    int width = 0;               // --size W x H: own window size, or record size (pixels)
    int height = 0;

    // Headless recording.
    std::string recordDir;       // --record DIR; empty = draw on a display
    double seconds = 10.0;       // --seconds: simulated time to record
    double fps = 30.0;           // --fps N (with --record): fixed step 1/N seconds
    bool haveSeed = false;       // --seed given
    unsigned seed = 0;           // --seed N: the wall-clock seconds the views see at start
    int every = 1;               // --every N: save every N-th drawn frame
    std::string desktopImage;    // --desktop-image FILE: what the screen shows (source 0)
    std::string desktopPicture;  // --desktop-picture FILE: the wallpaper setting (source 1)
    bool stats = false;          // --stats: cycle events as JSON lines on stdout
    int cycles = 0;              // --cycles N: end 1 s after the N-th completed cycle (0 = never early)

    // Long unattended runs (with --record): forced picture changes and size
    // changes, and samples of what the process holds.
    double pictureChangeEvery = 0.0;  // --picture-change-every S: ask for the next folder picture every S s (0 = never)
    double resizeEvery = 0.0;         // --resize-every S: change the view's size every S s (0 = never)
    std::string soakReport;           // --soak-report FILE: samples and a summary as JSON lines
    double sampleEvery = 600.0;       // --sample-every S: simulated seconds between samples
    bool waitRealTime = false;        // --wait-real-time: ticks follow the real clock while a picture is made
};

// Parses argv (options in "--name" or XScreenSaver's "-name" form) and
// $XSCREENSAVER_WINDOW (`envWindow`, may be null). False, with `*error`
// saying why, on an unknown option or a bad value. --help and --version
// set their fields and end the parse (true).
bool ParseZarnetOptions(int argc, char** argv, const char* envWindow, ZarnetOptions* options, std::string* error);

// The usage text.
const char* ZarnetUsage();
