// SPDX-License-Identifier: MIT
#pragma once

#include "platform/dirlisting.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

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

    using Entries = std::shared_ptr<const std::string>;
    struct Kept
    {
        fsys::FolderStamp stamp;
        Entries entries;
    };

    explicit ListingCache(std::size_t budget = DefaultBudget) : m_budget(budget) {}

    // The listing kept for the folder at path, to be used only while the folder's stamp is still kept.stamp.
    std::optional<Kept> find(std::string_view path) const;
    // Keeps a whole listing of the folder at path, read after its stamp was taken at listedAt (wall clock);
    // forgets the folder instead when it changed too shortly before, or the budget is spent.
    void keep(std::string_view path, const fsys::FolderStamp& stamp, timespec listedAt, std::string entries);
    void forget(std::string_view path);
    std::size_t folders() const;
    std::size_t bytes() const { return m_bytes.load(std::memory_order_relaxed); }

    // The wall clock, as listings are timed for keep.
    static timespec now();

private:
    struct Hash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    struct Shard
    {
        mutable std::mutex mutex;
        std::unordered_map<std::string, Kept, Hash, std::equal_to<>> kept;
    };
    static constexpr std::size_t Shards = 16;
    Shard& shardOf(std::string_view path) const { return m_shards[Hash()(path) % Shards]; }
    static std::size_t cost(std::string_view path, const std::string& entries);

    mutable std::array<Shard, Shards> m_shards;
    std::atomic<std::size_t> m_bytes{0};
    std::size_t m_budget;
};
