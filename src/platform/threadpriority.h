// SPDX-License-Identifier: MIT
#pragma once

// Lets the calling worker thread yield the processor to the window's thread: a background job that keeps every
// core busy must not make the window wait for a time slice.
void lowerCurrentThreadPriority();
