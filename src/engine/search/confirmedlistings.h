// SPDX-License-Identifier: MIT
#pragma once

#include "search/listingcache.h"

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

// The kept listings of folders below a walk's listed folder that are unchanged as the walk reaches them. A
// few threads ask each folder for its stamp ahead of the walk, so that the walk takes it from memory without
// a call of its own, and no reader hands it over. A folder that changes after it was asked is as one that
// changed after the walk passed it. Only folders on the listed folder's own file system, and only on a disk:
// a share is asked by the readers, one handle each.
class ConfirmedListings
{
public:
    // rootFd: the listed folder at rootPath, on rootDevice; maxFolderDepth as the
    // walk's. The folders asked are those the kept listings lead to from the listed folder's, sub-tree by
    // sub-tree in the order a walk meets them: folders asked one after another then share most of their
    // lookups' steps, still in the processor's cache. Asks nothing more once stop turns true; keepAlive holds
    // what stop points into, for threads still asking when the walk is gone. threads: how many ask at once; 0
    // for one a processor. giveWay: they yield to the process's other threads when processors are short.
    ConfirmedListings(std::shared_ptr<const ListingCache> cache, int rootFd, std::string_view rootPath,
                      dev_t rootDevice, int maxFolderDepth, const std::atomic<bool>* stop,
                      std::shared_ptr<const void> keepAlive, unsigned threads = 0, bool giveWay = false);
    // Stops asking and waits for the threads that ask.
    ~ConfirmedListings();
    ConfirmedListings(const ConfirmedListings&) = delete;
    ConfirmedListings& operator=(const ConfirmedListings&) = delete;

    // The listing kept of the folder at path, when the folder was unchanged; null otherwise. Waits while the
    // sub-tree that holds the folder is still being asked. Safe from any thread.
    const ListingCache::Kept* find(std::string_view path) const;
    // Folders found unchanged so far.
    std::size_t size() const { return m_count.load(std::memory_order_relaxed); }

    struct Entry
    {
        std::size_t hash;
        std::string_view path; // the cache's copy
        ListingCache::Kept kept;
    };

private:
    struct Subtree
    {
        Subtree(std::string path, unsigned depth, bool mayList)
            : path(std::move(path)), depth(depth), mayList(mayList)
        {
        }
        std::string path;
        unsigned depth;
        bool mayList;
        std::atomic<bool> done{false};
    };
    struct Asker;
    bool quitting() const
    {
        return m_quit.load(std::memory_order_relaxed) || (m_stop && m_stop->load(std::memory_order_relaxed));
    }
    void add(std::deque<Entry>& found, Entry entry);
    void askSubtrees(Asker& asker);
    const ListingCache::Kept* lookUp(std::string_view path, std::size_t hash) const;

    std::shared_ptr<const ListingCache> m_cache;
    std::shared_ptr<const void> m_keepAlive;
    UniqueFd m_root;    // a descriptor of its own: the walk closes its one while this still asks
    std::size_t m_skip; // the listed folder's path with its separator
    dev_t m_rootDevice;
    int m_maxFolderDepth;
    const std::atomic<bool>* m_stop;
    std::atomic<bool> m_quit{false};
    // Open addressing, filled while the walk reads: a slot once set never changes.
    std::vector<std::atomic<const Entry*>> m_slots;
    std::vector<std::deque<Entry>> m_found; // each thread's, where the slots point
    std::atomic<std::size_t> m_count{0};
    // The folders above splitDepth are asked before the walk starts; each one at that depth leads a sub-tree
    // asked by one thread.
    unsigned m_splitDepth = 0;
    std::deque<Subtree> m_subtrees;
    std::unordered_map<std::string_view, std::size_t> m_subtreeAt;
    std::atomic<std::size_t> m_nextSubtree{0};
    std::vector<std::thread> m_threads;
};
