// SPDX-License-Identifier: MIT
#include "platform/threadpriority.h"

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>
#include <unistd.h>

namespace fsys {

namespace {
// Five steps give a thread about a third of the weight of one at the process's own level: enough that a
// window's thread waits a few milliseconds for a processor where it waited tens behind two busy threads,
// and the threads still take every processor nothing else wants.
constexpr int Steps = 5;
constexpr int Lowest = 19;
} // namespace

bool giveWayToOtherThreads()
{
    // On Linux a thread's nice value is its own, and a thread starts with its creator's. Measured from the
    // process's first thread, so that a thread started by one that gave way already is not lowered again.
    errno = 0;
    const int process = ::getpriority(PRIO_PROCESS, id_t(::getpid()));
    if (process == -1 && errno != 0)
        return false;
    const id_t self = id_t(::gettid());
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, self);
    if (now == -1 && errno != 0)
        return false;
    const int wanted = std::min(process + Steps, Lowest);
    if (now >= wanted)
        return true;
    return ::setpriority(PRIO_PROCESS, self, wanted) == 0;
}

} // namespace fsys
