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

double MonotonicSeconds()
{
    return Read(CLOCK_MONOTONIC);
}

double WallSeconds()
{
    return Read(CLOCK_REALTIME);
}
