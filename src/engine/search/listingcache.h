// SPDX-License-Identifier: MIT
#pragma once

#include "platform/dirlisting.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

// Folder listings kept from one search to the next within one run, so that a search lists again only the
// folders whose names changed since. A folder's stamp (device, inode, modification and change time) tells:
// adding, removing or renaming a name changes its modification time, a change of its permissions its change
// time. Entries are packed as the readers pack them ('f' a file, 'd' a folder), every name of the folder.
// Safe to use from the readers and the walk at once.
class ListingCache
{
public:
    // A folder stamped this close before its listing may change again within the same tick of a coarse clock
    // (FAT keeps two seconds) without its stamp showing it; such a listing is not kept.
    static constexpr std::chrono::seconds Margin{2};
    // What the kept listings may take, names and paths and the bookkeeping beside them.
    static constexpr std::size_t DefaultBudget = std::size_t(256) << 20;

    struct Kept
    {
        fsys::FolderStamp stamp;
        std::string_view entries; // valid as long as the cache
    };

    explicit ListingCache(std::size_t budget = DefaultBudget) : m_budget(budget) {}
    ~ListingCache();
    ListingCache(const ListingCache&) = delete;
    ListingCache& operator=(const ListingCache&) = delete;

    // The listing kept for the folder at path, to be used only while the folder's stamp is still kept.stamp.
    std::optional<Kept> find(std::string_view path) const;
    // Keeps a whole listing of the folder at path, read after its stamp was taken at listedAt (wall clock);
    // forgets the folder instead when it changed too shortly before, or the budget is spent.
    void keep(std::string_view path, const fsys::FolderStamp& stamp, timespec listedAt,
              std::string_view entries);
    void forget(std::string_view path);
    // As find, with the kept copy of the path, valid as long as the cache, and the path's hash (hashOf).
    struct Found
    {
        std::string_view path;
        Kept kept;
        std::size_t hash;
    };
    std::optional<Found> findWithPath(std::string_view path) const;
    static std::size_t hashOf(std::string_view path) { return std::hash<std::string_view>()(path); }
    std::size_t folders() const;
    std::size_t bytes() const { return m_bytes.load(std::memory_order_relaxed); }
    // Listings replaced or forgotten still take their room until the cache goes: past half the budget, a
    // cache of its own does better.
    bool worthRenewing() const { return m_dropped.load(std::memory_order_relaxed) > m_budget / 2; }

    // The wall clock, as listings are timed for keep.
    static timespec now();

    // The readers the last walk on a file system grew to, beyond a disk's, so that the next walk there fills
    // a share's pipe from its start; 0 when it did not grow.
    void noteReaders(dev_t device, int readers);
    int readersFor(dev_t device) const;

private:
    // Kept bytes live in big blocks of their own: a million names copied one by one into the heap cost the
    // first search more than its listing did.
    struct Block
    {
        char* data = nullptr;
        std::size_t size = 0;
        std::size_t used = 0;
    };
    // A kept listing as it lies in a block: this, the path, the entries.
    struct Record
    {
        fsys::FolderStamp stamp;
        std::uint32_t pathSize;
        std::uint32_t entriesSize;
        std::string_view path() const { return {reinterpret_cast<const char*>(this + 1), pathSize}; }
        std::string_view entries() const { return {path().data() + pathSize, entriesSize}; }
    };
    // Open addressing over records, each slot with its path's hash: a look-up reads the slot and the record,
    // where a map's nodes and buckets cost twice the trips to memory.
    struct Slot
    {
        std::size_t hash;
        const Record* record; // null: empty
    };
    struct Shard
    {
        mutable std::mutex mutex;
        std::vector<Slot> table; // a power of two, at most half taken
        std::size_t taken = 0;
        // The slot of path, or the empty one where it would go; table must not be empty.
        std::size_t at(std::size_t hash, std::string_view path) const;
        // The slot of path's record, or Absent.
        static constexpr std::size_t Absent = std::size_t(-1);
        std::size_t find(std::size_t hash, std::string_view path) const;
        void erase(std::size_t at);
        void insert(std::size_t hash, const Record* record);
    };
    static constexpr std::size_t Shards = 16;
    Shard& shardOf(std::size_t hash) const { return m_shards[hash % Shards]; }
    // Room for bytes in the blocks, to be written by the caller alone.
    char* place(std::size_t bytes);
    static std::size_t cost(std::string_view path, std::string_view entries);
    void drop(Shard& shard, std::size_t at);

    mutable std::array<Shard, Shards> m_shards;
    std::mutex m_blocksMutex;
    std::vector<Block> m_blocks;
    std::atomic<std::size_t> m_bytes{0};
    std::atomic<std::size_t> m_dropped{0};
    std::size_t m_budget;
    mutable std::mutex m_readersMutex;
    std::vector<std::pair<dev_t, int>> m_readers;
};
