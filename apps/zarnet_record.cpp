// The headless recorder: one view on a virtual screen, driven through the
// host contract with a manual clock stepped 1/fps per tick, its frames
// written as PNG files and, with --stats, its cycle reported as JSON lines.
// For long unattended runs it can force picture changes and size changes
// and sample what the process holds (--soak-report).
#include <GL/gl.h>
#include <dirent.h>
#include <malloc.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "apps/zarnet_drivers.h"
#include "engine/CycleWatch.h"
#include "engine/SSMAIN.h"
#include "host/HostDriver.h"
#include "host/ZarnetView.h"
#include "pictures/NextPicture.h"
#include "pictures/picture_decoder.h"
#include "pictures/png_writer.h"
#include "platform/clock.h"
#include "platform/headless_backend.h"
#include "puzzle/ONEPIECE.h"
#include "puzzle/ONEPUZZLE.h"

namespace {

constexpr int kDefaultWidth = 480;     // pixels
constexpr int kDefaultHeight = 300;    // pixels
constexpr double kStartTime = 1000.0;  // monotonic reading of the first tick, seconds

// Makes `path` and its missing parents.
bool MakeFolders(const std::string& path)
{
    for (size_t slash = 1; slash <= path.size(); ++slash) {
        if (slash < path.size() && path[slash] != '/')
            continue;
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Entries of a /proc folder, "." and ".." and the reader's own descriptor left out.
int CountEntries(const char* folder, bool ownDescriptor)
{
    DIR* dir = opendir(folder);
    if (!dir)
        return -1;
    int n = 0;
    while (const dirent* entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            ++n;
    closedir(dir);
    return ownDescriptor ? n - 1 : n;
}

// A "Name:   value kB" line of /proc/self/status; -1 when missing.
long StatusKb(const char* name)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, name, length) == 0 && line[length] == ':') {
            value = std::strtol(line + length + 1, nullptr, 10);
            break;
        }
    std::fclose(f);
    return value;
}

// Bytes the program holds from the allocator (every arena, mapped blocks
// included), kB: unlike resident memory, not raised by freed memory the
// allocator keeps for later.
long HeapKb()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

// Live GL names of the current context: textures and display lists. The
// name a fresh glGen* gives is taken too; every name up to past the highest
// seen so far is asked, since a GL may hand out freed names again.
struct GLNames {
    int textures = 0, lists = 0;
    unsigned nextTexture = 0, nextList = 0;
};

GLNames CountGLNames(unsigned* highest)
{
    GLNames names;
    glGenTextures(1, &names.nextTexture);
    glDeleteTextures(1, &names.nextTexture);
    names.nextList = glGenLists(1);
    if (names.nextList != 0)
        glDeleteLists(names.nextList, 1);
    *highest = std::max({*highest, names.nextTexture, names.nextList});
    const unsigned last = *highest + 1024;
    for (unsigned name = 1; name <= last; ++name) {
        if (glIsTexture(name)) {
            ++names.textures;
            *highest = std::max(*highest, name);
        }
        if (glIsList(name)) {
            ++names.lists;
            *highest = std::max(*highest, name);
        }
    }
    return names;
}

bool Finite(const VECTOR3D& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Pieces of the engine's board whose position, angles or rotation aren't finite.
int NonFinitePieces(const SSMAIN& engine)
{
    const ONEPUZZLE* puzzle = engine.puzzle;
    if (!puzzle || !puzzle->pieces)
        return 0;
    int bad = 0;
    for (int i = 0; i < puzzle->pieceCount; ++i) {
        const ONEPIECE& piece = puzzle->pieces[i];
        bool ok = Finite(piece.pos) && Finite(piece.angle);
        for (double m : piece.rotation.m)
            ok = ok && std::isfinite(m);
        bad += ok ? 0 : 1;
    }
    return bad;
}

// Frame times in a fixed histogram (no allocation while running, so it
// can't make the memory it samples grow): bins of 0.05 ms up to 5 s.
class FrameTimes {
public:
    FrameTimes() : bins_(kBins, 0) {}
    void Add(double ms)
    {
        const long bin = std::lround(std::max(0.0, ms) / kBinMs);
        ++bins_[static_cast<size_t>(std::min<long>(bin, kBins - 1))];
        ++count_;
        max_ = std::max(max_, ms);
    }
    // The time that a share `q` of the frames doesn't exceed, ms.
    double Quantile(double q) const
    {
        const long long want = std::max<long long>(1, std::llround(q * static_cast<double>(count_)));
        long long seen = 0;
        for (size_t i = 0; i < bins_.size(); ++i)
            if ((seen += bins_[i]) >= want)
                return static_cast<double>(i) * kBinMs;
        return max_;
    }
    // Frames longer than `ms`.
    long long Over(double ms) const
    {
        long long n = 0;
        for (size_t i = static_cast<size_t>(std::max(0.0, ms / kBinMs)) + 1; i < bins_.size(); ++i)
            n += bins_[i];
        return n;
    }
    double max() const { return max_; }

private:
    static constexpr double kBinMs = 0.05;
    static constexpr long kBins = 100000;
    std::vector<long long> bins_;
    long long count_ = 0;
    double max_ = 0.0;
};

// The sizes a view is given in turn with --resize-every: the recorded size,
// one wider, one turned on its side.
ViewSize SizeNumber(int n, int width, int height)
{
    switch (n % 3) {
    case 1:
        return ViewSize{std::max(16, width * 3 / 2), std::max(16, height * 3 / 4)};
    case 2:
        return ViewSize{std::max(16, height), std::max(16, width)};
    default:
        return ViewSize{width, height};
    }
}

}  // namespace

int RunRecord(const ZarnetOptions& options)
{
    const int width = options.width > 0 ? options.width : kDefaultWidth;
    const int height = options.height > 0 ? options.height : kDefaultHeight;
    if (!MakeFolders(options.recordDir)) {
        std::fprintf(stderr, "zarnet: can't make the folder %s\n", options.recordDir.c_str());
        return 1;
    }

    HeadlessDesktop desktop;
    desktop.screens = MakeVirtualScreens({ScreenRect{0, 0, width, height}}, 0);
    const double wallStart = options.haveSeed ? static_cast<double>(options.seed) : WallSeconds();
    desktop.monotonic = kStartTime;
    desktop.wall = wallStart;
    if (!options.desktopImage.empty()) {
        int imageWidth = 0, imageHeight = 0;
        std::vector<unsigned char> image;
        if (!DecodePictureFileRgba(options.desktopImage.c_str(), &imageWidth, &imageHeight, &image)) {
            std::fprintf(stderr, "zarnet: can't read the desktop image %s\n", options.desktopImage.c_str());
            return 1;
        }
        SetDesktopImage(&desktop, imageWidth, imageHeight, std::move(image));
    }
    if (!options.desktopPicture.empty())
        desktop.background = DesktopBackgroundFromPath(options.desktopPicture.c_str());

    const SaverBackend backend = ConnectHeadless(&desktop);
    SaverWindow window;
    window.size = ViewSize{width, height};
    HostDriver driver;
    ZarnetView* view =
        driver.Add(std::make_unique<ZarnetView>(&backend, &window), ScreenRect{0, 0, width, height}, options.preview);
    if (!view || !view->glView) {
        std::fprintf(stderr, "zarnet: no view could be made (no headless OpenGL?)\n");
        return 1;
    }
    const SaverSurface* surface = view->glView;
    driver.Resize(view, ViewSize{width, height});
    driver.Start();

    if (options.stats)
        std::printf("{\"t\":0.000,\"event\":\"start\",\"width\":%d,\"height\":%d,\"fps\":%g,\"seed\":%.0f,"
                    "\"source\":%d,\"puzzleWidth\":%d,\"percentage\":%d,\"lockInPlace\":%s}\n",
                    width, height, options.fps, wallStart, view->mySettings.BGTYPE, view->mySettings.PUZZLEWIDTH,
                    view->mySettings.PERCENTAGE, view->mySettings.LOCKINPLACE ? "true" : "false");

    FILE* report = nullptr;
    if (!options.soakReport.empty() && !(report = std::fopen(options.soakReport.c_str(), "w"))) {
        std::fprintf(stderr, "zarnet: can't write %s\n", options.soakReport.c_str());
        return 1;
    }

    const double step = 1.0 / options.fps;
    const long long ticks = std::llround(options.seconds * options.fps);
    CycleWatch watch;
    const double realStart = MonotonicSeconds();
    long long drawn = 0, saved = 0;
    int status = 0;
    double lastTime = 0.0;  // time of the last frame drawn, seconds
    double stopAt = -1.0;   // time to end early (--cycles), seconds; < 0 = not yet known

    // The soak's own records.
    FrameTimes frameTimes;
    // Assembling times in a histogram of the same kind, one unit standing
    // for 200 s (a bin for 10 s).
    constexpr double kSecondsPerUnit = 200.0;
    FrameTimes assemblingTimes;
    double nextChange = options.pictureChangeEvery > 0.0 ? options.pictureChangeEvery : -1.0;
    double nextResize = options.resizeEvery > 0.0 ? options.resizeEvery : -1.0;
    double nextSample = 0.0;
    int forcedChanges = 0, resizes = 0, samples = 0;
    long long nonFiniteFrames = 0, framesSinceSample = 0;
    double assemblingSince = -1.0;  // time the current board began assembling; < 0 = not assembling
    double longestAssembling = 0.0, maxSinceSample = 0.0, firstFrameMs = 0.0, longestFrameAt = 0.0;
    int assembled = 0, assemblingCut = 0;
    unsigned highestName = 0;
    auto sample = [&](double t) {
        const GLNames names = CountGLNames(&highestName);
        std::fprintf(
            report,
            "{\"t\":%.1f,\"sample\":%d,\"wallS\":%.1f,\"frames\":%lld,\"cycles\":%d,\"boards\":%d,"
            "\"rssKb\":%ld,\"hwmKb\":%ld,\"heapKb\":%ld,\"fds\":%d,\"threads\":%d,\"textures\":%d,\"lists\":%d,"
            "\"nextTexture\":%u,\"nextList\":%u,\"maxFrameMs\":%.2f,\"nonFiniteFrames\":%lld}\n",
            t, samples++, MonotonicSeconds() - realStart, drawn, watch.cycles(), watch.boards(), StatusKb("VmRSS"),
            StatusKb("VmHWM"), HeapKb(), CountEntries("/proc/self/fd", true), CountEntries("/proc/self/task", false),
            names.textures, names.lists, names.nextTexture, names.nextList, maxSinceSample, nonFiniteFrames);
        std::fflush(report);
        maxSinceSample = 0.0;
        framesSinceSample = 0;
    };

    for (long long tick = 0; tick <= ticks && view->isAnimating(); ++tick) {
        const double t = static_cast<double>(tick) * step;
        if (stopAt >= 0.0 && t > stopAt)
            break;
        desktop.monotonic = kStartTime + t;
        desktop.wall = wallStart + t;
        if (nextChange >= 0.0 && t >= nextChange) {
            // As the puzzle itself asks near the end of a countdown.
            nextChange += options.pictureChangeEvery;
            if (view->ssMain && view->ssMain->puzzle && view->mySettings.BGTYPE == 2 &&
                !view->ssMain->puzzle->newPicture) {
                view->ssMain->puzzle->newPicture = true;
                ++forcedChanges;
            }
        }
        if (nextResize >= 0.0 && t >= nextResize) {
            nextResize += options.resizeEvery;
            driver.Resize(view, SizeNumber(++resizes, width, height));
        }
        const long long before = surface->flushCount;
        const double started = MonotonicSeconds();
        driver.Draw();
        if (surface->flushCount == before)
            continue;
        const double ms = (MonotonicSeconds() - started) * 1000.0;
        // While the next picture is made on the worker, the board stands; a
        // display would show it for as long as the decoding takes, so the
        // step takes that long here too, rather than the fraction of it
        // that drawing a small view takes.
        if (options.waitRealTime && view->ssMain && view->ssMain->nextPicture && view->ssMain->nextPicture->Pending()) {
            const double left = step - (MonotonicSeconds() - started);
            if (left > 0.0) {
                const timespec pause{static_cast<time_t>(left), static_cast<long>(std::fmod(left, 1.0) * 1e9)};
                nanosleep(&pause, nullptr);
            }
        }
        ++drawn;
        lastTime = t;
        if (view->ssMain) {
            std::string lines;
            watch.Observe(*view->ssMain, t, tick, ms, &lines);
            if (options.stats)
                std::fputs(lines.c_str(), stdout);
            if (options.cycles > 0 && stopAt < 0.0 && watch.cycles() >= options.cycles)
                stopAt = t + 1.0;  // a second of the new scatter
            if (report) {
                // The first frame builds the engine: no frame of the animation.
                if (drawn == 1)
                    firstFrameMs = ms;
                else
                    frameTimes.Add(ms);
                maxSinceSample = std::max(maxSinceSample, ms);
                if (drawn > 1 && ms >= frameTimes.max())
                    longestFrameAt = t;
                ++framesSinceSample;
                if (NonFinitePieces(*view->ssMain) > 0)
                    ++nonFiniteFrames;
                // Assembling runs from the end of the scatter to the
                // countdown; a new board before that cuts it short.
                if (lines.find("\"event\":\"countdown\"") != std::string::npos && assemblingSince >= 0.0) {
                    longestAssembling = std::max(longestAssembling, t - assemblingSince);
                    assemblingTimes.Add((t - assemblingSince) / kSecondsPerUnit);
                    ++assembled;
                    assemblingSince = -1.0;
                }
                if (lines.find("\"event\":\"new-board\"") != std::string::npos && assemblingSince >= 0.0) {
                    ++assemblingCut;
                    assemblingSince = -1.0;
                }
                if (lines.find("\"event\":\"assembling\"") != std::string::npos)
                    assemblingSince = t;
                // Sampled while no picture is being made, so that a file
                // the worker happens to be reading isn't counted.
                const bool making = view->ssMain->nextPicture && view->ssMain->nextPicture->Pending();
                if (t >= nextSample && !making) {
                    sample(t);
                    nextSample = t + options.sampleEvery;
                }
            }
        }
        if ((drawn - 1) % options.every != 0)
            continue;
        char name[64];
        std::snprintf(name, sizeof name, "/frame-%06lld.png", tick);
        const std::string path = options.recordDir + name;
        std::vector<uint8_t> pixels = HeadlessReadPixels(surface);
        // A screen has no transparency: what the frame buffer holds as
        // alpha is no part of the picture.
        for (size_t i = 3; i < pixels.size(); i += 4)
            pixels[i] = 255;
        const ViewSize size = backend.size(surface);
        if (pixels.empty() || !WritePNG(path.c_str(), size.width, size.height, pixels.data())) {
            std::fprintf(stderr, "zarnet: can't write %s\n", path.c_str());
            status = 1;
            break;
        }
        ++saved;
    }
    if (report) {
        if (framesSinceSample > 0 && view->ssMain &&
            !(view->ssMain->nextPicture && view->ssMain->nextPicture->Pending()))
            sample(lastTime);
        const double median = frameTimes.Quantile(0.5);
        std::fprintf(report,
                     "{\"t\":%.1f,\"event\":\"soak-end\",\"wallS\":%.1f,\"frames\":%lld,\"cycles\":%d,"
                     "\"boards\":%d,\"blowAparts\":%d,\"countdowns\":%d,\"forcedChanges\":%d,\"resizes\":%d,"
                     "\"assembled\":%d,\"assemblingCut\":%d,\"stillAssembling\":%s,\"assemblingNowS\":%.1f,"
                     "\"longestAssemblingS\":%.1f,\"medianAssemblingS\":%.0f,\"p99AssemblingS\":%.0f,"
                     "\"nonFiniteFrames\":%lld,\"firstFrameMs\":%.2f,\"medianFrameMs\":%.2f,\"p99FrameMs\":%.2f,"
                     "\"p999FrameMs\":%.2f,\"maxFrameMs\":%.2f,\"maxFrameT\":%.1f,\"framesOver2xMedian\":%lld,"
                     "\"hwmKb\":%ld}\n",
                     lastTime, MonotonicSeconds() - realStart, drawn, watch.cycles(), watch.boards(),
                     watch.blowAparts(), watch.countdowns(), forcedChanges, resizes, assembled, assemblingCut,
                     assemblingSince >= 0.0 ? "true" : "false",
                     assemblingSince >= 0.0 ? lastTime - assemblingSince : 0.0, longestAssembling,
                     assemblingTimes.Quantile(0.5) * kSecondsPerUnit, assemblingTimes.Quantile(0.99) * kSecondsPerUnit,
                     nonFiniteFrames, firstFrameMs, median, frameTimes.Quantile(0.99), frameTimes.Quantile(0.999),
                     frameTimes.max(), longestFrameAt, frameTimes.Over(2.0 * median), StatusKb("VmHWM"));
        if (std::fclose(report) != 0) {
            std::fprintf(stderr, "zarnet: can't write %s\n", options.soakReport.c_str());
            status = 1;
        }
    }
    driver.Release();  // stops the timer, then releases the engine with its context current

    if (options.stats) {
        std::printf("{\"t\":%.3f,\"event\":\"end\",\"frames\":%lld,\"saved\":%lld,\"boards\":%d,"
                    "\"blowAparts\":%d,\"countdowns\":%d,\"cycles\":%d}\n",
                    lastTime, drawn, saved, watch.boards(), watch.blowAparts(), watch.countdowns(), watch.cycles());
    }
    std::fflush(stdout);
    std::fprintf(stderr, "zarnet: %lld frames drawn, %lld saved in %s\n", drawn, saved, options.recordDir.c_str());
    return status;
}
