// SPDX-License-Identifier: MIT
#include "platform/largealloc.h"

#include <cstring>
#include <new>

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {
constexpr std::size_t Threshold = std::size_t(4) << 20;

std::size_t mappedSize(std::size_t bytes)
{
    return (bytes + LargePage - 1) / LargePage * LargePage;
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
    // No huge pages: the first write to one makes the writer clear all of it at once, which on a virtual
    // machine held the window's thread for 5 ms and more whenever it got to fresh pages before the supplier.
    return p;
}

void* allocateInHugePages(std::size_t bytes)
{
    // Mapped with a huge page's room to spare, then cut to a huge page's alignment.
    const std::size_t align = LargePage;
    void* p = ::mmap(nullptr, bytes + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (start + align - 1) / align * align;
    if (aligned > start)
        ::munmap(p, aligned - start);
    if (const std::size_t tail = start + align - aligned)
        ::munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void freeInHugePages(void* p, std::size_t bytes)
{
    if (p)
        ::munmap(p, bytes);
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

bool isMappedLarge(std::size_t bytes)
{
    return bytes >= Threshold;
}

namespace {
// While the supplier's thread runs: a block is freed there only then, since a free that started the thread
// would leave one more thread behind than the caller ever asked for.
std::atomic<bool> supplierRunning{false};

class PageSupplier
{
public:
    PageSupplier()
    {
        try {
            m_thread = std::thread([this] { run(); });
            supplierRunning = true;
        } catch (const std::system_error&) {
            // no thread to spare: pages come when first written, as without this
        }
    }
    ~PageSupplier()
    {
        {
            std::lock_guard lock(m_mutex);
            m_ending = true;
        }
        m_wake.notify_one();
        supplierRunning = false;
        if (m_thread.joinable())
            m_thread.join();
    }
    void request(void* p, std::size_t bytes) { queue({p, bytes, false}); }
    // Hands a block back to the system on this thread: unmapping the hundreds of megabytes of a list of
    // millions takes tens of milliseconds, which clearing the list would otherwise cost the window. The
    // address stays taken until then, so no new block can meet a request still queued for the old one.
    void unmap(void* p, std::size_t bytes)
    {
        if (!queue({p, bytes, true}))
            ::munmap(p, bytes);
    }

private:
    struct Request
    {
        void* p;
        std::size_t bytes;
        bool unmap; // else supply its pages
    };
    // False when there is no thread to take it.
    bool queue(const Request& r)
    {
        if (!m_thread.joinable())
            return false;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(r);
        }
        m_wake.notify_one();
        return true;
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_ending || !m_requests.empty(); });
            if (m_ending)
                return;
            const Request r = m_requests.front();
            m_requests.pop_front();
            lock.unlock();
            if (r.unmap) {
                ::munmap(r.p, r.bytes);
            } else {
#ifdef MADV_POPULATE_WRITE
                // Touching the pages would race with their owner's writes; the system's populate writes
                // nothing.
                ::madvise(r.p, r.bytes, MADV_POPULATE_WRITE);
#endif
            }
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_requests;
    bool m_ending = false;
    std::thread m_thread;
};

PageSupplier& pageSupplier()
{
    static PageSupplier supplier;
    return supplier;
}

} // namespace

void freeLarge(void* p, std::size_t bytes)
{
    if (!p)
        return;
    if (bytes < Threshold)
        std::free(p);
    else if (supplierRunning)
        pageSupplier().unmap(p, mappedSize(bytes));
    else
        ::munmap(p, mappedSize(bytes));
}

void startPageSupplier()
{
    pageSupplier();
}

void prefaultLarge(void* p, std::size_t bytes)
{
    if (p && bytes)
        pageSupplier().request(p, bytes);
}
