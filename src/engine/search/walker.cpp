// SPDX-License-Identifier: MIT
// The walk's stack of folders: stepping into each sub-folder in turn, opening it when no reader did, and the
// reports it sends.
#include "platform/nativepath.h"
#include "search/walk.h"

#include "search/bindmounts.h"

#include <algorithm>

#include <sys/stat.h>

namespace walking {

namespace {

// Folders whose descriptors stay open while their sub-folders are walked. Past this, descriptors of folders
// higher up are closed and those folders reopened by name when the walk comes back to them.
constexpr int OpenFolderBudget = 128;

} // namespace

using namespace walkahead;

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
    start(std::move(root), rootPath);
    int depth = 0;
    while (depth >= 0 && !m_stopped) {
        // Grown before any reference into the stack is taken: growing moves the frames.
        if (m_frames.size() < std::size_t(depth) + 2)
            m_frames.resize(std::size_t(depth) + 2);
        Frame& f = m_frames[std::size_t(depth)];
        if (f.next >= f.children.size()) {
            leave(f);
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
            if (descendListed(child, *node))
                ++depth;
            continue;
        }
        if (m_stopped)
            break;
        if (openAndEnter(depth, *node))
            ++depth;
    }
    // The readers end first, so that the last rows and the end of the walk reach the window together: one
    // wake-up of its thread, not two.
    closeReaderPool(m_pool);
    report(std::nullopt, true);
}

// Lists the listed folder and starts the readers below it.
void Walk::start(UniqueFd root, const std::string& rootPath)
{
    m_rootPath = rootPath;
    m_identify = foldersMayRepeat(root.get());
    if (const std::optional<fsys::FileIdentity> id = fsys::identityOf(root.get())) {
        m_rootDevice = id->device;
        if (m_identify)
            m_met.insert({id->device, id->inode});
    }
    std::shared_ptr<const ConfirmedListings> confirmed;
    if (m_settings.listings) {
        m_trust = std::make_shared<ListingTrust>();
        if (m_settings.readers > 0 && m_trust->trusts(m_rootDevice, root.get()) &&
            !m_trust->asksPerName(m_rootDevice))
            confirmed = std::make_shared<const ConfirmedListings>(
                m_settings.listings, root.get(), rootPath, m_rootDevice, m_settings.maxFolderDepth,
                m_settings.stop, m_settings.keepAlive, 0, m_settings.helpersGiveWay);
    }
    m_pool = startReaderPool(root.get(), rootPath, m_settings, m_rootDevice, m_identify, m_trust,
                             std::move(confirmed));
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
}

// A folder whose sub-folders are all walked.
void Walk::leave(Frame& frame)
{
    if (frame.fd.valid())
        --m_openCount;
    frame.fd.reset();
    frame.children.clear();
    // Reasons of sub-folders never reached (left out by skipFolder) go with them.
    frame.deferred.clear();
    frame.deferredNext = 0;
}

// Takes a reader's listing of the sub-folder into the frame above; false when the folder is not walked (on
// another file system, or met before).
bool Walk::descendListed(Frame& child, Node& node)
{
    if (node.otherMount) {
        folderRow(node.path, 0);
        return false;
    }
    if (m_identify && node.inode != 0 && !firstMeeting(node.device, node.inode, node.path)) {
        folderRow(node.path, 0);
        dropNodes(m_pool.get(), node.children);
        return false;
    }
    child.fd.reset();
    child.prefix.assign(node.path).push_back('/');
    child.nameStart = folderOf(node.path).size();
    child.order = std::move(node.order);
    child.depth = node.depth;
    child.next = 0;
    child.children.clear();
    walkListed(child, node);
    return true;
}

// Opens and lists a sub-folder no reader listed, in the frame above depth. True when that frame is taken,
// holding nothing to visit when the folder could not be opened; false when the folder is not walked.
bool Walk::openAndEnter(int depth, Node& node)
{
    Frame& child = m_frames[std::size_t(depth) + 1];
    const std::string name(fileNameOf(node.path));
    // Copied, not moved: a node the walk came to first may still sit in the readers' queue, which
    // compares.
    child.order = node.order;
    child.depth = node.depth;
    if (m_pool && m_pool->listFromKept(node))
        return enterKept(child, node);
    if (const int err = openChild(depth, name, node)) {
        m_header.assign(pathOf(child));
        m_headerChanged = true;
        if (m_check)
            folderRow(pathOf(child), err);
        else
            fail(child, err);
        child.children.clear();
        child.next = 0;
        return true;
    }
    if (m_settings.oneFileSystem && onOtherDevice(child.fd.get(), m_rootDevice)) {
        folderRow(pathOf(child), 0);
        child.fd.reset();
        --m_openCount;
        return false;
    }
    if (m_identify) {
        const std::optional<fsys::FileIdentity> id = fsys::identityOf(child.fd.get());
        if (id && !firstMeeting(id->device, id->inode, pathOf(child))) {
            folderRow(pathOf(child), 0);
            child.fd.reset();
            --m_openCount;
            return false;
        }
    }
    enter(child);
    return true;
}

// Enters a folder whose listing was kept from an earlier walk, as descendListed enters one a reader listed.
bool Walk::enterKept(Frame& child, Node& node)
{
    if (node.otherMount) {
        folderRow(node.path, 0);
        return false;
    }
    if (m_identify && node.inode != 0 && !firstMeeting(node.device, node.inode, node.path)) {
        folderRow(node.path, 0);
        return false;
    }
    if (!node.childrenQueued)
        queueNodes(m_pool.get(), node.children);
    child.fd.reset();
    child.prefix.assign(node.path).push_back('/');
    child.nameStart = folderOf(node.path).size();
    child.next = 0;
    child.children.clear();
    walkListed(child, node);
    return true;
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

// False, after telling whoever asked, for a folder walked before.
bool Walk::firstMeeting(dev_t device, ino_t inode, std::string_view path)
{
    if (m_met.insert({device, inode}).second)
        return true;
    if (m_settings.repeatedFolder)
        m_settings.repeatedFolder(path);
    return false;
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

} // namespace walking

void walkFolder(UniqueFd root, const std::string& rootPath, const WalkSettings& settings,
                const WalkDeliver& deliver)
{
    walking::Walk(settings, deliver).run(std::move(root), rootPath);
}
