// SPDX-License-Identifier: MIT
#include "search/listingcache.h"

#include <algorithm>

namespace {

// What a map entry costs beside its path and names: the node, the hash slot, the shared string's block.
constexpr std::size_t Bookkeeping = 160;

std::chrono::nanoseconds sinceEpoch(const timespec& t)
{
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

} // namespace

timespec ListingCache::now()
{
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return t;
}

std::size_t ListingCache::cost(std::string_view path, const std::string& entries)
{
    return path.size() + entries.size() + Bookkeeping;
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

void ListingCache::keep(std::string_view path, const fsys::FolderStamp& stamp, timespec listedAt,
                        std::string entries)
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
    const std::size_t freed = it == shard.kept.end() ? 0 : cost(path, *it->second.entries);
    if (m_bytes.load(std::memory_order_relaxed) - freed + added > m_budget) {
        if (it != shard.kept.end()) {
            shard.kept.erase(it);
            m_bytes.fetch_sub(freed, std::memory_order_relaxed);
        }
        return;
    }
    Kept kept{stamp, std::make_shared<const std::string>(std::move(entries))};
    if (it == shard.kept.end())
        shard.kept.emplace(std::string(path), std::move(kept));
    else
        it->second = std::move(kept);
    m_bytes.fetch_add(added, std::memory_order_relaxed);
    m_bytes.fetch_sub(freed, std::memory_order_relaxed);
}

void ListingCache::forget(std::string_view path)
{
    Shard& shard = shardOf(path);
    std::lock_guard lock(shard.mutex);
    const auto it = shard.kept.find(path);
    if (it == shard.kept.end())
        return;
    m_bytes.fetch_sub(cost(path, *it->second.entries), std::memory_order_relaxed);
    shard.kept.erase(it);
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
