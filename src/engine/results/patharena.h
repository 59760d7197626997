// SPDX-License-Identifier: MIT
#pragma once

#include "platform/largealloc.h"

#include <QtGlobal>

#include <memory>
#include <string_view>
#include <vector>

struct LargeFree
{
    quint64 size = 0;
    void operator()(char* p) const { freeLarge(p, size); }
};

// Append-only storage of path bytes in shared chunks, so that a snapshot can keep reading them.
class PathArena
{
public:
    static constexpr quint64 ChunkSize = quint64(4) << 20;

    quint64 append(std::string_view bytes);
    std::string_view view(quint64 id, quint32 length) const;
    void clear();
    quint64 bytesReserved() const;

private:
    struct Chunk
    {
        std::unique_ptr<char[], LargeFree> data;
        quint64 capacity = 0;
        quint64 used = 0;
        bool supplied = false; // its pages supplied or asked for
    };
    friend class ResultSnapshot;
    std::vector<std::shared_ptr<Chunk>> m_slots; // a path longer than a chunk spans several slots
    // The chunk that comes next, its pages supplied in the background while the current one fills.
    std::shared_ptr<Chunk> m_next;
    quint64 m_base = 0;

    static std::shared_ptr<Chunk> newChunk(quint64 capacity);
    // Has the system supply the chunk's pages in the background.
    static void supply(Chunk& chunk);
};
