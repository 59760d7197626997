// SPDX-License-Identifier: MIT
#pragma once

namespace fsys {

// Has the calling thread, and only it, yield to the process's other threads when processors are short: a
// window's thread then gets a processor the moment it wants one, even while threads of this kind keep
// every processor busy. Doing it twice lowers nothing further. False where the system refuses.
bool giveWayToOtherThreads();

} // namespace fsys
