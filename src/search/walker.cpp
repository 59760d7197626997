// SPDX-License-Identifier: MIT
#include "search/walker.h"

#include "search/lengthunit.h"
#include "search/utf8name.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <queue>
#include <vector>

#include <sys/stat.h>

namespace {

// Folders whose descriptors stay open while their sub-folders are walked. Past this, descriptors of folders
// higher up are closed and those folders reopened by name when the walk comes back to them.
constexpr int OpenFolderBudget = 128;
constexpr unsigned FilesBetweenClockReads = 1024;
// How far the readers may run ahead of the walk: listed folders not yet walked, and the bytes of their names.
constexpr std::size_t AheadFolders = 2048;
constexpr std::size_t AheadBytes = 16u << 20;
// A folder whose path below the listed folder is longer than this is listed by the walk itself, one name at
// a time, since no single call can name it.
constexpr std::size_t LongestPathForReaders = 3800;
// How long the walk waits for readers that were told to end before it leaves them to end on their own.
constexpr auto ReaderGrace = std::chrono::milliseconds(50);

enum class NodeState : std::uint8_t {
    Queued,  // waiting for a reader
    Reading, // a reader lists it
    Ready,   // listed, waiting for the walk
    Own,     // the walk lists it itself (taken from the queue, or never queued)
    Taken,   // the walk has its listing
};

// A sub-folder the walk will reach. Its entries, when a reader listed it, are a kind byte ('f' a file, 'd' a
// folder) followed by the name and a NUL, in listing order.
struct Node
{
    std::string path;           // the full path, no closing separator
    std::vector<quint32> order; // its place in the walk: child indices from the listed folder down
    NodeState state = NodeState::Own;
    int openError = 0;
    int readError = 0; // the listing broke off with it, after the entries read until then
    bool otherMount = false; // on another file system than the listed folder, which the walk must not enter
    std::string entries;
    std::vector<std::shared_ptr<Node>> children;
};
using NodePtr = std::shared_ptr<Node>;

struct EarlierLast
{
    bool operator()(const NodePtr& a, const NodePtr& b) const { return a->order > b->order; }
};

// The readers and what they share with the walk. Held by the readers too, so that one left inside a call
// that does not return still has all it touches.
struct ReaderPool
{
    std::mutex mutex;
    std::condition_variable work;  // readers wait here
    std::condition_variable ready; // the walk waits here
    std::priority_queue<NodePtr, std::vector<NodePtr>, EarlierLast> queue; // the earliest in walk order first
    std::size_t aheadFolders = 0;
    std::size_t aheadBytes = 0;
    bool closing = false;
    int running = 0;
    fsys::FolderFd base; // the listed folder, for paths below it
    std::size_t baseLength = 0; // of the listed folder's path with its closing separator
    std::function<int(std::string_view)> beforeOpen;
    std::function<bool(std::string_view)> skipFolder; // called on the readers' threads too
    bool oneFileSystem = false;
    dev_t rootDevice = 0;
    std::shared_ptr<const void> keepAlive;

    void read(fsys::DirectoryReader& reader, Node& node);
    void serve();
};

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
    int err = 0;
    const fsys::FolderFd fd = fsys::openBelow(base.get(), node.path.c_str() + baseLength, err);
    if (!fd.valid()) {
        node.openError = err;
        return;
    }
    if (oneFileSystem) {
        struct stat st;
        if (::fstat(fd.get(), &st) == 0 && st.st_dev != rootDevice) {
            node.otherMount = true;
            return;
        }
    }
    std::string subFolders;
    for (;;) {
        const int got = reader.readBlock(fd.get());
        if (got == 0)
            break;
        if (got < 0) {
            node.readError = -got;
            break;
        }
        reader.forEach(fd.get(), [&](std::string_view name, fsys::Kind kind) {
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

void ReaderPool::serve()
{
    fsys::DirectoryReader reader;
    std::unique_lock lock(mutex);
    for (;;) {
        work.wait(lock, [this] {
            return closing ||
                   (!queue.empty() && aheadFolders < AheadFolders && aheadBytes < AheadBytes);
        });
        if (closing)
            break;
        NodePtr node = queue.top();
        queue.pop();
        if (node->state != NodeState::Queued)
            continue; // the walk came to it first
        node->state = NodeState::Reading;
        ++aheadFolders;
        lock.unlock();
        read(reader, *node);
        lock.lock();
        node->state = NodeState::Ready;
        aheadBytes += node->entries.size();
        for (const NodePtr& child : node->children)
            if (child->state == NodeState::Queued)
                queue.push(child);
        ready.notify_all();
        if (!node->children.empty())
            work.notify_all();
    }
    --running;
    ready.notify_all();
}

struct Frame
{
    fsys::FolderFd fd;      // only while the walk lists the folder itself, or may open below it
    std::string prefix;     // the folder's path with one closing separator
    std::size_t nameStart;  // where the folder's own name begins in prefix
    std::vector<quint32> order;
    std::vector<NodePtr> children;
    std::size_t next = 0; // the next sub-folder to visit
};

class Walk
{
public:
    Walk(const WalkSettings& settings, const WalkDeliver& deliver)
        : m_settings(settings), m_deliver(deliver), m_filter(settings.filter)
    {
        m_clock.start();
    }
    ~Walk() { closePool(); }

    void run(fsys::FolderFd root, const std::string& rootPath);

private:
    bool stopRequested() const { return m_settings.stop && m_settings.stop->load(std::memory_order_relaxed); }
    std::string_view pathOf(const Frame& f) const
    {
        std::string_view p = f.prefix;
        return p.size() > 1 ? p.substr(0, p.size() - 1) : p;
    }
    void startPool(int rootFd, const std::string& rootPath);
    void closePool();
    void queue(const std::vector<NodePtr>& nodes);
    bool take(Node& node);
    void walkListed(Frame& frame, Node& node);
    void enter(Frame& frame);
    bool list(Frame& frame);
    void testFile(const Frame& frame, std::string_view name);
    bool openChild(int depth, std::string_view name, int& err);
    int reopen(int depth, int& err);
    void maybeReport();
    void report(std::optional<WalkFailure> failure = std::nullopt);
    void fail(const Frame& frame, int label, int err);

    const WalkSettings& m_settings;
    const WalkDeliver& m_deliver;
    NameFilter m_filter;
    fsys::DirectoryReader m_reader;
    std::vector<Frame> m_frames;
    std::string m_rootPath;
    std::size_t m_rootPrefixSize = 0; // what measured paths leave out: the listed folder and its separator
    dev_t m_rootDevice = 0;
    bool onOtherMount(int fd) const
    {
        struct stat st;
        return ::fstat(fd, &st) == 0 && st.st_dev != m_rootDevice;
    }
    WalkReport m_pending;
    std::string m_header; // the folder entered last
    bool m_headerChanged = false;
    bool m_stopped = false;
    unsigned m_untimedFiles = 0;
    int m_openCount = 0;
    QElapsedTimer m_clock;
    std::u16string m_decoded;
    std::string m_subFolders; // names of the folder the walk lists itself, each closed by a NUL
    std::shared_ptr<ReaderPool> m_pool;
    std::vector<std::thread> m_readers;
};

void Walk::startPool(int rootFd, const std::string& rootPath)
{
    if (m_settings.readers <= 0)
        return;
    auto pool = std::make_shared<ReaderPool>();
    int err = 0;
    pool->base = fsys::openSubFolder(rootFd, ".", err);
    if (!pool->base.valid())
        return;
    // Readers need a system that opens a path without following links; elsewhere the walk lists alone.
    if (!fsys::openBelow(pool->base.get(), ".", err).valid())
        return;
    pool->baseLength = rootPath == "/" ? 1 : rootPath.size() + 1;
    pool->beforeOpen = m_settings.beforeOpen;
    pool->skipFolder = m_settings.skipFolder;
    pool->oneFileSystem = m_settings.oneFileSystem;
    pool->rootDevice = m_rootDevice;
    pool->keepAlive = m_settings.keepAlive;
    pool->running = m_settings.readers;
    m_pool = pool;
    for (int i = 0; i < m_settings.readers; ++i)
        m_readers.emplace_back([pool] { pool->serve(); });
}

void Walk::closePool()
{
    if (!m_pool)
        return;
    {
        std::unique_lock lock(m_pool->mutex);
        m_pool->closing = true;
        m_pool->work.notify_all();
        // A reader inside an open that does not return (a dead mount) is not waited for beyond the grace.
        m_pool->ready.wait_for(lock, ReaderGrace, [this] { return m_pool->running == 0; });
        const bool allEnded = m_pool->running == 0;
        lock.unlock();
        for (std::thread& t : m_readers) {
            if (allEnded)
                t.join();
            else
                t.detach();
        }
    }
    m_readers.clear();
    m_pool.reset();
}

void Walk::queue(const std::vector<NodePtr>& nodes)
{
    if (!m_pool)
        return;
    bool any = false;
    std::lock_guard lock(m_pool->mutex);
    for (const NodePtr& n : nodes) {
        if (n->state == NodeState::Queued) {
            m_pool->queue.push(n);
            any = true;
        }
    }
    if (any)
        m_pool->work.notify_all();
}

// True when a reader listed the node; false when the walk must list it itself (or was stopped waiting).
bool Walk::take(Node& node)
{
    if (!m_pool)
        return false;
    std::unique_lock lock(m_pool->mutex);
    if (node.state == NodeState::Queued) {
        node.state = NodeState::Own;
        return false;
    }
    if (node.state == NodeState::Own)
        return false;
    while (node.state == NodeState::Reading) {
        if (stopRequested()) {
            m_stopped = true;
            return false;
        }
        // Rows found so far go out while the walk waits on the disk.
        if ((!m_pending.rows.empty() || m_headerChanged) && m_clock.elapsed() >= m_settings.sliceMs) {
            lock.unlock();
            report();
            lock.lock();
            continue;
        }
        m_pool->ready.wait_for(lock, std::chrono::milliseconds(5));
    }
    node.state = NodeState::Taken;
    --m_pool->aheadFolders;
    m_pool->aheadBytes -= node.entries.size();
    m_pool->work.notify_one();
    return true;
}

void Walk::run(fsys::FolderFd root, const std::string& rootPath)
{
    m_rootPath = rootPath;
    if (struct stat st; ::fstat(root.get(), &st) == 0)
        m_rootDevice = st.st_dev;
    startPool(root.get(), rootPath);
    m_frames.resize(1);
    Frame& top = m_frames[0];
    top.fd = std::move(root);
    top.prefix = rootPath == "/" ? rootPath : rootPath + '/';
    top.nameStart = top.prefix.size();
    m_rootPrefixSize = top.prefix.size();
    m_openCount = 1;
    enter(top);
    // The listed folder's own header goes out at once, so that even a walk that is over at its first check
    // shows which folder it was on.
    report();

    int depth = 0;
    while (depth >= 0 && !m_stopped) {
        // Grown before any reference into the stack is taken: growing moves the frames.
        if (m_frames.size() < std::size_t(depth) + 2)
            m_frames.resize(std::size_t(depth) + 2);
        Frame& f = m_frames[std::size_t(depth)];
        if (f.next >= f.children.size()) {
            if (f.fd.valid())
                --m_openCount;
            f.fd.reset();
            f.children.clear();
            --depth;
            continue;
        }
        if (stopRequested())
            break;
        // The frame lets go of the node once walked, so that listings ahead are the only ones kept.
        const NodePtr node = std::move(f.children[f.next++]);
        if (m_settings.beforeEnter)
            m_settings.beforeEnter(node->path);
        Frame& child = m_frames[std::size_t(depth) + 1];
        if (take(*node)) {
            if (node->otherMount)
                continue;
            ++depth;
            child.fd.reset();
            child.prefix.assign(node->path).push_back('/');
            child.nameStart = node->path.rfind('/') + 1;
            child.order = std::move(node->order);
            child.next = 0;
            child.children.clear();
            walkListed(child, *node);
            continue;
        }
        if (m_stopped)
            break;
        const std::size_t slash = node->path.rfind('/');
        const std::string name = node->path.substr(slash + 1);
        // Copied, not moved: a node the walk came to first may still sit in the readers' queue, which compares.
        child.order = node->order;
        int err = 0;
        const bool opened = openChild(depth, name, err);
        ++depth;
        if (!opened) {
            m_header.assign(pathOf(child));
            m_headerChanged = true;
            fail(child, 112, err);
            child.children.clear();
            child.next = 0;
            continue;
        }
        if (m_settings.oneFileSystem && onOtherMount(child.fd.get())) {
            child.fd.reset();
            --m_openCount;
            --depth;
            continue;
        }
        enter(child);
    }
    report();
    closePool();
}

// A folder a reader listed: the same steps as enter and list, on its entries.
void Walk::walkListed(Frame& frame, Node& node)
{
    m_header.assign(pathOf(frame));
    m_headerChanged = true;
    if (node.openError) {
        fail(frame, 112, node.openError);
        maybeReport();
        return;
    }
    const char* p = node.entries.data();
    const char* const end = p + node.entries.size();
    while (p < end) {
        const char kind = *p++;
        const std::size_t len = std::strlen(p);
        if (kind == 'f') {
            if (stopRequested()) {
                m_stopped = true;
                return;
            }
            testFile(frame, std::string_view(p, len));
        }
        p += len + 1;
    }
    if (node.readError) {
        fail(frame, 112, node.readError);
        maybeReport();
        return;
    }
    frame.children = std::move(node.children);
    maybeReport();
}

bool Walk::openChild(int depth, std::string_view name, int& err)
{
    Frame& parent = m_frames[std::size_t(depth)];
    Frame& child = m_frames[std::size_t(depth + 1)];
    child.prefix.assign(parent.prefix).append(name).push_back('/');
    child.nameStart = parent.prefix.size();
    child.children.clear();
    child.next = 0;
    child.fd.reset();

    const std::string_view path(child.prefix.data(), child.prefix.size() - 1);
    if (m_settings.beforeOpen) {
        if (const int e = m_settings.beforeOpen(path)) {
            err = e;
            return false;
        }
    }
    if (m_pool && path.size() - m_pool->baseLength <= LongestPathForReaders) {
        // A folder the walk came to before any reader: opened by its path, as a reader would.
        const std::string below(path.substr(m_pool->baseLength));
        child.fd = fsys::openBelow(m_pool->base.get(), below.c_str(), err);
        if (!child.fd.valid())
            return false;
        ++m_openCount;
        return true;
    }
    if (!parent.fd.valid()) {
        const int fd = reopen(depth, err);
        if (fd < 0)
            return false;
        parent.fd = fsys::FolderFd(fd);
        ++m_openCount;
    }
    child.fd = fsys::openSubFolder(parent.fd.get(), std::string(name).c_str(), err);
    if (!child.fd.valid())
        return false;
    ++m_openCount;
    // A parent with nothing left to visit needs no descriptor; a deep chain of single folders then holds two.
    if (parent.next >= parent.children.size() || m_openCount > OpenFolderBudget) {
        parent.fd.reset();
        --m_openCount;
    }
    return true;
}

int Walk::reopen(int depth, int& err)
{
    // Start from the nearest folder above that is still open, or from the listed folder's path.
    int from = depth - 1;
    while (from >= 0 && !m_frames[std::size_t(from)].fd.valid())
        --from;
    fsys::FolderFd current;
    int at = from;
    if (from < 0) {
        current = fsys::openFolder(m_rootPath.c_str(), err);
        at = 0;
    } else {
        current = fsys::openSubFolder(m_frames[std::size_t(from)].fd.get(), ".", err);
    }
    if (!current.valid())
        return -1;
    for (int k = at + 1; k <= depth; ++k) {
        const Frame& f = m_frames[std::size_t(k)];
        const std::string name = f.prefix.substr(f.nameStart, f.prefix.size() - 1 - f.nameStart);
        current = fsys::openSubFolder(current.get(), name.c_str(), err);
        if (!current.valid())
            return -1;
    }
    return current.release();
}

void Walk::enter(Frame& frame)
{
    const std::string_view path = pathOf(frame);
    m_header.assign(path);
    m_headerChanged = true;
    if (list(frame)) {
        adoptChildren(m_pool.get(), frame.prefix, frame.order, m_subFolders, m_settings.skipFolder, frame.children);
        queue(frame.children);
    }
    // Below a folder the readers can name, everything is opened by its path: no descriptor need stay open.
    if (m_pool && frame.fd.valid() && frame.prefix.size() - 1 - std::min(frame.prefix.size() - 1, m_pool->baseLength) <= LongestPathForReaders) {
        frame.fd.reset();
        --m_openCount;
    }
    maybeReport();
}

bool Walk::list(Frame& frame)
{
    m_subFolders.clear();
    const int fd = frame.fd.get();
    for (;;) {
        const int got = m_reader.readBlock(fd);
        if (got == 0)
            return true;
        if (got < 0) {
            fail(frame, 112, -got);
            return false;
        }
        const bool whole = m_reader.forEach(fd, [&](std::string_view name, fsys::Kind kind) {
            if (kind == fsys::Kind::Folder) {
                m_subFolders.append(name).push_back('\0');
            } else if (kind == fsys::Kind::File) {
                if (stopRequested()) {
                    m_stopped = true;
                    return false;
                }
                testFile(frame, name);
            }
            return true;
        });
        if (!whole)
            return false;
    }
}

void Walk::testFile(const Frame& frame, std::string_view name)
{
    if (++m_untimedFiles >= FilesBetweenClockReads) {
        m_untimedFiles = 0;
        maybeReport();
    }
    const LiveCriteria::Snapshot c = m_settings.criteria->load();
    if (!c.usable)
        return;
    std::optional<std::size_t> nameUnits;
    if (m_filter.mode() != NameFilter::Mode::None) {
        decodeUtf8(name, m_decoded);
        if (!m_filter.passes(m_decoded))
            return;
        nameUnits = m_decoded.size();
    }
    const std::size_t length =
        measuredLength(c.unit, std::string_view(frame.prefix).substr(m_rootPrefixSize), name, nameUnits);
    if (!lengthPasses(c, length))
        return;
    ResultBatch& rows = m_pending.rows;
    const std::size_t size = frame.prefix.size() + name.size();
    rows.entries.push_back(
        {quint32(rows.bytes.size()), quint32(size), quint16(std::min<std::size_t>(length, 0xFFFF))});
    rows.bytes.append(frame.prefix).append(name);
    if (rows.entries.size() >= m_settings.maxRows)
        report();
}

void Walk::maybeReport()
{
    if (m_clock.elapsed() >= m_settings.sliceMs)
        report();
}

void Walk::report(std::optional<WalkFailure> failure)
{
    if (m_pending.rows.empty() && !m_headerChanged && !failure) {
        m_clock.restart();
        return;
    }
    WalkReport out;
    out.rows = std::move(m_pending.rows);
    if (m_headerChanged)
        out.header = QByteArray(m_header.data(), qsizetype(m_header.size()));
    out.failure = std::move(failure);
    m_headerChanged = false;
    m_pending.rows = m_deliver(std::move(out));
    m_pending.rows.clear();
    m_clock.restart();
}

void Walk::fail(const Frame& frame, int label, int err)
{
    const std::string_view path = pathOf(frame);
    report(WalkFailure{label, fsys::errorDescription(err), QByteArray(path.data(), qsizetype(path.size()))});
}

} // namespace

void walkFolder(fsys::FolderFd root, const std::string& rootPath, const WalkSettings& settings,
                const WalkDeliver& deliver)
{
    Walk(settings, deliver).run(std::move(root), rootPath);
}

std::string folderPathForWalk(const QByteArray& listed)
{
    std::string path(listed.constData(), std::size_t(listed.size()));
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

struct WalkJob::Shared
{
    explicit Shared(const ThreadHandoff& h) : handoff(h) {}
    QObject* receiver = nullptr;
    ThreadHandoff handoff; // shares the receiver's gate
    quint64 token = 0;
    ReportFn onReport;
    FinishedFn onFinished;
    std::mutex mutex;
    std::condition_variable wake;
    bool acknowledged = false;
    bool inFlight = false;
    bool cancelled = false;
    bool ended = false;
    ResultBatch spare;

    ResultBatch deliver(WalkReport&& report);
    // Runs post on the receiver's thread unless the job was given up; holding the lock, so that the receiver
    // is never touched once the destructor has given up the thread.
    template <class F> void post(F&& f)
    {
        std::lock_guard lock(mutex);
        if (cancelled)
            return;
        handoff.send([&] { QMetaObject::invokeMethod(receiver, std::forward<F>(f), Qt::QueuedConnection); });
    }
};

WalkJob::WalkJob(QObject* receiver, const ThreadHandoff& handoff, quint64 token, QByteArray listedPath,
                 WalkSettings settings, ReportFn onReport, FinishedFn onFinished)
    : m_shared(std::make_shared<Shared>(handoff)), m_token(token)
{
    m_shared->receiver = receiver;
    m_shared->token = token;
    m_shared->onReport = std::move(onReport);
    m_shared->onFinished = std::move(onFinished);
    m_thread = std::thread([shared = m_shared, listedPath = std::move(listedPath),
                            settings = std::move(settings)]() mutable {
        const auto deliver = [&shared](WalkReport&& r) { return shared->deliver(std::move(r)); };
        int err = 0;
        fsys::FolderFd root = fsys::openFolder(listedPath.constData(), err);
        if (root.valid()) {
            walkFolder(std::move(root), folderPathForWalk(listedPath), settings, deliver);
        } else {
            WalkReport report;
            report.failure = WalkFailure{132, fsys::errorDescription(err), listedPath, true};
            deliver(std::move(report));
        }
        shared->post([fn = shared->onFinished, token = shared->token] { fn(token); });
        std::lock_guard lock(shared->mutex);
        shared->ended = true;
        shared->wake.notify_all();
    });
}

WalkJob::~WalkJob()
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->cancelled = true;
    m_shared->wake.notify_all();
    const bool ended = m_shared->wake.wait_for(lock, std::chrono::milliseconds(m_graceMs),
                                               [this] { return m_shared->ended; });
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
}

bool WalkJob::finished() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->ended;
}

void WalkJob::acknowledge()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->acknowledged = true;
    m_shared->wake.notify_all();
}

void WalkJob::consumed(ResultBatch&& batch)
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->spare = std::move(batch);
    m_shared->inFlight = false;
    m_shared->wake.notify_all();
}

ResultBatch WalkJob::Shared::deliver(WalkReport&& report)
{
    const bool waits = report.failure.has_value();
    ResultBatch batch;
    {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return !inFlight || cancelled; });
        if (cancelled)
            return batch;
        batch = std::move(spare);
        spare = ResultBatch();
        inFlight = true;
        acknowledged = false;
    }
    post([fn = onReport, token = token, shared = std::make_shared<WalkReport>(std::move(report))] {
        fn(token, *shared);
    });
    if (waits) {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return acknowledged || cancelled; });
    }
    return batch;
}
