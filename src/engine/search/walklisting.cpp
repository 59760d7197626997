// SPDX-License-Identifier: MIT
// Listing a folder the walk reached, or taking a reader's listing of it, and feeding what it holds to the
// name test or, in a target check, to the check of the folder's names.
#include "platform/nativepath.h"
#include "search/walk.h"

#include "search/lengthunit.h"
#include "search/utf8name.h"

#include <algorithm>

namespace walking {

namespace {

constexpr unsigned FilesBetweenClockReads = 1024;

} // namespace

using namespace walkahead;

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
            checkFolder(frame, node.listing(), node.sizes, node.readError,
                        node.checked ? &node.problems : nullptr);
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
    packed::forEach(node.listing(), [&](char kind, std::string_view name) {
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
    const auto take = [&](std::string_view name, fsys::Kind kind) {
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
    };
    const std::string_view path = pathOf(frame);
    const bool keeping = m_settings.listings && !m_fileSizes && deeper;
    std::optional<fsys::FolderStamp> stamp;
    timespec listedAt{};
    if (keeping) {
        const std::optional<ListingCache::Kept> kept = m_settings.listings->find(path);
        listedAt = ListingCache::now();
        // A stamp compared with a kept one is asked of a share's server, as the readers ask it; one only kept
        // with this listing may be older than the folder, which only has it listed again next time.
        stamp = kept ? fsys::folderStampOfHandle(fd) : fsys::knownFolderStamp(fd);
        if (stamp && !m_trust->trusts(stamp->device, fd))
            stamp.reset();
        if (kept && stamp && *stamp == kept->stamp)
            return listKept(frame, kept->entries, take);
        m_listing.clear();
    }
    const std::uint64_t linksBefore = m_reader.linksMet();
    for (;;) {
        reportBeforeWaiting();
        const fsys::DirectoryReader::Block got = m_reader.readBlock(fd);
        if (got.errnum) {
            if (keeping)
                m_settings.listings->forget(path);
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
            if (keeping) {
                if (stamp && m_reader.linksMet() == linksBefore)
                    m_settings.listings->keep(path, *stamp, listedAt, m_listing);
                else
                    m_settings.listings->forget(path);
            }
            if (m_check)
                checkFolder(frame, m_items, m_itemSizes, 0);
            return true;
        }
        const bool whole = m_reader.forEach(fd, [&](std::string_view name, fsys::Kind kind) {
            if (keeping && kind != fsys::Kind::Skip)
                packed::append(m_listing, kind == fsys::Kind::Folder ? 'd' : 'f', name);
            return take(name, kind);
        });
        if (!whole)
            return false;
    }
}

// A folder listed by an earlier walk and unchanged since: its entries go through take as the system's
// would.
template <class Take> bool Walk::listKept(Frame& frame, std::string_view entries, Take& take)
{
    bool whole = true;
    packed::forEach(entries, [&](char kind, std::string_view name) {
        if (whole)
            whole = take(name, kind == 'd' ? fsys::Kind::Folder : fsys::Kind::File);
    });
    if (!whole)
        return false;
    if (m_check)
        checkFolder(frame, m_items, m_itemSizes, 0);
    return true;
}

void Walk::testFile(const Frame& frame, std::string_view name)
{
    if (++m_untimedFiles >= FilesBetweenClockReads) {
        m_untimedFiles = 0;
        maybeReport();
    }
    const std::optional<LengthCriterion> read = m_settings.criteria->load();
    if (!read)
        return;
    const LengthCriterion& c = *read;
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

// Checks one folder's items together (collisions are among them) and adds a row for each item with a
// problem, in listing order; a sub-folder to be entered keeps its reasons until the walk reaches it. err: the
// listing broke off (its items are those read until then), and none of its sub-folders is entered. found:
// the problems, when the reader that listed the folder checked it.
void Walk::checkFolder(Frame& frame, std::string_view items, const std::vector<qint64>& sizes, int err,
                       const std::vector<IndexedProblem>* found)
{
    if (frame.depth > 0)
        folderRow(pathOf(frame), err);
    if (!found) {
        const std::string_view below = std::string_view(frame.prefix).substr(m_rootPrefixSize);
        m_check->beginFolder(QByteArray(below.data(), qsizetype(below.size())));
    }
    std::size_t file = 0;
    packed::forEach(items, [&](char kind, std::string_view name) {
        const bool folder = kind != 'f';
        const qint64 size = !folder && file < sizes.size() ? sizes[file] : 0;
        file += folder ? 0 : 1;
        if (!found)
            m_check->addName(name, folder, size);
        ++(folder ? m_tally.folders : m_tally.files);
    });
    if (!found)
        m_ownProblems = m_check->finishFolder();
    const std::vector<IndexedProblem>& problems = found ? *found : m_ownProblems;
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
    targetRow(folderOf(path), fileNameOf(path), true, problems);
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

} // namespace walking
