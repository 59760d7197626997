// SPDX-License-Identifier: MIT
#include "search/listingcache.h"

#include "platform/largealloc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

// What a kept listing costs beside its path and names: its record's head and two slots (at most half are
// taken), with room to spare for alignment and a table that just doubled.
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

std::size_t ListingCache::Shard::at(std::size_t hash, std::string_view path) const
{
    const std::size_t mask = table.size() - 1;
    for (std::size_t i = (hash / Shards) & mask;; i = (i + 1) & mask) {
        const Slot& slot = table[i];
        if (!slot.record || (slot.hash == hash && slot.record->path() == path))
            return i;
    }
}

void ListingCache::Shard::insert(std::size_t hash, const Record* record)
{
    if (2 * (taken + 1) > table.size()) {
        std::vector<Slot> old(std::max<std::size_t>(64, 2 * table.size()), Slot{0, nullptr});
        old.swap(table);
        for (const Slot& slot : old) {
            if (slot.record)
                table[at(slot.hash, slot.record->path())] = slot;
        }
    }
    table[at(hash, record->path())] = {hash, record};
    ++taken;
}

void ListingCache::Shard::erase(std::size_t i)
{
    // Later slots of the same run move back, so that no look-up stops short of its record at a hole.
    const std::size_t mask = table.size() - 1;
    table[i].record = nullptr;
    for (std::size_t j = (i + 1) & mask; table[j].record; j = (j + 1) & mask) {
        const std::size_t home = (table[j].hash / Shards) & mask;
        const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
        if (stays)
            continue;
        table[i] = table[j];
        table[j].record = nullptr;
        i = j;
    }
    --taken;
}

std::size_t ListingCache::Shard::find(std::size_t hash, std::string_view path) const
{
    if (table.empty())
        return Absent;
    const std::size_t i = at(hash, path);
    return table[i].record ? i : Absent;
}

std::optional<ListingCache::Kept> ListingCache::find(std::string_view path) const
{
    const std::optional<Found> found = findWithPath(path);
    return found ? std::optional(found->kept) : std::nullopt;
}

std::optional<ListingCache::Found> ListingCache::findWithPath(std::string_view path) const
{
    const std::size_t hash = hashOf(path);
    const Shard& shard = shardOf(hash);
    std::lock_guard lock(shard.mutex);
    const std::size_t at = shard.find(hash, path);
    if (at == Shard::Absent)
        return std::nullopt;
    const Record* record = shard.table[at].record;
    return Found{record->path(), Kept{record->stamp, record->entries()}, hash};
}

void ListingCache::drop(Shard& shard, std::size_t at)
{
    const Record* record = shard.table[at].record;
    m_dropped.fetch_add(cost(record->path(), record->entries()), std::memory_order_relaxed);
    shard.erase(at);
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
    const std::size_t hash = hashOf(path);
    Shard& shard = shardOf(hash);
    std::lock_guard lock(shard.mutex);
    if (const std::size_t at = shard.find(hash, path); at != Shard::Absent) {
        const Record* old = shard.table[at].record;
        if (old->stamp == stamp && old->entries() == entries)
            return;
        drop(shard, at);
    }
    if (m_bytes.load(std::memory_order_relaxed) + added > m_budget ||
        std::max(path.size(), entries.size()) > std::numeric_limits<std::uint32_t>::max())
        return;
    // Records stay aligned for their stamps.
    const std::size_t bytes = (sizeof(Record) + path.size() + entries.size() + alignof(Record) - 1) /
                              alignof(Record) * alignof(Record);
    char* at = place(bytes);
    if (!at)
        return;
    auto* record = new (at) Record{stamp, std::uint32_t(path.size()), std::uint32_t(entries.size())};
    char* const text = reinterpret_cast<char*>(record + 1);
    std::memcpy(text, path.data(), path.size());
    std::memcpy(text + path.size(), entries.data(), entries.size());
    shard.insert(hash, record);
    m_bytes.fetch_add(added, std::memory_order_relaxed);
}

void ListingCache::forget(std::string_view path)
{
    const std::size_t hash = hashOf(path);
    Shard& shard = shardOf(hash);
    std::lock_guard lock(shard.mutex);
    if (const std::size_t at = shard.find(hash, path); at != Shard::Absent)
        drop(shard, at);
}

std::size_t ListingCache::folders() const
{
    std::size_t n = 0;
    for (const Shard& shard : m_shards) {
        std::lock_guard lock(shard.mutex);
        n += shard.taken;
    }
    return n;
}

void ListingCache::noteReaders(dev_t device, int readers)
{
    std::lock_guard lock(m_readersMutex);
    const auto it = std::find_if(m_readers.begin(), m_readers.end(),
                                 [device](const std::pair<dev_t, int>& r) { return r.first == device; });
    if (it != m_readers.end()) {
        if (readers > 0)
            it->second = readers;
        else
            m_readers.erase(it);
    } else if (readers > 0) {
        m_readers.emplace_back(device, readers);
    }
}

int ListingCache::readersFor(dev_t device) const
{
    std::lock_guard lock(m_readersMutex);
    for (const auto& [d, readers] : m_readers)
        if (d == device)
            return readers;
    return 0;
}
