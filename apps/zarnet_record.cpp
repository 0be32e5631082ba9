// The headless recorder: one view on a virtual screen, driven through the
// host contract with a manual clock stepped 1/fps per tick, its frames
// written as PNG files and, with --stats, its cycle reported as JSON lines.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "apps/zarnet_drivers.h"
#include "engine/SSMAIN.h"
#include "host/CycleWatch.h"
#include "host/ZarnetView.h"
#include "platform/clock.h"
#include "platform/egl_surface.h"
#include "platform/null_saver_platform.h"
#include "platform/png_writer.h"

namespace {

constexpr int kDefaultWidth = 480;   // pixels
constexpr int kDefaultHeight = 300;  // pixels
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

}  // namespace

int RunRecord(const ZarnetOptions& options)
{
    const int width = options.width > 0 ? options.width : kDefaultWidth;
    const int height = options.height > 0 ? options.height : kDefaultHeight;
    if (!MakeFolders(options.recordDir)) {
        std::fprintf(stderr, "zarnet: can't make the folder %s\n", options.recordDir.c_str());
        return 1;
    }

    HeadlessSaverPlatform platform;
    platform.SetScreens(MakeVirtualScreens({ScreenRect{0, 0, width, height}}, 0));
    const double wallStart = options.haveSeed ? static_cast<double>(options.seed) : SystemClock().WallSeconds();
    ManualClock& clock = platform.manualClock();
    clock.SetMonotonic(kStartTime);
    clock.SetWall(wallStart);
    if (!options.desktopImage.empty() && !platform.LoadDesktopImage(options.desktopImage.c_str())) {
        std::fprintf(stderr, "zarnet: can't read the desktop image %s\n", options.desktopImage.c_str());
        return 1;
    }
    if (!options.desktopPicture.empty())
        platform.SetDesktopBackground(DesktopBackgroundFromPath(options.desktopPicture.c_str()));

    HeadlessViewWindow window(0, width, height);
    auto view = std::make_unique<ZarnetView>(&platform, &window);
    if (!view->initWithFrame(ScreenRect{0, 0, width, height}, options.preview) || !window.surface()) {
        std::fprintf(stderr, "zarnet: no view could be made (no headless OpenGL?)\n");
        return 1;
    }
    EglSurface* surface = window.surface();
    view->setFrameSize(ViewSize{width, height});
    view->startAnimation();

    if (options.stats)
        std::printf("{\"t\":0.000,\"event\":\"start\",\"width\":%d,\"height\":%d,\"fps\":%g,\"seed\":%.0f,"
                    "\"source\":%d,\"puzzleWidth\":%d,\"percentage\":%d,\"lockInPlace\":%s}\n",
                    width, height, options.fps, wallStart, view->mySettings.BGTYPE,
                    view->mySettings.PUZZLEWIDTH, view->mySettings.PERCENTAGE,
                    view->mySettings.LOCKINPLACE ? "true" : "false");

    const double step = 1.0 / options.fps;
    const long long ticks = std::llround(options.seconds * options.fps);
    CycleWatch watch;
    SystemClock realTime;
    long long drawn = 0, saved = 0;
    int status = 0;
    double lastTime = 0.0;  // time of the last frame drawn, seconds
    double stopAt = -1.0;  // time to end early (--cycles), seconds; < 0 = not yet known
    for (long long tick = 0; tick <= ticks && view->isAnimating(); ++tick) {
        const double t = static_cast<double>(tick) * step;
        if (stopAt >= 0.0 && t > stopAt)
            break;
        clock.SetMonotonic(kStartTime + t);
        clock.SetWall(wallStart + t);
        const long long before = surface->flushCount();
        const double started = realTime.MonotonicSeconds();
        view->animateOneFrame();
        if (surface->flushCount() == before)
            continue;
        const double ms = (realTime.MonotonicSeconds() - started) * 1000.0;
        ++drawn;
        lastTime = t;
        if (view->ssMain) {
            std::string lines;
            watch.Observe(*view->ssMain, t, tick, ms, &lines);
            if (options.stats)
                std::fputs(lines.c_str(), stdout);
            if (options.cycles > 0 && stopAt < 0.0 && watch.cycles() >= options.cycles)
                stopAt = t + 1.0;  // a second of the new scatter
        }
        if ((drawn - 1) % options.every != 0)
            continue;
        char name[64];
        std::snprintf(name, sizeof name, "/frame-%06lld.png", tick);
        const std::string path = options.recordDir + name;
        std::vector<uint8_t> pixels = surface->ReadPixels();
        // A screen has no transparency: what the frame buffer holds as
        // alpha is no part of the picture.
        for (size_t i = 3; i < pixels.size(); i += 4)
            pixels[i] = 255;
        if (pixels.empty() || !WritePNG(path.c_str(), surface->width(), surface->height(), pixels.data())) {
            std::fprintf(stderr, "zarnet: can't write %s\n", path.c_str());
            status = 1;
            break;
        }
        ++saved;
    }
    view->stopAnimation();
    view.reset();  // dealloc: releases the engine with its context current

    if (options.stats) {
        std::printf("{\"t\":%.3f,\"event\":\"end\",\"frames\":%lld,\"saved\":%lld,\"boards\":%d,"
                    "\"blowAparts\":%d,\"countdowns\":%d,\"cycles\":%d}\n",
                    lastTime, drawn, saved, watch.boards(), watch.blowAparts(),
                    watch.countdowns(), watch.cycles());
    }
    std::fflush(stdout);
    std::fprintf(stderr, "zarnet: %lld frames drawn, %lld saved in %s\n", drawn, saved,
                 options.recordDir.c_str());
    return status;
}
