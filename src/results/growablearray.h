// SPDX-License-Identifier: MIT
#pragma once

#include "platform/largealloc.h"

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
    ~GrowableArray() { freeLarge(m_data, m_capacity * sizeof(T)); }

    void swap(GrowableArray& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
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
        m_data = static_cast<T*>(reallocateLarge(m_data, m_capacity * sizeof(T), n * sizeof(T)));
        m_capacity = n;
    }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};
