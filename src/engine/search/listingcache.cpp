// SPDX-License-Identifier: MIT
#include "search/listingcache.h"

#include "platform/largealloc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// What a map entry costs beside its path and names: the node and its hash slot.
constexpr std::size_t Bookkeeping = 96;
constexpr std::size_t FirstBlockBytes = 64 << 10;
constexpr std::size_t BlockBytes = 2 * LargePage;

std::chrono::nanoseconds sinceEpoch(const timespec& t)
{
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

} // namespace

ListingCache::~ListingCache()
{
    for (const Block& b : m_blocks) {
        if (b.size >= LargePage)
            freeInHugePages(b.data, b.size);
        else
            std::free(b.data);
    }
}

timespec ListingCache::now()
{
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return t;
}

std::size_t ListingCache::cost(std::string_view path, std::string_view entries)
{
    return path.size() + entries.size() + Bookkeeping;
}

char* ListingCache::place(std::size_t bytes)
{
    std::lock_guard lock(m_blocksMutex);
    if (!m_blocks.empty() && m_blocks.back().size - m_blocks.back().used >= bytes) {
        Block& b = m_blocks.back();
        char* at = b.data + b.used;
        b.used += bytes;
        return at;
    }
    // Blocks grow from small, so that a search of a few folders takes little, to a few megabytes in huge
    // pages: a million names written into fresh ordinary pages cost the first search a third more, one
    // fault per page. A folder bigger than that has a block of its own.
    const std::size_t last = m_blocks.empty() ? 0 : m_blocks.back().size;
    const std::size_t grown = std::clamp(last * 2, FirstBlockBytes, BlockBytes);
    const std::size_t size = bytes <= grown ? grown : (bytes + LargePage - 1) / LargePage * LargePage;
    char* data = size >= LargePage ? static_cast<char*>(allocateInHugePages(size))
                                   : static_cast<char*>(std::malloc(size));
    if (!data)
        return nullptr;
    // A folder's own block goes before the one being filled, which goes on taking small ones.
    const Block block{data, size, bytes};
    if (size > grown && !m_blocks.empty())
        m_blocks.insert(m_blocks.end() - 1, block);
    else
        m_blocks.push_back(block);
    return data;
}

std::optional<ListingCache::Kept> ListingCache::find(std::string_view path) const
{
    const Shard& shard = shardOf(path);
    std::lock_guard lock(shard.mutex);
    const auto it = shard.kept.find(path);
    if (it == shard.kept.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::pair<std::string_view, ListingCache::Kept>>
ListingCache::findWithPath(std::string_view path) const
{
    const Shard& shard = shardOf(path);
    std::lock_guard lock(shard.mutex);
    const auto it = shard.kept.find(path);
    if (it == shard.kept.end())
        return std::nullopt;
    return *it;
}

void ListingCache::drop(Shard& shard, std::unordered_map<std::string_view, Kept>::iterator it)
{
    m_dropped.fetch_add(cost(it->first, it->second.entries), std::memory_order_relaxed);
    shard.kept.erase(it);
}

void ListingCache::keep(std::string_view path, const fsys::FolderStamp& stamp, timespec listedAt,
                        std::string_view entries)
{
    // A stamp from the future (another machine's clock, a file system's time zone) proves nothing either.
    const auto latest = std::max(sinceEpoch(stamp.modified), sinceEpoch(stamp.changed));
    if (sinceEpoch(listedAt) - latest < Margin) {
        forget(path);
        return;
    }
    const std::size_t added = cost(path, entries);
    Shard& shard = shardOf(path);
    std::lock_guard lock(shard.mutex);
    const auto it = shard.kept.find(path);
    if (it != shard.kept.end()) {
        if (it->second.stamp == stamp && it->second.entries == entries)
            return;
        drop(shard, it);
    }
    if (m_bytes.load(std::memory_order_relaxed) + added > m_budget)
        return;
    char* at = place(path.size() + entries.size());
    if (!at)
        return;
    std::memcpy(at, path.data(), path.size());
    std::memcpy(at + path.size(), entries.data(), entries.size());
    shard.kept.emplace(std::string_view(at, path.size()),
                       Kept{stamp, std::string_view(at + path.size(), entries.size())});
    m_bytes.fetch_add(added, std::memory_order_relaxed);
}

void ListingCache::forget(std::string_view path)
{
    Shard& shard = shardOf(path);
    std::lock_guard lock(shard.mutex);
    const auto it = shard.kept.find(path);
    if (it != shard.kept.end())
        drop(shard, it);
}

std::size_t ListingCache::folders() const
{
    std::size_t n = 0;
    for (const Shard& shard : m_shards) {
        std::lock_guard lock(shard.mutex);
        n += shard.kept.size();
    }
    return n;
}
