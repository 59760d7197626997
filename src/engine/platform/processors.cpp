// SPDX-License-Identifier: MIT
#include "platform/processors.h"

#include "platform/posixfile.h"

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace fsys {

std::optional<ProcessorTimes> processorTimes()
{
    const UniqueFd stat(::open("/proc/stat", O_RDONLY | O_CLOEXEC));
    if (!stat.valid())
        return std::nullopt;
    // The first line sums every processor: "cpu user nice system idle iowait irq softirq steal ...".
    char line[512];
    const ssize_t n = ::read(stat.get(), line, sizeof line - 1);
    if (n <= 4)
        return std::nullopt;
    line[n] = '\0';
    if (line[0] != 'c' || line[1] != 'p' || line[2] != 'u' || line[3] != ' ')
        return std::nullopt;
    const char* p = line + 4;
    double fields[8] = {};
    for (double& field : fields) {
        char* end = nullptr;
        field = double(std::strtoull(p, &end, 10));
        if (end == p)
            return std::nullopt;
        p = end;
    }
    ProcessorTimes times;
    for (const double f : fields)
        times.all += f;
    times.busy = times.all - fields[3] - fields[4]; // idle, and waiting for storage
    return times;
}

} // namespace fsys
