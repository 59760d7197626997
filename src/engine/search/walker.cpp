// SPDX-License-Identifier: MIT
#include "search/walker.h"

#include "search/bindmounts.h"
#include "search/lengthunit.h"
#include "search/readerpool.h"
#include "search/utf8name.h"

#include <QElapsedTimer>

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>

namespace {

// Folders whose descriptors stay open while their sub-folders are walked. Past this, descriptors of folders
// higher up are closed and those folders reopened by name when the walk comes back to them.
constexpr int OpenFolderBudget = 128;
constexpr unsigned FilesBetweenClockReads = 1024;

using namespace walkahead;

struct Frame
{
    UniqueFd fd;           // only while the walk lists the folder itself, or may open below it
    std::string prefix;    // the folder's path with one closing separator
    std::size_t nameStart; // where the folder's own name begins in prefix
    unsigned depth = 0;    // folders between it and the listed folder, itself included
    std::vector<quint32> order;
    std::vector<NodePtr> children;
    std::size_t next = 0; // the next sub-folder to visit
    // A target check's problems of sub-folders to be entered, by their place among the sub-folders: each
    // one's row waits until the walk reaches it, so that it comes before its contents and takes "cannot be
    // read" with its other reasons.
    std::vector<std::pair<quint32, std::vector<TargetProblem>>> deferred;
    std::size_t deferredNext = 0;
};

class Walk
{
public:
    Walk(const WalkSettings& settings, const WalkDeliver& deliver)
        : m_settings(settings), m_deliver(deliver), m_filter(settings.filter)
    {
        if (const TargetCheckSetup* target = settings.target.get(); target && target->profile) {
            m_check =
                std::make_unique<TargetFolderCheck>(*target->profile, target->rules, target->targetFolder);
            m_fileSizes = target->wantsSizes();
        }
        m_clock.start();
    }
    ~Walk() { closeReaderPool(m_pool); }

    void run(UniqueFd root, const std::string& rootPath);

private:
    bool stopRequested() const { return m_settings.stop && m_settings.stop->load(std::memory_order_relaxed); }
    std::string_view pathOf(const Frame& f) const
    {
        std::string_view p = f.prefix;
        return p.size() > 1 ? p.substr(0, p.size() - 1) : p;
    }
    bool take(Node& node);
    void walkListed(Frame& frame, Node& node);
    void enter(Frame& frame);
    bool list(Frame& frame);
    void testFile(const Frame& frame, std::string_view name);
    int openChild(int depth, std::string_view name, Node& node);
    OpenResult reopen(int depth);
    void maybeReport();
    void report(std::optional<WalkFailure> failure = std::nullopt, bool last = false);
    void fail(const Frame& frame, int err);
    void reportBeforeWaiting()
    {
        if (m_settings.reportBeforeWaiting && !m_pending.rows.empty())
            report();
    }
    bool firstMeeting(dev_t device, ino_t inode, std::string_view path);
    void checkFolder(Frame& frame, const std::string& items, const std::vector<qint64>& sizes, int err);
    void folderRow(std::string_view path, int err);
    void targetRow(std::string_view prefix, std::string_view name, bool folder,
                   const std::vector<TargetProblem>& problems);
    std::vector<TargetProblem> takeDeferred(Frame& parent, quint32 place);

    struct FolderId
    {
        dev_t device;
        ino_t inode;
        bool operator==(const FolderId&) const = default;
    };
    struct FolderIdHash
    {
        std::size_t operator()(const FolderId& id) const
        {
            return std::hash<ino_t>()(id.inode) ^ (std::hash<dev_t>()(id.device) * 0x9E3779B97F4A7C15ull);
        }
    };

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
    std::string m_subFolders; // of the folder the walk lists itself, packed
    std::shared_ptr<ReaderPool> m_pool;
    // Only where a bind mount can show a folder twice: elsewhere asking each folder would cost a call each.
    bool m_identify = false;
    std::unordered_set<FolderId, FolderIdHash> m_met;
    // A target check only.
    std::unique_ptr<TargetFolderCheck> m_check;
    bool m_fileSizes = false;
    TargetTally m_tally;
    std::string m_items; // the entries of the folder the walk lists itself, packed
    std::vector<qint64> m_itemSizes;
    std::vector<TargetProblem> m_reachedOwn; // the reasons of the sub-folder just reached, for its own row
    std::string m_rowPath;
    std::vector<TargetProblem> m_itemProblems;
};

// True when a reader listed the node; false when the walk must list it itself (or was stopped waiting).
bool Walk::take(Node& node)
{
    // Rows found so far go out while the walk waits on the disk.
    const auto stop = [this] { return stopRequested(); };
    const auto sendWaiting = [this] {
        const bool rowsWaiting = !m_pending.rows.empty();
        if (!rowsWaiting && !m_headerChanged)
            return false;
        if (m_clock.elapsed() < m_settings.sliceMs && !(rowsWaiting && m_settings.reportBeforeWaiting))
            return false;
        report();
        return true;
    };
    const Taken taken = takeListing(m_pool.get(), node, stop, sendWaiting);
    m_stopped = m_stopped || taken == Taken::Stopped;
    return taken == Taken::Listed;
}

void Walk::run(UniqueFd root, const std::string& rootPath)
{
    m_rootPath = rootPath;
    m_identify = foldersMayRepeat(root.get());
    if (struct stat st; ::fstat(root.get(), &st) == 0) {
        m_rootDevice = st.st_dev;
        if (m_identify)
            m_met.insert({st.st_dev, st.st_ino});
    }
    m_pool = startReaderPool(root.get(), rootPath, m_settings, m_rootDevice, m_identify);
    m_frames.resize(1);
    Frame& top = m_frames[0];
    top.fd = std::move(root);
    top.prefix = rootPath == "/" ? rootPath : rootPath + '/';
    top.nameStart = top.prefix.size();
    top.depth = 0;
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
            // Reasons of sub-folders never reached (left out by skipFolder) go with them.
            f.deferred.clear();
            f.deferredNext = 0;
            --depth;
            continue;
        }
        if (stopRequested())
            break;
        // The frame lets go of the node once walked, so that listings ahead are the only ones kept.
        const NodePtr node = std::move(f.children[f.next++]);
        if (m_settings.beforeEnter)
            m_settings.beforeEnter(node->path);
        if (m_check)
            m_reachedOwn = takeDeferred(f, node->place);
        Frame& child = m_frames[std::size_t(depth) + 1];
        child.deferred.clear();
        child.deferredNext = 0;
        if (take(*node)) {
            if (node->otherMount) {
                folderRow(node->path, 0);
                continue;
            }
            if (m_identify && node->inode != 0 && !firstMeeting(node->device, node->inode, node->path)) {
                folderRow(node->path, 0);
                dropNodes(m_pool.get(), node->children);
                continue;
            }
            ++depth;
            child.fd.reset();
            child.prefix.assign(node->path).push_back('/');
            child.nameStart = node->path.rfind('/') + 1;
            child.order = std::move(node->order);
            child.depth = node->depth;
            child.next = 0;
            child.children.clear();
            walkListed(child, *node);
            continue;
        }
        if (m_stopped)
            break;
        const std::size_t slash = node->path.rfind('/');
        const std::string name = node->path.substr(slash + 1);
        // Copied, not moved: a node the walk came to first may still sit in the readers' queue, which
        // compares.
        child.order = node->order;
        child.depth = node->depth;
        const int err = openChild(depth, name, *node);
        ++depth;
        if (err) {
            m_header.assign(pathOf(child));
            m_headerChanged = true;
            if (m_check)
                folderRow(pathOf(child), err);
            else
                fail(child, err);
            child.children.clear();
            child.next = 0;
            continue;
        }
        if (m_settings.oneFileSystem && onOtherDevice(child.fd.get(), m_rootDevice)) {
            folderRow(pathOf(child), 0);
            child.fd.reset();
            --m_openCount;
            --depth;
            continue;
        }
        if (m_identify) {
            struct stat st;
            if (::fstat(child.fd.get(), &st) == 0 && !firstMeeting(st.st_dev, st.st_ino, pathOf(child))) {
                folderRow(pathOf(child), 0);
                child.fd.reset();
                --m_openCount;
                --depth;
                continue;
            }
        }
        enter(child);
    }
    // The readers end first, so that the last rows and the end of the walk reach the window together: one
    // wake-up of its thread, not two.
    closeReaderPool(m_pool);
    report(std::nullopt, true);
}

// A folder a reader listed: the same steps as enter and list, on its entries.
void Walk::walkListed(Frame& frame, Node& node)
{
    m_header.assign(pathOf(frame));
    m_headerChanged = true;
    if (m_check) {
        if (node.openError)
            folderRow(pathOf(frame), node.openError);
        else if (stopRequested())
            m_stopped = true;
        else
            checkFolder(frame, node.entries, node.sizes, node.readError);
        if (!node.openError && !node.readError)
            frame.children = std::move(node.children);
        maybeReport();
        return;
    }
    if (node.openError) {
        fail(frame, node.openError);
        maybeReport();
        return;
    }
    packed::forEach(node.entries, [&](char kind, std::string_view name) {
        if (kind != 'f' || m_stopped)
            return;
        if (stopRequested())
            m_stopped = true;
        else
            testFile(frame, name);
    });
    if (m_stopped)
        return;
    if (node.readError) {
        fail(frame, node.readError);
        maybeReport();
        return;
    }
    frame.children = std::move(node.children);
    maybeReport();
}

// 0 when the child's frame holds its open folder, else the errno.
int Walk::openChild(int depth, std::string_view name, Node& node)
{
    Frame& parent = m_frames[std::size_t(depth)];
    Frame& child = m_frames[std::size_t(depth + 1)];
    child.prefix.assign(parent.prefix).append(name).push_back('/');
    child.nameStart = parent.prefix.size();
    child.children.clear();
    child.next = 0;
    child.fd.reset();

    const std::string_view path(child.prefix.data(), child.prefix.size() - 1);
    reportBeforeWaiting();
    if (m_settings.beforeOpen) {
        if (const int e = m_settings.beforeOpen(path))
            return e;
    }
    if (m_pool && m_pool->canName(path)) {
        // A folder the walk came to before any reader: opened as a reader would.
        OpenResult opened = openNode(*m_pool, node);
        if (!opened.fd.valid())
            return opened.errnum;
        child.fd = std::move(opened.fd);
        ++m_openCount;
        return 0;
    }
    if (!parent.fd.valid()) {
        OpenResult reopened = reopen(depth);
        if (!reopened.fd.valid())
            return reopened.errnum;
        parent.fd = std::move(reopened.fd);
        ++m_openCount;
    }
    OpenResult opened = fsys::openSubFolder(parent.fd.get(), std::string(name).c_str());
    if (!opened.fd.valid())
        return opened.errnum;
    child.fd = std::move(opened.fd);
    ++m_openCount;
    // A parent with nothing left to visit needs no descriptor; a deep chain of single folders then holds two.
    if (parent.next >= parent.children.size() || m_openCount > OpenFolderBudget) {
        parent.fd.reset();
        --m_openCount;
    }
    return 0;
}

OpenResult Walk::reopen(int depth)
{
    // Start from the nearest folder above that is still open, or from the listed folder's path.
    int from = depth - 1;
    while (from >= 0 && !m_frames[std::size_t(from)].fd.valid())
        --from;
    const int at = std::max(from, 0);
    OpenResult current = from < 0 ? fsys::openFolder(m_rootPath.c_str())
                                  : fsys::openSubFolder(m_frames[std::size_t(from)].fd.get(), ".");
    if (!current.fd.valid())
        return current;
    for (int k = at + 1; k <= depth; ++k) {
        const Frame& f = m_frames[std::size_t(k)];
        const std::string name = f.prefix.substr(f.nameStart, f.prefix.size() - 1 - f.nameStart);
        current = fsys::openSubFolder(current.fd.get(), name.c_str());
        if (!current.fd.valid())
            return current;
    }
    return current;
}

void Walk::enter(Frame& frame)
{
    const std::string_view path = pathOf(frame);
    m_header.assign(path);
    m_headerChanged = true;
    // Below a folder the readers can name, sub-folders are opened from a kept descriptor or by their path,
    // so the frame holds none.
    const bool readersName = m_pool && frame.fd.valid() && m_pool->canName(path);
    if (list(frame)) {
        std::shared_ptr<const HeldFolder> kept;
        if (readersName && !m_subFolders.empty())
            kept = m_pool->keep(frame.fd);
        adoptChildren(m_pool.get(), path, frame.depth, frame.order, m_subFolders, m_settings.skipFolder, kept,
                      frame.children);
        queueNodes(m_pool.get(), frame.children);
    }
    if (readersName) {
        frame.fd.reset();
        --m_openCount;
    }
    maybeReport();
}

bool Walk::list(Frame& frame)
{
    m_subFolders.clear();
    if (m_check) {
        m_items.clear();
        m_itemSizes.clear();
    }
    const int fd = frame.fd.get();
    const bool deeper = deeperWalked(frame.depth, m_settings.maxFolderDepth);
    for (;;) {
        reportBeforeWaiting();
        const fsys::DirectoryReader::Block got = m_reader.readBlock(fd);
        if (got.errnum) {
            if (m_check) {
                // A sub-folder becomes a row; the listed folder itself stays a failure.
                checkFolder(frame, m_items, m_itemSizes, frame.depth > 0 ? got.errnum : 0);
                if (frame.depth > 0)
                    return false;
            }
            fail(frame, got.errnum);
            return false;
        }
        if (got.bytes == 0) {
            if (m_check)
                checkFolder(frame, m_items, m_itemSizes, 0);
            return true;
        }
        const bool whole = m_reader.forEach(fd, [&](std::string_view name, fsys::Kind kind) {
            if (kind == fsys::Kind::Folder) {
                if (deeper)
                    packed::append(m_subFolders, 'd', name);
                if (m_check)
                    packed::append(m_items, deeper ? 'd' : 'e', name);
            } else if (kind == fsys::Kind::File) {
                if (stopRequested()) {
                    m_stopped = true;
                    return false;
                }
                if (!m_check) {
                    testFile(frame, name);
                } else {
                    packed::append(m_items, 'f', name);
                    if (m_fileSizes)
                        m_itemSizes.push_back(fileSizeAt(fd, name));
                }
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
    const std::string_view below = std::string_view(frame.prefix).substr(m_rootPrefixSize);
    if (c.unit == LengthUnit::Name || c.unit == LengthUnit::Path) {
        const std::size_t bytes = name.size() + (c.unit == LengthUnit::Path ? below.size() : 0);
        if (!someLengthPasses(c, (bytes + 2) / 3, bytes))
            return;
    }
    std::optional<std::size_t> nameUnits;
    if (m_filter.mode() != NameFilter::Mode::None) {
        decodeUtf8(name, m_decoded);
        if (!m_filter.passes(m_decoded))
            return;
        nameUnits = m_decoded.size();
    }
    const std::size_t length = measuredLength(c.unit, below, name, nameUnits);
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

// False, after telling whoever asked, for a folder walked before.
bool Walk::firstMeeting(dev_t device, ino_t inode, std::string_view path)
{
    if (m_met.insert({device, inode}).second)
        return true;
    if (m_settings.repeatedFolder)
        m_settings.repeatedFolder(path);
    return false;
}

// Checks one folder's items together (collisions are among them) and adds a row for each item with a
// problem, in listing order; a sub-folder to be entered keeps its reasons until the walk reaches it. err: the
// listing broke off (its items are those read until then), and none of its sub-folders is entered.
void Walk::checkFolder(Frame& frame, const std::string& items, const std::vector<qint64>& sizes, int err)
{
    if (frame.depth > 0)
        folderRow(pathOf(frame), err);
    const std::string_view below = std::string_view(frame.prefix).substr(m_rootPrefixSize);
    m_check->beginFolder(QByteArray(below.data(), qsizetype(below.size())));
    std::size_t file = 0;
    packed::forEach(items, [&](char kind, std::string_view name) {
        const bool folder = kind != 'f';
        const qint64 size = !folder && file < sizes.size() ? sizes[file] : 0;
        file += folder ? 0 : 1;
        m_check->addName(name, folder, size);
        ++(folder ? m_tally.folders : m_tally.files);
    });
    const std::vector<IndexedProblem> problems = m_check->finishFolder();
    frame.deferred.clear();
    frame.deferredNext = 0;
    if (problems.empty())
        return;
    int index = 0;
    quint32 place = 0; // among the sub-folders to be entered, as adoptChildren counts them
    auto next = problems.begin();
    packed::forEach(items, [&](char kind, std::string_view name) {
        const int at = index++;
        const quint32 folderPlace = kind == 'd' ? place++ : 0;
        if (next == problems.end() || next->index != at)
            return;
        m_itemProblems.clear();
        for (; next != problems.end() && next->index == at; ++next)
            m_itemProblems.push_back(next->problem);
        const bool folder = kind != 'f';
        (folder ? m_tally.folderSummary : m_tally.fileSummary).addItem(m_itemProblems);
        if (kind == 'd' && !err)
            frame.deferred.emplace_back(folderPlace, m_itemProblems);
        else
            targetRow(frame.prefix, name, folder, m_itemProblems);
    });
}

// The row of a sub-folder the walk reached: the reasons its name gave, and that it cannot be read.
void Walk::folderRow(std::string_view path, int err)
{
    if (!m_check)
        return;
    std::vector<TargetProblem> problems = std::move(m_reachedOwn);
    m_reachedOwn.clear();
    if (err && m_check->rules().contains(TargetRule::Unreadable)) {
        problems.push_back(unreadableProblem(systemErrorText(err)));
        m_tally.folderSummary.add(TargetRule::Unreadable);
    }
    if (problems.empty())
        return;
    const std::size_t slash = path.rfind('/');
    targetRow(path.substr(0, slash + 1), path.substr(slash + 1), true, problems);
}

void Walk::targetRow(std::string_view prefix, std::string_view name, bool folder,
                     const std::vector<TargetProblem>& problems)
{
    m_rowPath.assign(prefix).append(name);
    if (folder)
        m_rowPath.push_back('/');
    addTargetRow(m_pending.rows, m_rowPath, problems);
    if (m_pending.rows.size() >= m_settings.maxRows)
        report();
}

std::vector<TargetProblem> Walk::takeDeferred(Frame& parent, quint32 place)
{
    // Sub-folders are reached in the order their reasons were kept; any passed over was left out.
    while (parent.deferredNext < parent.deferred.size() && parent.deferred[parent.deferredNext].first < place)
        ++parent.deferredNext;
    if (parent.deferredNext < parent.deferred.size() && parent.deferred[parent.deferredNext].first == place)
        return std::move(parent.deferred[parent.deferredNext++].second);
    return {};
}

void Walk::maybeReport()
{
    if (m_clock.elapsed() >= m_settings.sliceMs)
        report();
}

void Walk::report(std::optional<WalkFailure> failure, bool last)
{
    if (m_pending.rows.empty() && !m_headerChanged && !failure && m_tally.empty()) {
        m_clock.restart();
        return;
    }
    WalkReport out;
    out.rows = std::move(m_pending.rows);
    if (m_headerChanged)
        out.header = QByteArray(m_header.data(), qsizetype(m_header.size()));
    out.failure = std::move(failure);
    out.last = last;
    if (!m_tally.empty()) {
        out.target = std::move(m_tally);
        m_tally = TargetTally();
    }
    m_headerChanged = false;
    m_pending.rows = m_deliver(std::move(out));
    m_pending.rows.clear();
    m_clock.restart();
}

void Walk::fail(const Frame& frame, int err)
{
    const std::string_view path = pathOf(frame);
    report(WalkFailure{WalkFailure::Folder::Below, systemErrorText(err),
                       QByteArray(path.data(), qsizetype(path.size()))});
}

} // namespace

void walkFolder(UniqueFd root, const std::string& rootPath, const WalkSettings& settings,
                const WalkDeliver& deliver)
{
    Walk(settings, deliver).run(std::move(root), rootPath);
}
