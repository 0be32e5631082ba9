// Linux keeps a nice value per thread: setpriority on the thread's own id
// lowers this thread alone.
#include <sys/resource.h>
#include <unistd.h>

#include "platform/background_thread.h"

namespace {

// Ten nice steps below the thread that calls: under the kernel's fair
// scheduler about a tenth of its weight, so the decode keeps going under
// full load, at a fraction.
constexpr int kBackgroundSteps = 10;
constexpr int kLowestNice = 19;

}  // namespace

void LowerCurrentThreadPriority()
{
    const id_t self = static_cast<id_t>(gettid());
    const int current = getpriority(PRIO_PROCESS, self);  // -1 on failure reads as a nice value: harmless
    const int lowered = current + kBackgroundSteps > kLowestNice ? kLowestNice : current + kBackgroundSteps;
    setpriority(PRIO_PROCESS, self, lowered);
}
