// SPDX-License-Identifier: MIT
#include "search/confirmedlistings.h"

#include "platform/threadpriority.h"
#include "search/readerpool.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <system_error>

namespace {

// Asking is processor work on a disk (the path's lookups): more threads than cores only take turns.
constexpr unsigned MostThreads = 8;
// Sub-trees handed out to each thread, so that one big sub-tree does not leave the others idle.
constexpr std::size_t SubtreesPerThread = 16;
constexpr unsigned FoldersBetweenStopChecks = 64;

struct Folder
{
    std::string path;
    unsigned depth;
    // Listed when no listing of it is kept: the listed folder, and a sub-folder of one kept. Not below that,
    // where nothing is kept at all (a folder searched for the first time).
    bool mayList;
};

} // namespace

// Asks folders for their stamps, on one thread.
struct ConfirmedListings::Asker
{
    Asker(ConfirmedListings& owner, std::deque<Entry>& found) : owner(owner), found(found) {}

    ConfirmedListings& owner;
    std::deque<Entry>& found;
    unsigned sinceStopCheck = 0;
    std::unique_ptr<fsys::DirectoryReader> reader; // for folders no listing is kept of
    std::string unkept;
    // Paths are asked from here: the listed folder, or the top of the sub-tree being asked.
    int base = owner.m_root.get();
    std::size_t baseSkip = owner.m_skip; // of its path with its separator
    unsigned baseDepth = 0;

    bool stopped()
    {
        if (++sinceStopCheck < FoldersBetweenStopChecks)
            return false;
        sinceStopCheck = 0;
        return owner.quitting();
    }

    // Notes the folder when it is unchanged, and hands below each sub-folder its kept listing names, as long
    // as what it names there can still be the walk's: a folder gone, turned into a link or on another file
    // system leads nowhere the walk goes.
    template <class Below> void ask(const Folder& folder, Below&& below)
    {
        const char* const relative = folder.depth > baseDepth ? folder.path.c_str() + baseSkip : ".";
        std::optional<fsys::FolderStamp> now;
        if (folder.depth > 0) {
            now = fsys::folderStampAt(base, relative);
            if (!now || now->device != owner.m_rootDevice)
                return;
        }
        const std::optional<ListingCache::Found> kept = owner.m_cache->findWithPath(folder.path);
        std::string_view entries;
        if (kept) {
            // A changed folder's sub-folders may still be as they were: they are asked all the same.
            if (now && *now == kept->kept.stamp)
                owner.add(found, {kept->hash, kept->path, kept->kept});
            entries = kept->kept.entries;
        } else {
            // Changed just before it was last listed, so not kept (a name fixed a moment ago): what lies
            // below it may well be kept all the same.
            if (!folder.mayList || !listSubFolders(relative))
                return;
            entries = unkept;
        }
        const unsigned depth = folder.depth + 1;
        if (owner.m_maxFolderDepth >= 0 && depth >= unsigned(owner.m_maxFolderDepth))
            return; // its sub-folders' listings are not used
        const bool root = folder.path == "/";
        walkahead::packed::forEach(entries, [&](char kind, std::string_view name) {
            if (kind != 'd')
                return;
            std::string sub;
            sub.reserve(folder.path.size() + 1 + name.size());
            sub.assign(folder.path);
            if (!root)
                sub.push_back('/');
            sub.append(name);
            below(Folder{std::move(sub), depth, kept.has_value()});
        });
    }

    // The sub-folders of a folder no listing is kept of, packed into unkept.
    bool listSubFolders(const char* relative)
    {
        unkept.clear();
        const UniqueFd fd = fsys::openBelow(base, relative).fd;
        if (!fd.valid())
            return false;
        if (!reader)
            reader = std::make_unique<fsys::DirectoryReader>();
        for (fsys::DirectoryReader::Block got; (got = reader->readBlock(fd.get())).bytes > 0;) {
            reader->forEach(fd.get(), [&](std::string_view name, fsys::Kind kind) {
                if (kind == fsys::Kind::Folder)
                    walkahead::packed::append(unkept, 'd', name);
                return true;
            });
        }
        return true;
    }

    // Asks the folder and everything below it that kept listings lead to, by their paths from it: fewer
    // steps to look up, and a descriptor of this thread's own, where one shared by all costs each call a
    // count taken and given back by every thread on the same memory.
    void askAll(Folder first)
    {
        const UniqueFd handle =
            fsys::openFolderHandle(owner.m_root.get(), first.path.c_str() + owner.m_skip).fd;
        if (handle.valid()) {
            base = handle.get();
            baseSkip = first.path.size() + 1;
            baseDepth = first.depth;
        }
        std::vector<Folder> stack;
        stack.push_back(std::move(first));
        while (!stack.empty() && !stopped()) {
            const Folder folder = std::move(stack.back());
            stack.pop_back();
            ask(folder, [&](Folder&& sub) { stack.push_back(std::move(sub)); });
        }
        base = owner.m_root.get();
        baseSkip = owner.m_skip;
        baseDepth = 0;
    }
};

ConfirmedListings::ConfirmedListings(std::shared_ptr<const ListingCache> cache, int rootFd,
                                     std::string_view rootPath, dev_t rootDevice, int maxFolderDepth,
                                     const std::atomic<bool>* stop, std::shared_ptr<const void> keepAlive,
                                     unsigned threads, bool giveWay)
    : m_cache(std::move(cache)), m_keepAlive(std::move(keepAlive)), m_root(fsys::duplicateFolder(rootFd).fd),
      m_skip(rootPath == "/" ? 1 : rootPath.size() + 1), m_rootDevice(rootDevice),
      m_maxFolderDepth(maxFolderDepth), m_stop(stop)
{
    const std::size_t kept = m_cache->folders();
    if (kept == 0 || !m_root.valid())
        return;
    m_slots = std::vector<std::atomic<const Entry*>>(std::bit_ceil(2 * kept + 2));
    for (std::atomic<const Entry*>& slot : m_slots)
        slot.store(nullptr, std::memory_order_relaxed);
    if (threads == 0)
        threads = std::min(std::max(1u, std::thread::hardware_concurrency()), MostThreads);
    m_found.resize(threads);
    // The top of the tree, level by level on this thread, until there are sub-trees enough to share out.
    Asker top{*this, m_found[0]};
    std::vector<Folder> level{Folder{std::string(rootPath), 0, true}};
    while (!level.empty() && level.size() < threads * SubtreesPerThread) {
        std::vector<Folder> next;
        for (const Folder& folder : level)
            top.ask(folder, [&](Folder&& sub) { next.push_back(std::move(sub)); });
        level = std::move(next);
        if (quitting())
            level.clear();
    }
    if (level.empty())
        return;
    m_splitDepth = level.front().depth;
    for (Folder& folder : level)
        m_subtrees.emplace_back(std::move(folder.path), folder.depth, folder.mayList);
    for (std::size_t i = 0; i < m_subtrees.size(); ++i)
        m_subtreeAt.emplace(m_subtrees[i].path, i);
    try {
        for (std::size_t i = 0; i < threads; ++i)
            m_threads.emplace_back([this, i, giveWay] {
                if (giveWay)
                    fsys::giveWayToOtherThreads();
                Asker asker{*this, m_found[i]};
                askSubtrees(asker);
            });
    } catch (const std::system_error&) {
        // no thread to spare: the threads there are share the rest
    }
    if (m_threads.empty()) {
        Asker asker{*this, m_found[0]};
        askSubtrees(asker);
    }
}

ConfirmedListings::~ConfirmedListings()
{
    m_quit.store(true, std::memory_order_relaxed);
    for (std::thread& t : m_threads)
        t.join();
}

void ConfirmedListings::askSubtrees(Asker& asker)
{
    for (std::size_t i; (i = m_nextSubtree.fetch_add(1, std::memory_order_relaxed)) < m_subtrees.size();) {
        Subtree& subtree = m_subtrees[i];
        if (!quitting())
            asker.askAll(Folder{subtree.path, subtree.depth, subtree.mayList});
        subtree.done.store(true, std::memory_order_release);
        subtree.done.notify_all();
    }
}

void ConfirmedListings::add(std::deque<Entry>& found, Entry entry)
{
    // Listings another walk keeps meanwhile could fill the slots: those are left to be asked again.
    if (m_count.fetch_add(1, std::memory_order_relaxed) >= m_slots.size() / 2) {
        m_count.fetch_sub(1, std::memory_order_relaxed);
        return;
    }
    const Entry* e = &found.emplace_back(entry);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = e->hash & mask;; at = (at + 1) & mask) {
        const Entry* empty = nullptr;
        if (m_slots[at].compare_exchange_strong(empty, e, std::memory_order_release,
                                                std::memory_order_relaxed))
            break;
    }
}

const ListingCache::Kept* ConfirmedListings::lookUp(std::string_view path, std::size_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Entry* e = m_slots[at].load(std::memory_order_acquire);
        if (!e)
            return nullptr;
        if (e->hash == hash && e->path == path)
            return &e->kept;
    }
}

const ListingCache::Kept* ConfirmedListings::find(std::string_view path) const
{
    if (m_slots.empty() || path.size() <= m_skip)
        return nullptr;
    // A folder found unchanged stays found; only one not found may still have to be asked.
    const std::size_t hash = ListingCache::hashOf(path);
    if (const ListingCache::Kept* kept = lookUp(path, hash))
        return kept;
    if (m_subtrees.empty())
        return nullptr;
    // The folder at the split depth above path (or path itself) leads the sub-tree that holds it.
    std::size_t end = m_skip;
    unsigned depth = 1;
    while (end < path.size() && (end = path.find('/', end)) != std::string_view::npos) {
        if (depth == m_splitDepth)
            break;
        ++depth;
        ++end;
    }
    if (depth < m_splitDepth)
        return nullptr; // asked before the walk started
    const auto it = m_subtreeAt.find(path.substr(0, std::min(end, path.size())));
    if (it == m_subtreeAt.end())
        return nullptr;
    const Subtree& subtree = m_subtrees[it->second];
    if (subtree.done.load(std::memory_order_acquire))
        return nullptr;
    do
        subtree.done.wait(false, std::memory_order_acquire);
    while (!subtree.done.load(std::memory_order_acquire));
    return lookUp(path, hash);
}
