// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// Memory figures of this process, for the benchmarks.
quint64 peakResidentBytes();
quint64 currentResidentBytes();
// Hands memory that was freed but kept by the allocator back to the system, so that a measurement that
// follows starts from what is really in use.
void releaseFreedMemory();
// CPU time the calling thread has used, in nanoseconds.
qint64 threadCpuNanoseconds();
// How long the calling thread waited for a processor while it could run, since it started (0 where unknown).
qint64 threadRunQueueNanoseconds();
