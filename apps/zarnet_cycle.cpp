// zarnet-cycle: runs the puzzle's cycle headless, without GL and without
// piece shapes, at fixed 1/60 s steps, and prints its events as one JSON
// object per line: each new board, the blow-apart, the end of scattering,
// the start of the countdown, the new-picture request, and every few
// simulated seconds the state of the board. The new-picture request is
// answered as the folder picture source does: a new board is cut.
//
//   zarnet-cycle [--seconds S] [--seed N] [--width W] [--height H] [--puzzle-width P]
//
// W x H is both the picture's and the view's size in pixels.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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
constexpr double kStatusEvery = 5.0;   // seconds between status lines

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

// Share of the board in the largest group, by walking every chain.
double LargestGroupShare(const ONEPUZZLE& puzzle, int* groups)
{
    std::vector<int> members(puzzle.pieceCount, 0);
    *groups = 0;
    int largest = 0;
    for (int i = 0; i < puzzle.pieceCount; ++i) {
        const ONEPIECE* p = &puzzle.pieces[i];
        for (int steps = 0; p->parent != nullptr && steps <= puzzle.pieceCount; ++steps)
            p = p->parent;
        const int root = static_cast<int>(p - puzzle.pieces);
        if (++members[root] == 1)
            ++*groups;
        if (members[root] > largest)
            largest = members[root];
    }
    return puzzle.pieceCount > 0 ? static_cast<double>(largest) / puzzle.pieceCount : 0.0;
}

const char* Phase(float timer, bool started)
{
    if (timer < 0.0f)
        return "scattering";
    if (timer == 21.0f)
        return "assembling";
    return started ? "finishing" : "starting";
}

void PrintBoard(double t, const ONEPUZZLE& puzzle)
{
    std::printf("{\"t\":%.3f,\"event\":\"new-board\",\"columns\":%d,\"rows\":%d,\"pieces\":%d,"
                "\"boardZ\":%.3f,\"boardScaleX\":%.4f,\"boardScaleY\":%.4f}\n",
                t, puzzle.columns, puzzle.rows, puzzle.pieceCount, puzzle.boardZ, puzzle.boardScaleX,
                puzzle.boardScaleY);
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
    PrintBoard(0.0, puzzle);

    const long passes = std::lround(options.seconds / kStep);
    bool started = false;  // the first board has been blown apart
    int boards = 1, cycles = 0;
    double nextStatus = kStatusEvery;
    for (long pass = 0; pass < passes; ++pass) {
        const double t = pass * static_cast<double>(kStep);
        if (puzzle.newPicture) {
            // Answered as the folder source answers it: a fresh board.
            if (!puzzle.NewPuzzle()) {
                std::fprintf(stderr, "zarnet-cycle: can't allocate the board\n");
                return 1;
            }
            ++boards;
            PrintBoard(t, puzzle);
        }
        const float before = puzzle.restartTimer;
        const bool requested = puzzle.newPicture;
        puzzle.Move(kStep);
        const float after = puzzle.restartTimer;
        const double now = t + kStep;
        if (before >= 0.0f && after < 0.0f) {
            if (started)
                ++cycles;
            started = true;
            std::printf("{\"t\":%.3f,\"event\":\"blow-apart\"}\n", now);
        }
        if (before < 0.0f && after == 21.0f)
            std::printf("{\"t\":%.3f,\"event\":\"assembling\"}\n", now);
        if (before == 21.0f && after < 21.0f)
            std::printf("{\"t\":%.3f,\"event\":\"countdown\",\"largestGroup\":%.4f}\n", now, puzzle.largestGroup);
        if (!requested && puzzle.newPicture)
            std::printf("{\"t\":%.3f,\"event\":\"new-picture\"}\n", now);
        if (now + 1e-9 >= nextStatus) {
            nextStatus += kStatusEvery;
            int groups = 0;
            const double share = LargestGroupShare(puzzle, &groups);
            std::printf("{\"t\":%.3f,\"event\":\"status\",\"phase\":\"%s\",\"timer\":%.3f,"
                        "\"largestGroup\":%.4f,\"largestShare\":%.4f,\"groups\":%d}\n",
                        now, Phase(after, started), after, puzzle.largestGroup, share, groups);
        }
    }
    std::printf("{\"t\":%.3f,\"event\":\"end\",\"boards\":%d,\"cycles\":%d}\n", passes * static_cast<double>(kStep),
                boards, cycles);
    return 0;
}
