// SPDX-License-Identifier: MIT
#include "results/patharena.h"

#include <algorithm>
#include <cstring>

quint64 PathArena::append(std::string_view bytes)
{
    const quint64 length = bytes.size();
    if (m_slots.empty() || m_slots.back()->capacity - m_slots.back()->used < length ||
        m_slots.back()->capacity > ChunkSize) {
        std::shared_ptr<Chunk> chunk;
        if (length <= ChunkSize) {
            chunk = m_next ? std::move(m_next) : newChunk(ChunkSize);
            supply(*chunk);
        } else {
            chunk = newChunk(length);
        }
        const quint64 span = (chunk->capacity + ChunkSize - 1) / ChunkSize;
        for (quint64 i = 0; i < span; ++i)
            m_slots.push_back(chunk);
    }
    // An oversized chunk spans several slots and holds one path; it always starts at its first slot.
    Chunk& chunk = *m_slots.back();
    const quint64 span = (chunk.capacity + ChunkSize - 1) / ChunkSize;
    const quint64 firstSlot = m_slots.size() - span;
    const quint64 id = m_base + firstSlot * ChunkSize + chunk.used;
    if (length)
        std::memcpy(chunk.data.get() + chunk.used, bytes.data(), length);
    chunk.used += length;
    // The next chunk is taken, and its pages supplied, a quarter of the way into the first one and at once in
    // those after it: early enough to be ready when this one is full (supplying waits for a processor, and
    // can take longer than filling), late enough that a short list never asks for one.
    if (!m_next && chunk.capacity == ChunkSize && (chunk.used >= ChunkSize / 4 || m_slots.size() > 1)) {
        m_next = newChunk(ChunkSize);
        supply(*m_next);
    }
    return id;
}

void PathArena::supply(Chunk& chunk)
{
    if (chunk.supplied)
        return;
    prefaultLarge(chunk.data.get(), chunk.capacity);
    chunk.supplied = true;
}

std::shared_ptr<PathArena::Chunk> PathArena::newChunk(quint64 capacity)
{
    auto chunk = std::make_shared<Chunk>();
    chunk->capacity = capacity;
    chunk->data =
        std::unique_ptr<char[], LargeFree>(static_cast<char*>(allocateLarge(capacity)), LargeFree{capacity});
    return chunk;
}

std::string_view PathArena::view(quint64 id, quint32 length) const
{
    const quint64 local = id - m_base;
    const Chunk& chunk = *m_slots[local / ChunkSize];
    quint64 offset = local % ChunkSize;
    if (chunk.capacity > ChunkSize) // oversized: its single path starts at the chunk's beginning
        offset = 0;
    return std::string_view(chunk.data.get() + offset, length);
}

void PathArena::clear()
{
    m_base += quint64(m_slots.size()) * ChunkSize;
    // The first chunk's pages are in place: taken again rather than freed, so that a new list costs the
    // system nothing (fresh pages cost a virtual machine dearly). Not while a snapshot still reads it.
    if (!m_slots.empty() && m_slots.front()->capacity == ChunkSize && m_slots.front().use_count() == 1) {
        m_next = std::move(m_slots.front());
        m_next->used = 0;
    }
    m_slots.clear();
    if (!m_next) {
        m_next = newChunk(ChunkSize);
        supply(*m_next);
    }
}

quint64 PathArena::bytesReserved() const
{
    quint64 total = 0;
    const Chunk* last = nullptr;
    for (const auto& slot : m_slots) {
        if (slot.get() != last)
            total += slot->capacity;
        last = slot.get();
    }
    return total;
}
