// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

// Memory for big tables (a million result rows and their paths). Blocks of a few megabytes and more come
// straight from the system, grow without copying, and have their pages supplied ahead of the writes:
// touching fresh memory is what a million-row list would otherwise spend most of its time on.
void* allocateLarge(std::size_t bytes);
// A big block goes back to the system on the page supplier's thread (below) once that runs.
void freeLarge(void* p, std::size_t bytes);
// Grows or shrinks a block keeping its contents; a big block grows by remapping its pages, without copying
// them.
void* reallocateLarge(void* p, std::size_t oldBytes, std::size_t newBytes);
// Has the system supply the pages of a big block on a thread kept for it, so that whoever writes there first
// does not wait for them: on a virtual machine fresh memory can cost milliseconds a megabyte. Harmless on a
// block freed or moved meanwhile.
void prefaultLarge(void* p, std::size_t bytes);
// Starts that thread now rather than at the first request, so that it is there before any operation begins
// and is never taken for one of its threads. It ends when the program does.
void startPageSupplier();
// A block of whole huge pages where the system gives them (else ordinary ones), for memory written only by
// threads that may wait: one fault per two megabytes, not per page, where each fault costs the most (a
// virtual machine). Null when the system has no memory to give; bytes a multiple of LargePage.
void* allocateInHugePages(std::size_t bytes);
void freeInHugePages(void* p, std::size_t bytes);
// True when a block of this many bytes comes straight from the system (and prefaultLarge applies to it).
bool isMappedLarge(std::size_t bytes);
// The step in which big blocks are sized and their pages asked for ahead.
inline constexpr std::size_t LargePage = std::size_t(2) << 20;
