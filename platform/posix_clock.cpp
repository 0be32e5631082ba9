#include "platform/clock.h"

#include <time.h>

namespace {

double Read(clockid_t id)
{
    struct timespec t = {0, 0};
    clock_gettime(id, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

double SystemClock::MonotonicSeconds()
{
    return Read(CLOCK_MONOTONIC);
}

double SystemClock::WallSeconds()
{
    return Read(CLOCK_REALTIME);
}

ManualClock::ManualClock(double monotonic, double wall) : monotonic_(monotonic), wall_(wall) {}

double ManualClock::MonotonicSeconds()
{
    return monotonic_;
}

double ManualClock::WallSeconds()
{
    return wall_;
}

void ManualClock::Advance(double seconds)
{
    monotonic_ += seconds;
    wall_ += seconds;
}

void ManualClock::SetMonotonic(double seconds)
{
    monotonic_ = seconds;
}

void ManualClock::SetWall(double seconds)
{
    wall_ = seconds;
}
