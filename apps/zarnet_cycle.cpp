// zarnet-cycle: runs the puzzle's cycle headless, without GL and without
// piece shapes, at fixed 1/60 s steps, and prints its events as one JSON
// object per line: each new board, the blow-apart, the end of scattering,
// the start of the countdown, the new-picture request, and every simulated
// second the state of the board (the lines of engine/CycleWatch). The
// new-picture request is answered as the folder picture source does: a new
// board is cut.
//
//   zarnet-cycle [--seconds S] [--seed N] [--width W] [--height H] [--puzzle-width P]
//
// W x H is both the picture's and the view's size in pixels.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/CycleWatch.h"
#include "puzzle/Frustum.h"
#include "puzzle/ONEPUZZLE.h"

namespace {

struct Options {
    double seconds = 300.0;  // simulated time
    unsigned seed = 1;       // srand seed
    int width = 1920;        // picture and view width, pixels
    int height = 1080;       // picture and view height, pixels
    int puzzleWidth = 25;    // pieces along the picture's longer side
};

constexpr float kStep = 1.0f / 60.0f;  // seconds per pass

void Usage()
{
    std::fprintf(stderr, "usage: zarnet-cycle [--seconds S] [--seed N] [--width W] [--height H] "
                         "[--puzzle-width P]\n");
}

bool ParseNumber(const char* text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(*value);
}

bool ParseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (i + 1 >= argc)
            return false;
        double value = 0.0;
        if (!ParseNumber(argv[++i], &value))
            return false;
        if (std::strcmp(name, "--seconds") == 0 && value >= 0.0 && value <= 1e7)
            options->seconds = value;
        else if (std::strcmp(name, "--seed") == 0 && value >= 0.0 && value <= 4294967295.0)
            options->seed = static_cast<unsigned>(value);
        else if (std::strcmp(name, "--width") == 0 && value >= 1.0 && value <= 65536.0)
            options->width = static_cast<int>(value);
        else if (std::strcmp(name, "--height") == 0 && value >= 1.0 && value <= 65536.0)
            options->height = static_cast<int>(value);
        else if (std::strcmp(name, "--puzzle-width") == 0 && value >= 1.0 && value <= 200.0)
            options->puzzleWidth = static_cast<int>(value);
        else
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Usage();
        return 2;
    }
    std::srand(options.seed);
    SetEngineFrustum(static_cast<float>(options.width) / static_cast<float>(options.height));

    ONEPUZZLE puzzle;
    puzzle.picWidth = options.width;
    puzzle.picHeight = options.height;
    puzzle.puzzleWidth = options.puzzleWidth;
    puzzle.finishFraction = 0.75f;
    puzzle.lockInPlace = true;
    if (!puzzle.NewPuzzle()) {
        std::fprintf(stderr, "zarnet-cycle: can't allocate the board\n");
        return 1;
    }
    std::printf("{\"t\":0.000,\"event\":\"start\",\"seed\":%u,\"width\":%d,\"height\":%d,"
                "\"puzzleWidth\":%d,\"seconds\":%.3f}\n",
                options.seed, options.width, options.height, options.puzzleWidth, options.seconds);

    CycleWatch watch;
    std::string lines;
    watch.Observe(&puzzle, options.width, options.height, 0.0, 0, 0.0, &lines);
    const long passes = std::lround(options.seconds / kStep);
    for (long pass = 0; pass < passes; ++pass) {
        if (puzzle.newPicture && !puzzle.NewPuzzle()) {
            // Answered as the folder source answers it: a fresh board.
            std::fprintf(stderr, "zarnet-cycle: can't allocate the board\n");
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        puzzle.Move(kStep);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        watch.Observe(&puzzle, options.width, options.height, (pass + 1) * static_cast<double>(kStep), pass + 1, ms,
                      &lines);
        std::fputs(lines.c_str(), stdout);
        lines.clear();
    }
    std::printf("{\"t\":%.3f,\"event\":\"end\",\"boards\":%d,\"cycles\":%d}\n", passes * static_cast<double>(kStep),
                watch.boards(), watch.cycles());
    return 0;
}
