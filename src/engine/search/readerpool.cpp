// SPDX-License-Identifier: MIT
#include "search/readerpool.h"

#include "platform/nativepath.h"
#include "platform/threadpriority.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

namespace walkahead {

void adoptChildren(const ReaderPool* pool, std::string_view folderPath, unsigned depth,
                   const std::vector<quint32>& order, std::string_view entries,
                   const std::function<bool(std::string_view)>& skip,
                   const std::shared_ptr<const HeldFolder>& parent, std::vector<NodePtr>& out)
{
    const bool root = folderPath == "/";
    quint32 index = 0;
    packed::forEach(entries, [&](char kind, std::string_view name) {
        if (kind != 'd')
            return;
        const quint32 at = index++;
        auto child = std::make_shared<Node>();
        child->place = at;
        child->path.reserve(folderPath.size() + 1 + name.size());
        child->path.assign(folderPath);
        if (!root)
            child->path.push_back('/');
        child->path.append(name);
        child->depth = depth + 1;
        if (skip && skip(child->path))
            return;
        if (pool && pool->canName(child->path)) {
            child->order.reserve(order.size() + 1);
            child->order = order;
            child->order.push_back(at);
            // The walk takes a listing from memory quicker than a reader could hand it over.
            if (pool->confirmed && pool->keepsListings(child->depth))
                child->confirmed = pool->confirmed->find(child->path);
            if (!child->confirmed) {
                child->state = NodeState::Queued;
                child->parent = parent;
            }
        }
        out.push_back(std::move(child));
    });
}

void ReaderPool::read(fsys::DirectoryReader& reader, Node& node)
{
    // The path is only read here: the walk moves it out once the node is Ready or its own.
    if (listFromKept(node))
        return;
    if (beforeOpen) {
        if (const int e = beforeOpen(node.path)) {
            node.openError = e;
            return;
        }
    }
    OpenResult opened = openNode(*this, node);
    if (!opened.fd.valid()) {
        node.openError = opened.errnum;
        return;
    }
    const int fd = opened.fd.get();
    const bool keeping = keepsListings(node.depth);
    const timespec listedAt = keeping ? ListingCache::now() : timespec{};
    const std::optional<fsys::FolderStamp> stamp =
        keeping || identify ? fsys::knownFolderStamp(fd) : std::nullopt;
    const std::uint64_t linksBefore = reader.linksMet();
    if (identify && stamp) {
        node.device = stamp->device;
        node.inode = stamp->inode;
    }
    if (oneFileSystem) {
        if (onOtherDevice(fd, rootDevice)) {
            node.otherMount = true;
            return;
        }
    }
    std::size_t folders = 0;
    const bool deeper = deeperWalked(node.depth, maxFolderDepth);
    for (;;) {
        const fsys::DirectoryReader::Block got = reader.readBlock(fd);
        node.readError = got.errnum;
        if (got.bytes == 0)
            break;
        // Packed entries take fewer bytes than the system's records: one reservation per block.
        node.entries.reserve(node.entries.size() + std::size_t(got.bytes));
        reader.forEach(fd, [&](std::string_view name, fsys::Kind kind) {
            if (kind == fsys::Kind::Folder) {
                if (!deeper) {
                    if (target)
                        packed::append(node.entries, 'e', name);
                    return true;
                }
                ++folders;
            }
            if (kind == fsys::Kind::Skip)
                return true;
            packed::append(node.entries, kind == fsys::Kind::Folder ? 'd' : 'f', name);
            if (fileSizes && kind == fsys::Kind::File)
                node.sizes.push_back(fileSizeAt(fd, name));
            return true;
        });
    }
    if (keeping) {
        // A link's kind is what it names, which can change while its folder does not.
        if (stamp && !node.readError && reader.linksMet() == linksBefore &&
            trust->trusts(stamp->device, fd)) {
            node.toKeep = stamp;
            node.listedAt = listedAt;
        } else {
            listings->forget(node.path);
        }
    }
    // A listing that broke off gives no sub-folders, as the walk's own listing does.
    if (!node.readError)
        adoptChildren(this, node.path, node.depth, node.order, node.entries, skipFolder,
                      folders ? keep(opened.fd) : nullptr, node.children);
}

namespace {
bool hasFolders(std::string_view entries)
{
    bool folders = false;
    packed::forEach(entries, [&](char kind, std::string_view) { folders = folders || kind == 'd'; });
    return folders;
}
} // namespace

bool ReaderPool::listFromKept(Node& node)
{
    if (!keepsListings(node.depth) || !canName(node.path))
        return false;
    if (node.confirmed) {
        if (identify) {
            node.device = node.confirmed->stamp.device;
            node.inode = node.confirmed->stamp.inode;
        }
        adoptChildren(this, node.path, node.depth, node.order, node.confirmed->entries, skipFolder, nullptr,
                      node.children);
        return true;
    }
    const std::optional<ListingCache::Kept> kept = listings->find(node.path);
    if (!kept)
        return false;
    // On a share its sub-folders are asked from a handle on it, one name each: by their path from the listed
    // folder, a share without a client's cache is asked every part of it. On a disk the path costs less.
    const bool byHandle = trust->asksPerName(rootDevice);
    OpenResult handle;
    std::optional<fsys::FolderStamp> now;
    std::shared_ptr<const HeldFolder> held;
    if (byHandle) {
        handle = node.parent ? fsys::openFolderHandle(node.parent->fd.get(), fileNameOf(node.path).data())
                             : fsys::openFolderHandle(base.get(), node.path.c_str() + baseLength);
        if (!handle.fd.valid())
            return false;
        // Each question of a share is a round trip: its sub-folders are asked for while it is, each on the
        // bet that it did not change, and let go where it did. A level of the tree then costs one round trip,
        // not two.
        if (!identify && !oneFileSystem && hasFolders(kept->entries)) {
            held = keep(handle.fd);
            if (held) {
                adoptChildren(this, node.path, node.depth, node.order, kept->entries, skipFolder, held,
                              node.children);
                queueNodes(this, node.children);
                node.childrenQueued = true;
            }
        }
        now = fsys::folderStampOfHandle(held ? held->fd.get() : handle.fd.get());
    } else {
        now = node.parent ? fsys::folderStampAt(node.parent->fd.get(), fileNameOf(node.path).data())
                          : fsys::folderStampAt(base.get(), node.path.c_str() + baseLength);
    }
    if (!now || !(*now == kept->stamp) || !trust->trusts(now->device, -1)) {
        if (node.childrenQueued) {
            dropNodes(this, node.children);
            node.children.clear();
            node.childrenQueued = false;
        }
        return false;
    }
    node.parent.reset();
    if (node.childrenQueued) {
        node.entries.assign(kept->entries);
        return true;
    }
    if (identify) {
        node.device = now->device;
        node.inode = now->inode;
    }
    if (oneFileSystem && now->device != rootDevice) {
        node.otherMount = true;
        return true;
    }
    node.entries.assign(kept->entries);
    adoptChildren(this, node.path, node.depth, node.order, node.entries, skipFolder,
                  byHandle && hasFolders(node.entries) ? keep(handle.fd) : nullptr, node.children);
    return true;
}

void ReaderPool::keepListing(Node& node)
{
    if (node.toKeep) {
        listings->keep(node.path, *node.toKeep, node.listedAt, node.entries);
        node.toKeep.reset();
    }
}

std::shared_ptr<const HeldFolder> ReaderPool::keep(UniqueFd& folder)
{
    // Threads that test at once may each keep one more: the limit holds to within their number.
    if (held->load(std::memory_order_relaxed) >= heldAtMost)
        return nullptr;
    return std::make_shared<const HeldFolder>(std::move(folder), held);
}

OpenResult openNode(const ReaderPool& pool, Node& node)
{
    const std::shared_ptr<const HeldFolder> parent = std::move(node.parent);
    if (parent)
        return fsys::openSubFolder(parent->fd.get(), fileNameOf(node.path).data());
    return fsys::openBelow(pool.base.get(), node.path.c_str() + pool.baseLength);
}

void ReaderPool::drop(Node& node)
{
    switch (node.state) {
    case NodeState::Queued:  // the queue passes over it
    case NodeState::Reading: // its reader lets go of it
        node.state = NodeState::Dropped;
        break;
    case NodeState::Ready:
        node.state = NodeState::Dropped;
        --aheadFolders;
        aheadBytes -= node.entries.size();
        for (const NodePtr& child : node.children)
            drop(*child);
        break;
    case NodeState::Own:
    case NodeState::Taken:
    case NodeState::Dropped:
        break;
    }
}

void ReaderPool::wakeReaders(std::size_t count)
{
    const int free = std::min(idle, wanted - busy);
    for (int i = 0; i < free && std::size_t(i) < count; ++i)
        work.notify_one();
}

void ReaderPool::noteListing(const ListingNote& note)
{
    const int before = wanted;
    wanted = growth.afterListing(note);
    // The readers start the ones wanted beyond them (startWanted); those there take the queued folders now.
    if (wanted > before)
        wakeReaders(queue.size());
}

void ReaderPool::startWanted(std::unique_lock<std::mutex>& lock)
{
    for (int i = 0; i < 2 && !closing && running < wanted && !threadsTaken; ++i) {
        ++running;
        lock.unlock();
        std::thread started;
        try {
            started = std::thread([pool = shared_from_this()] { pool->serve(); });
        } catch (const std::system_error&) {
            // no thread to spare: the readers there are go on alone
        }
        lock.lock();
        if (!started.joinable()) {
            --running;
            wanted = std::min(wanted, running);
            ready.notify_all();
            return;
        }
        // A pool closed meanwhile has taken its threads to join: this one ends on its own.
        if (threadsTaken)
            started.detach();
        else
            threads.push_back(std::move(started));
    }
}

void ReaderPool::listTaken(fsys::DirectoryReader& reader, TargetFolderCheck* check, const NodePtr& node,
                           ThreadWaits& waits, std::unique_lock<std::mutex>& lock)
{
    // A walk that waits for listings has time to check names itself; one that is busy leaves them here.
    if (walkWaiting)
        check = nullptr;
    lock.unlock();
    waits.listingStarts();
    const auto startedAt = std::chrono::steady_clock::now();
    read(reader, *node);
    const auto endedAt = std::chrono::steady_clock::now();
    const auto took = endedAt - startedAt;
    Waited waited = took > SlowListing ? Waited::Read : Waited::No;
    // Only a listing that took a while can have waited for storage or a network (which leaves no block
    // read, only the thread's sleep); asking costs a call each.
    if (waited == Waited::No && took > MaybeFromStorage)
        waited = waits.renew();
    // Kept after the listing is timed: copying names is no wait for storage either.
    keepListing(*node);
    // After the listing is timed: checking names is no wait for storage.
    if (check)
        this->check(*check, *node);
    if (!lock.try_lock()) {
        lock.lock();
        waits.renew(); // a sleep for the lock is none of the next listing's
    }
    if (node->state == NodeState::Dropped) {
        --aheadFolders;
        for (const NodePtr& child : node->children)
            drop(*child);
        noteListing({endedAt, took, waited, queue.empty() || !roomAhead()});
        wakeReaders(queue.size());
        return;
    }
    node->state = NodeState::Ready;
    aheadBytes += node->entries.size();
    std::size_t queued = 0;
    if (!node->childrenQueued) {
        for (const NodePtr& child : node->children) {
            if (child->state == NodeState::Queued) {
                push(child);
                ++queued;
            }
        }
    }
    noteListing({endedAt, took, waited, queue.empty() || !roomAhead()});
    if (walkWaiting)
        ready.notify_all();
    // The one that listed this takes the first of them itself.
    if (queued > 1)
        wakeReaders(queued - 1);
}

void ReaderPool::push(const NodePtr& node)
{
    queue.push(node);
    // Bounded: while the picks that empty it are held back, its entries go stale and only cost memory.
    if (growth.grown() && shallow.size() < ShallowEntriesAtMost)
        shallow.push({node->depth, queuedCount++, node});
}

NodePtr ReaderPool::takeQueued(bool byReader)
{
    if (!growth.grown()) {
        if (!shallow.empty())
            shallow = {};
    } else if (byReader && (shallowNext = !shallowNext) && aheadFolders < AheadFolders / 2 &&
               aheadBytes < AheadBytes / 2 && held->load(std::memory_order_relaxed) < heldAtMost / 2) {
        // The deeper folders the walk wants next come from the other queue in turn, so that it is not left
        // waiting, and the room ahead is not spent on folders it reaches last. Nor are the folders held open
        // for their sub-folders: a sub-folder whose parent could not be held is opened by its whole path,
        // which a share without a client's cache is asked part by part.
        while (!shallow.empty()) {
            NodePtr node = shallow.top().node.lock();
            shallow.pop();
            if (node && node->state == NodeState::Queued) {
                node->state = NodeState::Reading;
                ++aheadFolders;
                return node;
            }
        }
    }
    while (!queue.empty()) {
        NodePtr node = queue.top();
        queue.pop();
        if (node->state != NodeState::Queued)
            continue; // the walk came to it first
        node->state = NodeState::Reading;
        ++aheadFolders;
        return node;
    }
    return nullptr;
}

void ReaderPool::serve()
{
    if (giveWay)
        fsys::giveWayToOtherThreads();
    fsys::DirectoryReader reader;
    const std::unique_ptr<TargetFolderCheck> check = makeCheck();
    ThreadWaits waits;
    waits.renew();
    std::unique_lock lock(mutex);
    for (;;) {
        if (running < wanted)
            startWanted(lock);
        const auto canWork = [this] {
            return closing || (!queue.empty() && busy < wanted && roomAhead() &&
                               !(stop && stop->load(std::memory_order_relaxed)));
        };
        if (!canWork()) {
            ++idle;
            work.wait(lock, canWork);
            --idle;
            waits.renew();
        }
        if (closing)
            break;
        const NodePtr node = takeQueued(true);
        if (!node)
            continue;
        ++busy;
        listTaken(reader, check.get(), node, waits, lock);
        --busy;
    }
    --running;
    ready.notify_all();
}

int readersAtStart(int most)
{
    // The walk's own thread lists too while it would wait, so one reader fewer than the cores fills them.
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(cores - 1, 1, std::max(1, most));
}

std::shared_ptr<ReaderPool> startReaderPool(int rootFd, const std::string& rootPath,
                                            const WalkSettings& settings, dev_t rootDevice, bool identify,
                                            std::shared_ptr<ListingTrust> trust,
                                            std::shared_ptr<const ConfirmedListings> confirmed)
{
    if (settings.readers <= 0)
        return nullptr;
    // Readers need a system that opens a path without following links; elsewhere the walk lists alone.
    if (!fsys::canOpenBelow())
        return nullptr;
    auto pool = std::make_shared<ReaderPool>();
    pool->base = fsys::duplicateFolder(rootFd).fd;
    if (!pool->base.valid())
        return nullptr;
    pool->baseLength = rootPath == "/" ? 1 : rootPath.size() + 1;
    pool->beforeOpen = settings.beforeOpen;
    pool->skipFolder = settings.skipFolder;
    pool->oneFileSystem = settings.oneFileSystem;
    pool->maxFolderDepth = settings.maxFolderDepth;
    pool->target = settings.target != nullptr;
    pool->fileSizes = settings.target && settings.target->wantsSizes();
    pool->targetSetup = settings.target;
    pool->listings = settings.listings;
    pool->trust = std::move(trust);
    pool->confirmed = std::move(confirmed);
    pool->walkCheck = pool->makeCheck();
    pool->identify = identify;
    pool->giveWay = settings.helpersGiveWay;
    pool->rootDevice = rootDevice;
    pool->keepAlive = settings.keepAlive;
    pool->stop = settings.stop;
    pool->heldAtMost = heldFoldersAtMost();
    pool->most = readersOnShareAtMost(settings.readers);
    pool->fewest = readersAtStart(settings.readers);
    pool->growth = ReaderGrowth(pool->fewest, settings.readers, pool->most,
                                settings.listings ? settings.listings->readersFor(rootDevice) : 0);
    pool->wanted = pool->growth.wanted();
    // A listing the walk takes from the readers counts as theirs do: on a share, those that sleep for its
    // answers make the readers grow, where counting them as quick would keep the readers from growing and
    // leave the walk to ask folder after folder itself. startReaderPool runs on that thread.
    pool->walkWaits.sleepsBetween = true;
    // The first readers start here, the rest from them: a thread takes a while to start, on some systems
    // a third of a millisecond, which a hundred readers for a share would cost the walk before it began.
    std::lock_guard lock(pool->mutex);
    pool->running = pool->fewest;
    for (int i = 0; i < pool->fewest; ++i)
        pool->threads.emplace_back([pool] { pool->serve(); });
    return pool;
}

namespace {
void beginClosingReaderPool(ReaderPool* pool)
{
    std::lock_guard lock(pool->mutex);
    pool->closing = true; // no reader is started after this
    pool->work.notify_all();
}
} // namespace

void closeReaderPool(std::shared_ptr<ReaderPool>& pool)
{
    if (!pool)
        return;
    if (pool->listings) {
        std::lock_guard lock(pool->mutex);
        pool->listings->noteReaders(pool->rootDevice, pool->growth.grown() ? pool->growth.wanted() : 0);
    }
    beginClosingReaderPool(pool.get());
    std::unique_lock lock(pool->mutex);
    // A reader inside an open that does not return (a dead mount) is not waited for beyond the grace.
    pool->ready.wait_for(lock, ReaderGrace, [&pool] { return pool->running == 0; });
    const bool allEnded = pool->running == 0;
    std::vector<std::thread> threads = std::move(pool->threads);
    pool->threadsTaken = true;
    pool->queue = {}; // with the folders it keeps open, even while a reader left behind holds the pool
    pool->shallow = {};
    lock.unlock();
    for (std::thread& t : threads) {
        if (allEnded)
            t.join();
        else
            t.detach();
    }
    pool.reset();
}

void queueNodes(ReaderPool* pool, const std::vector<NodePtr>& nodes)
{
    if (!pool || std::none_of(nodes.begin(), nodes.end(),
                              [](const NodePtr& n) { return n->state == NodeState::Queued; }))
        return;
    std::size_t queued = 0;
    std::lock_guard lock(pool->mutex);
    for (const NodePtr& n : nodes) {
        if (n->state == NodeState::Queued) {
            pool->push(n);
            ++queued;
        }
    }
    pool->wakeReaders(queued);
}

void dropNodes(ReaderPool* pool, const std::vector<NodePtr>& nodes)
{
    if (!pool)
        return;
    std::lock_guard lock(pool->mutex);
    for (const NodePtr& n : nodes)
        pool->drop(*n);
    pool->wakeReaders(pool->queue.size());
}

Taken takeListing(ReaderPool* pool, Node& node, const std::function<bool()>& stop,
                  const std::function<bool()>& whileWaiting)
{
    if (!pool)
        return Taken::Own;
    std::unique_lock lock(pool->mutex);
    if (node.state == NodeState::Queued) {
        node.state = NodeState::Own;
        return Taken::Own;
    }
    if (node.state == NodeState::Own)
        return Taken::Own;
    while (node.state == NodeState::Reading) {
        if (stop())
            return Taken::Stopped;
        lock.unlock();
        const bool didSomething = whileWaiting();
        lock.lock();
        if (didSomething)
            continue;
        // While listings come from memory the walk lists later folders itself rather than sleep: waking it
        // costs more than a listing, and its processor is then left idle.
        if (pool->wanted == pool->fewest && pool->roomAhead()) {
            if (const NodePtr other = pool->takeQueued()) {
                pool->listTaken(pool->walkReader, pool->walkCheck.get(), other, pool->walkWaits, lock);
                continue;
            }
        }
        pool->walkWaiting = true;
        pool->ready.wait_for(lock, std::chrono::milliseconds(5));
        pool->walkWaiting = false;
    }
    node.state = NodeState::Taken;
    const bool wasFull = !pool->roomAhead();
    --pool->aheadFolders;
    pool->aheadBytes -= node.entries.size();
    // A reader can wait on the allowance only when it was used up; one folder of it is free now.
    if (wasFull)
        pool->wakeReaders(1);
    return Taken::Listed;
}

} // namespace walkahead
