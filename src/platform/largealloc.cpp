// SPDX-License-Identifier: MIT
#include "platform/largealloc.h"

#include <cstring>
#include <new>

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <thread>

namespace {
constexpr std::size_t Threshold = std::size_t(4) << 20;
constexpr std::size_t HugePage = std::size_t(2) << 20;

std::size_t mappedSize(std::size_t bytes)
{
    return (bytes + HugePage - 1) / HugePage * HugePage;
}
} // namespace

void* allocateLarge(std::size_t bytes)
{
    if (bytes == 0)
        return nullptr;
    if (bytes < Threshold) {
        if (void* p = std::malloc(bytes))
            return p;
        throw std::bad_alloc();
    }
    const std::size_t size = mappedSize(bytes);
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    ::madvise(p, size, MADV_HUGEPAGE); // a hint: without huge pages the memory works all the same
    return p;
}

void freeLarge(void* p, std::size_t bytes)
{
    if (!p)
        return;
    if (bytes < Threshold)
        std::free(p);
    else
        ::munmap(p, mappedSize(bytes));
}

void* reallocateLarge(void* p, std::size_t oldBytes, std::size_t newBytes)
{
    if (!p)
        return allocateLarge(newBytes);
    if (newBytes == 0) {
        freeLarge(p, oldBytes);
        return nullptr;
    }
    if (oldBytes >= Threshold && newBytes >= Threshold) {
        const std::size_t oldSize = mappedSize(oldBytes), newSize = mappedSize(newBytes);
        if (oldSize == newSize)
            return p;
        void* q = ::mremap(p, oldSize, newSize, MREMAP_MAYMOVE);
        if (q == MAP_FAILED)
            throw std::bad_alloc();
        ::madvise(q, newSize, MADV_HUGEPAGE);
        // Only the start of a grown tail: the rest may never be used.
        if (newSize > oldSize)
            prefaultLarge(static_cast<char*>(q) + oldSize, std::min(newSize - oldSize, HugePage));
        return q;
    }
    if (oldBytes < Threshold && newBytes < Threshold) {
        if (void* q = std::realloc(p, newBytes))
            return q;
        throw std::bad_alloc();
    }
    void* q = allocateLarge(newBytes); // across the threshold: one copy of at most a few megabytes
    std::memcpy(q, p, std::min(oldBytes, newBytes));
    freeLarge(p, oldBytes);
    return q;
}

void prefaultLarge(void* p, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    if (!p || bytes == 0)
        return;
    // Touching the pages would race with their owner's writes; the system's own populate writes nothing.
    try {
        std::thread([p, bytes] { ::madvise(p, bytes, MADV_POPULATE_WRITE); }).detach();
    } catch (const std::system_error&) {
        // no thread to spare: the pages come when first written, as without this
    }
#else
    (void)p;
    (void)bytes;
#endif
}
