// SPDX-License-Identifier: MIT
#pragma once

// The walk of one listed folder: its stack of folders and its reports (walker.cpp), and listing each folder
// and testing or checking what it holds (walklisting.cpp).

#include "search/readerpool.h"
#include "search/walker.h"

#include <QElapsedTimer>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include <sys/types.h>

namespace walking {

struct Frame
{
    UniqueFd fd;           // only while the walk lists the folder itself, or may open below it
    std::string prefix;    // the folder's path with one closing separator
    std::size_t nameStart; // where the folder's own name begins in prefix
    unsigned depth = 0;    // folders between it and the listed folder, itself included
    std::vector<quint32> order;
    std::vector<walkahead::NodePtr> children;
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
    void start(UniqueFd root, const std::string& rootPath);
    void leave(Frame& frame);
    bool descendListed(Frame& child, walkahead::Node& node);
    bool openAndEnter(int depth, walkahead::Node& node);
    bool enterKept(Frame& child, walkahead::Node& node);
    bool take(walkahead::Node& node);
    void walkListed(Frame& frame, walkahead::Node& node);
    void enter(Frame& frame);
    bool list(Frame& frame);
    template <class Take> bool listKept(Frame& frame, std::string_view entries, Take& take);
    void testFile(const Frame& frame, std::string_view name);
    int openChild(int depth, std::string_view name, walkahead::Node& node);
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
    void checkFolder(Frame& frame, std::string_view items, const std::vector<qint64>& sizes, int err,
                     const std::vector<IndexedProblem>* found = nullptr);
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
    std::string m_listing;    // all of that folder's entries, packed, when listings are kept
    std::shared_ptr<ListingTrust> m_trust;
    std::shared_ptr<walkahead::ReaderPool> m_pool;
    // Only where a bind mount can show a folder twice: elsewhere asking each folder would cost a call each.
    bool m_identify = false;
    std::unordered_set<FolderId, FolderIdHash> m_met;
    // A target check only.
    std::unique_ptr<TargetFolderCheck> m_check;
    std::vector<IndexedProblem> m_ownProblems; // of a folder the walk checked itself
    bool m_fileSizes = false;
    TargetTally m_tally;
    std::string m_items; // the entries of the folder the walk lists itself, packed
    std::vector<qint64> m_itemSizes;
    std::vector<TargetProblem> m_reachedOwn; // the reasons of the sub-folder just reached, for its own row
    std::string m_rowPath;
    std::vector<TargetProblem> m_itemProblems;
};

} // namespace walking
