// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

namespace fsys {

// The time all processors of the machine spent since it started, busy and in all, in the system's ticks.
struct ProcessorTimes
{
    double busy = 0;
    double all = 0;
};
// None where the system does not say.
std::optional<ProcessorTimes> processorTimes();

} // namespace fsys
