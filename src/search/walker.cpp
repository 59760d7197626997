// SPDX-License-Identifier: MIT
#include "search/walker.h"

#include "search/lengthunit.h"
#include "search/utf8name.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/stat.h>

namespace {

// Folders whose descriptors stay open while their sub-folders are walked. Past this, descriptors of folders
// higher up are closed and those folders reopened by name when the walk comes back to them.
constexpr int OpenFolderBudget = 128;
constexpr unsigned FilesBetweenClockReads = 1024;

struct Frame
{
    fsys::FolderFd fd;
    std::string prefix;     // the folder's path with one closing separator
    std::size_t nameStart;  // where the folder's own name begins in prefix
    std::string subFolders; // names, each closed by a NUL
    std::size_t next = 0;   // the next sub-folder to visit
};

class Walk
{
public:
    Walk(const WalkSettings& settings, const WalkDeliver& deliver)
        : m_settings(settings), m_deliver(deliver), m_filter(settings.filter)
    {
        m_clock.start();
    }

    void run(fsys::FolderFd root, const std::string& rootPath);

private:
    bool stopRequested() const { return m_settings.stop && m_settings.stop->load(std::memory_order_relaxed); }
    std::string_view pathOf(const Frame& f) const
    {
        std::string_view p = f.prefix;
        return p.size() > 1 ? p.substr(0, p.size() - 1) : p;
    }
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
    WalkReport m_pending;
    std::string m_header; // the folder entered last
    bool m_headerChanged = false;
    bool m_stopped = false;
    unsigned m_untimedFiles = 0;
    int m_openCount = 0;
    QElapsedTimer m_clock;
    std::u16string m_decoded;
};

void Walk::run(fsys::FolderFd root, const std::string& rootPath)
{
    m_rootPath = rootPath;
    m_frames.resize(1);
    Frame& top = m_frames[0];
    top.fd = std::move(root);
    top.prefix = rootPath == "/" ? rootPath : rootPath + '/';
    top.nameStart = top.prefix.size();
    m_rootPrefixSize = top.prefix.size();
    if (m_settings.oneFileSystem) {
        struct stat st;
        if (::fstat(top.fd.get(), &st) == 0)
            m_rootDevice = st.st_dev;
    }
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
        if (f.next >= f.subFolders.size()) {
            if (f.fd.valid())
                --m_openCount;
            f.fd.reset();
            --depth;
            continue;
        }
        if (stopRequested())
            break;
        const char* name = f.subFolders.c_str() + f.next;
        const std::size_t nameLen = std::strlen(name);
        f.next += nameLen + 1;
        if (m_settings.skipFolder) {
            const std::string path = f.prefix + std::string(name, nameLen);
            if (m_settings.skipFolder(path))
                continue;
        }
        int err = 0;
        const bool opened = openChild(depth, std::string_view(name, nameLen), err);
        ++depth;
        Frame& child = m_frames[std::size_t(depth)];
        if (!opened) {
            m_header.assign(pathOf(child));
            m_headerChanged = true;
            fail(child, 112, err);
            child.subFolders.clear();
            child.next = 0;
            continue;
        }
        if (m_settings.oneFileSystem) {
            struct stat st;
            if (::fstat(child.fd.get(), &st) == 0 && st.st_dev != m_rootDevice) {
                child.fd.reset();
                --m_openCount;
                --depth;
                continue;
            }
        }
        enter(child);
    }
    report();
}

bool Walk::openChild(int depth, std::string_view name, int& err)
{
    Frame& parent = m_frames[std::size_t(depth)];
    Frame& child = m_frames[std::size_t(depth + 1)];
    child.prefix.assign(parent.prefix).append(name).push_back('/');
    child.nameStart = parent.prefix.size();
    child.subFolders.clear();
    child.next = 0;
    child.fd.reset();

    if (m_settings.beforeOpen) {
        const std::string_view path(child.prefix.data(), child.prefix.size() - 1);
        if (const int e = m_settings.beforeOpen(path)) {
            err = e;
            return false;
        }
    }
    if (!parent.fd.valid()) {
        const int fd = reopen(depth, err);
        if (fd < 0)
            return false;
        parent.fd = fsys::FolderFd(fd);
        ++m_openCount;
    }
    // name lies in the parent's list of names, each closed by a NUL.
    child.fd = fsys::openSubFolder(parent.fd.get(), name.data(), err);
    if (!child.fd.valid())
        return false;
    ++m_openCount;
    // A parent with nothing left to visit needs no descriptor; a deep chain of single folders then holds two.
    if (parent.next >= parent.subFolders.size() || m_openCount > OpenFolderBudget) {
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
    if (!list(frame))
        frame.subFolders.clear();
    maybeReport();
}

bool Walk::list(Frame& frame)
{
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
                frame.subFolders.append(name).push_back('\0');
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

WalkJob::WalkJob(QObject* receiver, ThreadHandoff& handoff, quint64 token, fsys::FolderFd root,
                 std::string rootPath, WalkSettings settings, ReportFn onReport, FinishedFn onFinished)
    : m_receiver(receiver), m_handoff(handoff), m_token(token), m_onReport(std::move(onReport)),
      m_onFinished(std::move(onFinished))
{
    m_thread = std::thread([this, root = std::move(root), rootPath = std::move(rootPath),
                            settings = std::move(settings)]() mutable {
        walkFolder(std::move(root), rootPath, settings,
                   [this](WalkReport&& r) { return deliver(std::move(r)); });
        m_handoff.send([this] {
            QMetaObject::invokeMethod(
                m_receiver, [fn = m_onFinished, token = m_token] { fn(token); }, Qt::QueuedConnection);
        });
    });
}

WalkJob::~WalkJob()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void WalkJob::acknowledge()
{
    {
        std::lock_guard lock(m_mutex);
        m_acknowledged = true;
    }
    m_wake.notify_all();
}

void WalkJob::consumed(ResultBatch&& batch)
{
    {
        std::lock_guard lock(m_mutex);
        m_spare = std::move(batch);
        m_inFlight = false;
    }
    m_wake.notify_all();
}

ResultBatch WalkJob::deliver(WalkReport&& report)
{
    const bool waits = report.failure.has_value();
    ResultBatch spare;
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return !m_inFlight || m_cancelled; });
        if (m_cancelled)
            return spare;
        spare = std::move(m_spare);
        m_spare = ResultBatch();
        m_inFlight = true;
        m_acknowledged = false;
    }
    auto shared = std::make_shared<WalkReport>(std::move(report));
    m_handoff.send([&] {
        QMetaObject::invokeMethod(
            m_receiver, [fn = m_onReport, token = m_token, shared] { fn(token, *shared); },
            Qt::QueuedConnection);
    });
    if (waits) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_acknowledged || m_cancelled; });
    }
    return spare;
}
