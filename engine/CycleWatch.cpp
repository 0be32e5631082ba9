#include "engine/CycleWatch.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "engine/SSMAIN.h"
#include "puzzle/ONEPUZZLE.h"

namespace {

void Append(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void Append(std::string* out, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    *out += line;
    *out += '\n';
}

// `counting`: a countdown has started on this board; before the first
// blow-apart the board stands whole, counting down to it.
const char* Phase(float timer, bool counting)
{
    if (timer < 0.0f)
        return "scattering";
    if (timer >= 21.0f)
        return "assembling";
    return counting ? "finishing" : "starting";
}

}  // namespace

double LargestGroupShare(const SSMAIN& engine)
{
    return LargestGroupShare(engine.puzzle);
}

double LargestGroupShare(const ONEPUZZLE* puzzle, int* groups)
{
    if (groups)
        *groups = 0;
    if (!puzzle || !puzzle->pieces || puzzle->pieceCount <= 0)
        return 0.0;
    std::vector<int> members(static_cast<size_t>(puzzle->pieceCount), 0);
    int largest = 0;
    for (int i = 0; i < puzzle->pieceCount; ++i) {
        const ONEPIECE* p = &puzzle->pieces[i];
        for (int steps = 0; p->parent && steps <= puzzle->pieceCount; ++steps)
            p = p->parent;
        const long root = p - puzzle->pieces;
        if (root < 0 || root >= puzzle->pieceCount)
            continue;
        const int count = ++members[static_cast<size_t>(root)];
        if (count == 1 && groups)
            ++*groups;
        if (count > largest)
            largest = count;
    }
    return static_cast<double>(largest) / puzzle->pieceCount;
}

void CycleWatch::Observe(const SSMAIN& engine, double t, long long frame, double frameMs, std::string* out)
{
    Observe(engine.puzzle, engine.pictureWidth, engine.pictureHeight, t, frame, frameMs, out);
}

void CycleWatch::Observe(const ONEPUZZLE* puzzle, int pictureWidth, int pictureHeight, double t, long long frame,
                         double frameMs, std::string* out)
{
    msSum_ += frameMs;
    ++msFrames_;
    if (!puzzle) {
        if (puzzle_)
            Append(out, "{\"t\":%.3f,\"frame\":%lld,\"event\":\"no-puzzle\"}", t, frame);
        puzzle_ = pieces_ = nullptr;
        return;
    }
    const float timer = puzzle->restartTimer;
    const bool request = puzzle->newPicture;
    // A board is new when the puzzle or its pieces were remade, or when a
    // picture request was answered before the countdown ran out (folder
    // source: NewPuzzle clears the request; the others clear it at the
    // blow-apart).
    const bool remade = puzzle != puzzle_ || puzzle->pieces != pieces_;
    const bool answered = request_ && !request && timer >= 0.0f;
    if (remade || answered) {
        ++boards_;
        Append(out,
               "{\"t\":%.3f,\"frame\":%lld,\"event\":\"new-board\",\"columns\":%d,\"rows\":%d,"
               "\"pieces\":%d,\"pictureWidth\":%d,\"pictureHeight\":%d}",
               t, frame, puzzle->columns, puzzle->rows, puzzle->pieceCount, pictureWidth, pictureHeight);
    }
    if (!remade) {
        if (!request_ && request)
            Append(out, "{\"t\":%.3f,\"frame\":%lld,\"event\":\"new-picture\"}", t, frame);
        if (timer_ >= 0.0f && timer < 0.0f) {
            ++blowAparts_;
            if (counting_)
                ++cycles_;
            counting_ = false;
            Append(out, "{\"t\":%.3f,\"frame\":%lld,\"event\":\"blow-apart\"}", t, frame);
        }
        if (timer_ < 0.0f && timer >= 21.0f)
            Append(out, "{\"t\":%.3f,\"frame\":%lld,\"event\":\"assembling\"}", t, frame);
        if (timer_ >= 21.0f && timer < 21.0f) {
            ++countdowns_;
            counting_ = true;
            Append(out, "{\"t\":%.3f,\"frame\":%lld,\"event\":\"countdown\",\"largestGroup\":%.4f}", t, frame,
                   puzzle->largestGroup);
        }
    }
    if (t + 1e-9 >= nextStatus_) {
        while (nextStatus_ <= t + 1e-9)
            nextStatus_ += 1.0;
        int groups = 0;
        const double share = LargestGroupShare(puzzle, &groups);
        Append(out,
               "{\"t\":%.3f,\"frame\":%lld,\"event\":\"status\",\"phase\":\"%s\",\"timer\":%.3f,"
               "\"largestGroup\":%.4f,\"largestShare\":%.4f,\"groups\":%d,\"frameMs\":%.2f}",
               t, frame, Phase(timer, counting_), timer, puzzle->largestGroup, share, groups,
               msFrames_ ? msSum_ / msFrames_ : 0.0);
        msSum_ = 0.0;
        msFrames_ = 0;
    }
    puzzle_ = puzzle;
    pieces_ = puzzle->pieces;
    timer_ = timer;
    request_ = request;
}
