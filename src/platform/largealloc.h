// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <new>

// Memory for big tables (a million result rows and their paths). Blocks of a few megabytes and more come
// straight from the system and ask for huge pages where the system offers them on request: touching fresh
// memory page by page is what a million-row list would otherwise spend most of its time on.
void* allocateLarge(std::size_t bytes);
void freeLarge(void* p, std::size_t bytes);

template <class T> struct LargeAllocator
{
    using value_type = T;
    LargeAllocator() = default;
    template <class U> LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocateLarge(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { freeLarge(p, n * sizeof(T)); }
    template <class U> bool operator==(const LargeAllocator<U>&) const noexcept { return true; }
};
