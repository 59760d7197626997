// SPDX-License-Identifier: MIT
#pragma once

#include "platform/largealloc.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

// A growable array of plain values that never copies itself to grow: appending a row to a million-row table
// costs the same as appending it to an empty one. Offers the part of std::vector the result list uses.
template <class T> class GrowableArray
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    GrowableArray() = default;
    GrowableArray(const GrowableArray& other) { *this = other; }
    GrowableArray(GrowableArray&& other) noexcept { swap(other); }
    GrowableArray& operator=(const GrowableArray& other)
    {
        if (this != &other) {
            clear();
            reserve(other.m_size);
            if (other.m_size)
                std::memcpy(m_data, other.m_data, other.m_size * sizeof(T));
            m_size = other.m_size;
        }
        return *this;
    }
    GrowableArray& operator=(GrowableArray&& other) noexcept
    {
        GrowableArray(std::move(other)).swap(*this);
        return *this;
    }
    ~GrowableArray()
    {
        freeLarge(m_data, m_capacity * sizeof(T));
        freeLarge(m_ahead, m_aheadBytes);
    }

    void swap(GrowableArray& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_supplied, other.m_supplied);
        std::swap(m_ahead, other.m_ahead);
        std::swap(m_aheadBytes, other.m_aheadBytes);
    }

    // Has the system supply the pages the next appends will write, off the caller's thread, keeping about a
    // large page ahead: a page first written by the caller can cost it milliseconds.
    void supplyAhead()
    {
        const std::size_t capacityBytes = m_capacity * sizeof(T);
        const std::size_t used = m_size * sizeof(T);
        if (!isMappedLarge(capacityBytes)) {
            // The next growth moves the table into a block of its own from the system. Taken now, with its
            // pages supplied meanwhile, the move copies into memory that is already there.
            const std::size_t next = 2 * capacityBytes;
            if (!m_ahead && isMappedLarge(next) && 2 * used >= capacityBytes) {
                m_ahead = allocateLarge(next);
                m_aheadBytes = next;
                prefaultLarge(m_ahead, capacityBytes);
            }
            return;
        }
        if (used + LargePage / 2 <= m_supplied || m_supplied >= capacityBytes)
            return;
        const std::size_t from = std::max(m_supplied, used);
        const std::size_t to = std::min(capacityBytes, from + LargePage);
        prefaultLarge(reinterpret_cast<char*>(m_data) + from, to - from);
        m_supplied = to;
    }

    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    bool empty() const { return m_size == 0; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_size; }
    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_size; }

    void reserve(std::size_t n)
    {
        if (n > m_capacity)
            setCapacity(n);
    }
    void push_back(const T& value)
    {
        if (m_size == m_capacity)
            setCapacity(m_capacity < 16 ? 16 : m_capacity * 2);
        m_data[m_size++] = value;
    }
    void resize(std::size_t n)
    {
        reserve(n);
        for (std::size_t i = m_size; i < n; ++i)
            m_data[i] = T();
        m_size = n;
    }
    T* erase(T* first, T* last)
    {
        if (first != last)
            std::memmove(first, last, std::size_t(end() - last) * sizeof(T));
        m_size -= std::size_t(last - first);
        return first;
    }
    void clear() { m_size = 0; }
    void shrink_to_fit()
    {
        if (m_size < m_capacity)
            setCapacity(m_size);
    }

private:
    void setCapacity(std::size_t n)
    {
        if (m_ahead) {
            const std::size_t bytes = n * sizeof(T);
            if (n > m_capacity && bytes <= m_aheadBytes && isMappedLarge(bytes)) {
                if (m_size)
                    std::memcpy(m_ahead, m_data, m_size * sizeof(T));
                freeLarge(m_data, m_capacity * sizeof(T));
                m_data = static_cast<T*>(m_ahead);
                m_capacity = m_aheadBytes / sizeof(T); // the whole block, so that it is freed whole
                m_supplied = m_aheadBytes / 2;
                m_ahead = nullptr;
                m_aheadBytes = 0;
                return;
            }
            freeLarge(m_ahead, m_aheadBytes);
            m_ahead = nullptr;
            m_aheadBytes = 0;
        }
        m_data = static_cast<T*>(reallocateLarge(m_data, m_capacity * sizeof(T), n * sizeof(T)));
        m_capacity = n;
        // What was supplied stays so through a remapping; a block newly taken from the system starts over.
        m_supplied = std::min(m_supplied, m_size * sizeof(T));
    }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    std::size_t m_supplied = 0; // bytes from the start whose pages are supplied or asked for
    void* m_ahead = nullptr;    // the block the table moves into next, taken ahead
    std::size_t m_aheadBytes = 0;
};
