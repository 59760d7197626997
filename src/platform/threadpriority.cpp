// SPDX-License-Identifier: MIT
#include "platform/threadpriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void lowerCurrentThreadPriority()
{
    // On Linux the nice value belongs to the thread; failing to lower it only costs responsiveness.
    const auto self = id_t(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, self, 10);
}
