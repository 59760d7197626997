// SPDX-License-Identifier: MIT
#include "procstats.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <malloc.h>

quint64 peakResidentBytes()
{
    struct rusage usage;
    if (::getrusage(RUSAGE_SELF, &usage) != 0)
        return 0;
    return quint64(usage.ru_maxrss) * 1024;
}

quint64 currentResidentBytes()
{
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    unsigned long long size = 0, resident = 0;
    const int got = std::fscanf(f, "%llu %llu", &size, &resident);
    std::fclose(f);
    return got == 2 ? quint64(resident) * quint64(::sysconf(_SC_PAGESIZE)) : 0;
}

void releaseFreedMemory()
{
    ::malloc_trim(0);
}

qint64 threadRunQueueNanoseconds()
{
    FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f)
        return 0;
    unsigned long long ran = 0, waited = 0;
    const bool read = std::fscanf(f, "%llu %llu", &ran, &waited) == 2;
    std::fclose(f);
    return read ? qint64(waited) : 0;
}

qint64 threadCpuNanoseconds()
{
    struct timespec ts;
    if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0)
        return 0;
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
