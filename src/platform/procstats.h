// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// Memory figures of this process, for the benchmarks.
quint64 peakResidentBytes();
quint64 currentResidentBytes();
