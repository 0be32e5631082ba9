#include "apps/zarnet_options.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseDouble(const char* text, double low, double high, double* value)
{
    if (!text)
        return false;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v) || v < low || v > high)
        return false;
    *value = v;
    return true;
}

bool ParseWindowId(const char* text, unsigned long* id)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 0);  // decimal or 0x hex
    if (*end != '\0' || v == 0)
        return false;
    *id = v;
    return true;
}

bool ParseSize(const char* text, int* width, int* height)
{
    if (!text)
        return false;
    char* end = nullptr;
    const long w = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X'))
        return false;
    const char* second = end + 1;
    const long h = std::strtol(second, &end, 10);
    if (end == second || *end != '\0' || w < 16 || h < 16 || w > 8192 || h > 8192)
        return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

// The options that take a number: its range, whether it must be whole, what
// to say when it isn't one of those, and where it goes.
struct NumberOption {
    const char* name;
    double low, high;
    bool whole;
    const char* need;
    void (*store)(ZarnetOptions* options, double value);
};

constexpr double kMonth = 31.0 * 86400.0;  // the longest simulated run, seconds

const NumberOption kNumberOptions[] = {
    {"--fps", 1.0, 1000.0, false, "needs frames per second (1 to 1000)",
     [](ZarnetOptions* o, double v) { o->fps = v; }},
    {"--seconds", 0.0, kMonth, false, "needs seconds (0 to 2678400, 31 days)",
     [](ZarnetOptions* o, double v) { o->seconds = v; }},
    {"--seed", 0.0, 4294967295.0, true, "needs a whole number (0 to 4294967295)",
     [](ZarnetOptions* o, double v) {
         o->seed = static_cast<unsigned>(v);
         o->haveSeed = true;
     }},
    {"--every", 1.0, 1e6, true, "needs a whole number from 1",
     [](ZarnetOptions* o, double v) { o->every = static_cast<int>(v); }},
    {"--cycles", 0.0, 1e6, true, "needs a whole number",
     [](ZarnetOptions* o, double v) { o->cycles = static_cast<int>(v); }},
    {"--picture-change-every", 1.0, kMonth, false, "needs simulated seconds (1 to 2678400)",
     [](ZarnetOptions* o, double v) { o->pictureChangeEvery = v; }},
    {"--resize-every", 1.0, kMonth, false, "needs simulated seconds (1 to 2678400)",
     [](ZarnetOptions* o, double v) { o->resizeEvery = v; }},
    {"--sample-every", 1.0, kMonth, false, "needs simulated seconds (1 to 2678400)",
     [](ZarnetOptions* o, double v) { o->sampleEvery = v; }},
};

// The options that take a file or folder name, and what to say when it is missing.
struct TextOption {
    const char* name;
    const char* need;
    std::string ZarnetOptions::*field;
};

const TextOption kTextOptions[] = {
    {"--record", "needs a folder", &ZarnetOptions::recordDir},
    {"--desktop-image", "needs a picture file", &ZarnetOptions::desktopImage},
    {"--desktop-picture", "needs a picture file", &ZarnetOptions::desktopPicture},
    {"--soak-report", "needs a file", &ZarnetOptions::soakReport},
};

template <class Option, size_t N> const Option* FindOption(const Option (&table)[N], const std::string& name)
{
    for (const Option& option : table)
        if (name == option.name)
            return &option;
    return nullptr;
}

// Reads `text` as `option` says into `options`; false when it isn't a number
// in range (`options` untouched).
bool ParseNumberOption(const NumberOption& option, const char* text, ZarnetOptions* options)
{
    double value = 0.0;
    if (!ParseDouble(text, option.low, option.high, &value) || (option.whole && value != std::floor(value)))
        return false;
    option.store(options, value);
    return true;
}

}  // namespace

const char* ZarnetUsage()
{
    return "usage: zarnet [--window-id ID | --root | --fullscreen] [--preview] [--fps] [--size WxH]\n"
           "       zarnet --record DIR [--size WxH] [--seconds S] [--fps N] [--seed N] [--every N]\n"
           "              [--cycles N] [--desktop-image FILE] [--desktop-picture FILE] [--stats] [--preview]\n"
           "              [--picture-change-every S] [--resize-every S] [--soak-report FILE] [--sample-every S]\n"
           "              [--wait-real-time]\n"
           "       zarnet --settings | --help | --version\n"
           "On a display zarnet draws into the window given by --window-id (or\n"
           "$XSCREENSAVER_WINDOW, which --root also means when set), the root window,\n"
           "one full-screen window per monitor, or a window of its own. --record renders\n"
           "a fixed-step run to PNG files without any display. The saver's settings are\n"
           "edited in zarnet-settings. Options also take XScreenSaver's single-dash form.\n"
           "  --window-id ID  draw into window ID (decimal or 0x hex)\n"
           "  --root          draw into the root window ($XSCREENSAVER_WINDOW when set)\n"
           "  --fullscreen    one full-screen window per monitor\n"
           "  --preview       a preview view: no overlay, a small grab\n"
           "  --fps           show the frame rate and CPU load (with --record: N frames a second)\n"
           "  --size WxH      size of the own window, or of the recorded frames\n"
           "  --settings      run zarnet-settings\n"
           "  --help          print this text\n"
           "  --version       print the version\n";
}

bool ParseZarnetOptions(int argc, char** argv, const char* envWindow, ZarnetOptions* options, std::string* error)
{
    // --fps is a switch on a display and takes the frame rate when recording.
    bool recording = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--record") == 0 || std::strcmp(argv[i], "-record") == 0)
            recording = true;

    bool targetGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name.size() > 1 && name[0] == '-' && name[1] != '-')
            name = "-" + name;  // XScreenSaver's single-dash form
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto bad = [&](const char* what) {
            *error = name + ": " + what;
            return false;
        };
        if (name == "--window-id") {
            if (!ParseWindowId(value, &options->windowId))
                return bad("needs a window id (decimal or 0x hex)");
            options->target = ZarnetOptions::Target::WindowId;
            targetGiven = true;
            ++i;
        } else if (name == "--root") {
            // Under XScreenSaver (and the screensavers that follow it) the
            // "root" is the window named by XSCREENSAVER_WINDOW: see below.
            if (!targetGiven)
                options->target = ZarnetOptions::Target::Root;
        } else if (name == "--fullscreen") {
            options->target = ZarnetOptions::Target::FullScreen;
            targetGiven = true;
        } else if (name == "--preview") {
            options->preview = true;
        } else if (name == "--settings") {
            options->settings = true;
        } else if (name == "--fps" && !recording) {
            options->showFps = true;
        } else if (const NumberOption* number = FindOption(kNumberOptions, name)) {
            if (!ParseNumberOption(*number, value, options))
                return bad(number->need);
            ++i;
        } else if (const TextOption* text = FindOption(kTextOptions, name)) {
            if (!value || !*value)
                return bad(text->need);
            options->*text->field = value;
            ++i;
        } else if (name == "--size") {
            if (!ParseSize(value, &options->width, &options->height))
                return bad("needs WxH (16 to 8192 each)");
            ++i;
        } else if (name == "--wait-real-time") {
            options->waitRealTime = true;
        } else if (name == "--stats") {
            options->stats = true;
        } else if (name == "--help" || name == "--h") {
            options->help = true;
            return true;
        } else if (name == "--version") {
            options->version = true;
            return true;
        } else {
            *error = "unknown option " + std::string(argv[i]);
            return false;
        }
    }
    if (!recording && (options->stats || options->haveSeed || options->every != 1 || options->cycles != 0 ||
                       !options->desktopImage.empty() || !options->desktopPicture.empty() ||
                       options->pictureChangeEvery != 0.0 || options->resizeEvery != 0.0 ||
                       !options->soakReport.empty() || options->sampleEvery != 600.0 || options->waitRealTime)) {
        *error = "--stats, --seed, --every, --cycles, --desktop-image, --desktop-picture, --picture-change-every, "
                 "--resize-every, --soak-report, --sample-every and --wait-real-time go with --record";
        return false;
    }
    if (!targetGiven && options->target != ZarnetOptions::Target::FullScreen && envWindow && *envWindow) {
        if (!ParseWindowId(envWindow, &options->windowId)) {
            *error = "XSCREENSAVER_WINDOW is no window id";
            return false;
        }
        options->target = ZarnetOptions::Target::WindowId;
    }
    return true;
}
