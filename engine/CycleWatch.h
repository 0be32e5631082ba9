#pragma once
#include <string>

class SSMAIN;
class ONEPUZZLE;

// Watches an engine's puzzle from outside, frame by frame, and tells the
// events of its cycle as JSON lines (one object per line, "t" in seconds of
// the view's time): "new-board", "blow-apart", "assembling" (the scatter is
// over), "countdown" (one group holds nearly the whole board), "new-picture"
// (the puzzle asks for the next picture), and once a second "status" with
// the largest group's share, the number of groups and the frame time. Reads
// fields only, so it watches a bare puzzle as well as an engine's.
class CycleWatch {
public:
    // Looks at `engine` after the frame `frame` drawn at time `t`, which took
    // `frameMs` milliseconds of real time, and appends the lines of what
    // changed since the previous call to `*out`.
    void Observe(const SSMAIN& engine, double t, long long frame, double frameMs, std::string* out);
    // The same for a puzzle cut from a pictureWidth x pictureHeight picture
    // (null: no puzzle).
    void Observe(const ONEPUZZLE* puzzle, int pictureWidth, int pictureHeight, double t, long long frame,
                 double frameMs, std::string* out);

    int boards() const { return boards_; }          // boards seen, the first included
    int blowAparts() const { return blowAparts_; }  // boards blown apart
    int countdowns() const { return countdowns_; }  // countdowns started
    // True once a countdown has run out: a board was assembled, counted
    // down and blown apart again.
    bool completedCycle() const { return cycles_ > 0; }
    int cycles() const { return cycles_; }  // countdowns that ran out

private:
    const void* puzzle_ = nullptr;  // puzzle seen last (identity only)
    const void* pieces_ = nullptr;  // its piece array seen last (identity only)
    float timer_ = 0.0f;            // restartTimer seen last
    bool request_ = false;          // newPicture seen last
    bool counting_ = false;         // a countdown has started and not yet run out
    double nextStatus_ = 1.0;       // time of the next status line, seconds
    double msSum_ = 0.0;            // frame times since the last status line, ms
    int msFrames_ = 0;              // frames in msSum_
    int boards_ = 0;
    int blowAparts_ = 0;
    int countdowns_ = 0;
    int cycles_ = 0;
};

// The share of the board's pieces in its largest group, found by walking
// every piece's parent chain; 0 without pieces. `groups` (if given) gets the
// number of groups, single pieces included.
double LargestGroupShare(const ONEPUZZLE* puzzle, int* groups = nullptr);
double LargestGroupShare(const SSMAIN& engine);
