// Linux keeps a nice value per thread: setpriority on the thread's own id
// lowers this thread alone.
#include <sys/resource.h>
#include <unistd.h>

#include "platform/background_thread.h"

namespace {

// Weight about a tenth of a normal thread's under the kernel's fair
// scheduler: the decode keeps going under full load, at a fraction.
constexpr int kBackgroundNice = 10;

}  // namespace

void LowerCurrentThreadPriority()
{
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    if (current < kBackgroundNice)
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kBackgroundNice);
}
