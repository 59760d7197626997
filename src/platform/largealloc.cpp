// SPDX-License-Identifier: MIT
#include "platform/largealloc.h"

#include <sys/mman.h>

#include <cstdlib>

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
    if (bytes < Threshold) {
        if (void* p = std::malloc(bytes ? bytes : 1))
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
