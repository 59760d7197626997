// SPDX-License-Identifier: MIT
#include "search/readerpool.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

namespace walkahead {

// Makes the sub-folders of a folder just listed, marking those a reader can open as queued (the caller
// queues them). prefix is the folder's path with its closing separator; names are each closed by a NUL.
void adoptChildren(const ReaderPool* pool, std::string_view prefix, const std::vector<quint32>& order,
                   const std::string& names, const std::function<bool(std::string_view)>& skip,
                   std::vector<NodePtr>& out)
{
    quint32 index = 0;
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t len = std::strlen(names.c_str() + at);
        auto child = std::make_shared<Node>();
        child->path.reserve(prefix.size() + len);
        child->path.assign(prefix).append(names, at, len);
        if (skip && skip(child->path)) {
            at += len + 1;
            ++index;
            continue;
        }
        if (pool && child->path.size() - pool->baseLength <= LongestPathForReaders) {
            child->order.reserve(order.size() + 1);
            child->order = order;
            child->order.push_back(index);
            child->state = NodeState::Queued;
        }
        out.push_back(std::move(child));
        at += len + 1;
        ++index;
    }
}

void ReaderPool::read(fsys::DirectoryReader& reader, Node& node)
{
    // The path is only read here: the walk moves it out once the node is Ready or its own.
    if (beforeOpen) {
        if (const int e = beforeOpen(node.path)) {
            node.openError = e;
            return;
        }
    }
    const OpenResult opened = fsys::openBelow(base.get(), node.path.c_str() + baseLength);
    if (!opened.fd.valid()) {
        node.openError = opened.errnum;
        return;
    }
    const int fd = opened.fd.get();
    if (oneFileSystem) {
        if (onOtherDevice(fd, rootDevice)) {
            node.otherMount = true;
            return;
        }
    }
    std::string subFolders;
    for (;;) {
        const fsys::DirectoryReader::Block got = reader.readBlock(fd);
        node.readError = got.errnum;
        if (got.bytes == 0)
            break;
        reader.forEach(fd, [&](std::string_view name, fsys::Kind kind) {
            if (kind == fsys::Kind::Skip)
                return true;
            node.entries.push_back(kind == fsys::Kind::Folder ? 'd' : 'f');
            node.entries.append(name).push_back('\0');
            if (kind == fsys::Kind::Folder)
                subFolders.append(name).push_back('\0');
            return true;
        });
    }
    // A listing that broke off gives no sub-folders, as the walk's own listing does.
    if (!node.readError) {
        const std::string prefix = node.path + '/';
        adoptChildren(this, prefix, node.order, subFolders, skipFolder, node.children);
    }
}

void ReaderPool::wakeReaders(std::size_t count)
{
    const int free = std::min(idle, wanted - busy);
    for (int i = 0; i < free && std::size_t(i) < count; ++i)
        work.notify_one();
}

void ReaderPool::noteListing(bool slow)
{
    if (slow) {
        quickReads = 0;
        if (wanted < most) {
            wanted = most;
            // Started only now: idle readers cost a cached walk more than their share of the wake-ups.
            try {
                while (!closing && int(threads.size()) < most) {
                    threads.emplace_back([pool = shared_from_this()] { pool->serve(); });
                    ++running;
                }
            } catch (const std::system_error&) {
                // no thread to spare: the readers there are go on alone
            }
            wakeReaders(queue.size());
        }
    } else if (++quickReads >= QuickListingsToCalm) {
        quickReads = 0;
        wanted = fewest;
    }
}

void ReaderPool::serve()
{
    fsys::DirectoryReader reader;
    qint64 blocksRead = threadBlockReads();
    std::unique_lock lock(mutex);
    for (;;) {
        const auto canWork = [this] {
            return closing || (!queue.empty() && busy < wanted && aheadFolders < AheadFolders &&
                               aheadBytes < AheadBytes);
        };
        if (!canWork()) {
            ++idle;
            work.wait(lock, canWork);
            --idle;
        }
        if (closing)
            break;
        NodePtr node = queue.top();
        queue.pop();
        if (node->state != NodeState::Queued)
            continue; // the walk came to it first
        node->state = NodeState::Reading;
        ++aheadFolders;
        ++busy;
        lock.unlock();
        const auto startedAt = std::chrono::steady_clock::now();
        read(reader, *node);
        const qint64 blocks = threadBlockReads();
        const bool slow = blocks != blocksRead || std::chrono::steady_clock::now() - startedAt > SlowListing;
        blocksRead = blocks;
        lock.lock();
        --busy;
        noteListing(slow);
        node->state = NodeState::Ready;
        aheadBytes += node->entries.size();
        std::size_t queued = 0;
        for (const NodePtr& child : node->children) {
            if (child->state == NodeState::Queued) {
                queue.push(child);
                ++queued;
            }
        }
        if (walkWaiting)
            ready.notify_all();
        // This reader takes the first of them itself.
        if (queued > 1)
            wakeReaders(queued - 1);
    }
    --running;
    ready.notify_all();
}

std::shared_ptr<ReaderPool> startReaderPool(int rootFd, const std::string& rootPath,
                                            const WalkSettings& settings, dev_t rootDevice)
{
    if (settings.readers <= 0)
        return nullptr;
    auto pool = std::make_shared<ReaderPool>();
    pool->base = fsys::openSubFolder(rootFd, ".").fd;
    if (!pool->base.valid())
        return nullptr;
    // Readers need a system that opens a path without following links; elsewhere the walk lists alone.
    if (!fsys::openBelow(pool->base.get(), ".").fd.valid())
        return nullptr;
    pool->baseLength = rootPath == "/" ? 1 : rootPath.size() + 1;
    pool->beforeOpen = settings.beforeOpen;
    pool->skipFolder = settings.skipFolder;
    pool->oneFileSystem = settings.oneFileSystem;
    pool->rootDevice = rootDevice;
    pool->keepAlive = settings.keepAlive;
    pool->most = settings.readers;
    pool->fewest = std::min(settings.readers, int(std::max(2u, std::thread::hardware_concurrency())) * 3);
    pool->wanted = pool->fewest;
    std::lock_guard lock(pool->mutex);
    pool->running = pool->fewest;
    for (int i = 0; i < pool->fewest; ++i)
        pool->threads.emplace_back([pool] { pool->serve(); });
    return pool;
}

void beginClosingReaderPool(ReaderPool* pool)
{
    if (!pool)
        return;
    std::lock_guard lock(pool->mutex);
    pool->closing = true; // no reader is started after this
    pool->work.notify_all();
}

void closeReaderPool(std::shared_ptr<ReaderPool>& pool)
{
    if (!pool)
        return;
    beginClosingReaderPool(pool.get());
    std::unique_lock lock(pool->mutex);
    // A reader inside an open that does not return (a dead mount) is not waited for beyond the grace.
    pool->ready.wait_for(lock, ReaderGrace, [&pool] { return pool->running == 0; });
    const bool allEnded = pool->running == 0;
    std::vector<std::thread> threads = std::move(pool->threads);
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
    if (!pool)
        return;
    std::size_t queued = 0;
    std::lock_guard lock(pool->mutex);
    for (const NodePtr& n : nodes) {
        if (n->state == NodeState::Queued) {
            pool->queue.push(n);
            ++queued;
        }
    }
    pool->wakeReaders(queued);
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
        pool->walkWaiting = true;
        pool->ready.wait_for(lock, std::chrono::milliseconds(5));
        pool->walkWaiting = false;
    }
    node.state = NodeState::Taken;
    const bool wasFull = pool->aheadFolders >= AheadFolders || pool->aheadBytes >= AheadBytes;
    --pool->aheadFolders;
    pool->aheadBytes -= node.entries.size();
    // A reader can wait on the allowance only when it was used up; one folder of it is free now.
    if (wasFull)
        pool->wakeReaders(1);
    return Taken::Listed;
}

} // namespace walkahead
