// SPDX-License-Identifier: MIT
#pragma once

#include "platform/dirlisting.h"
#include "platform/handoff.h"
#include "results/resultbatch.h"
#include "search/listingcache.h"
#include "search/nametest.h"
#include "target/targetwalk.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

struct WalkFailure
{
    enum class Folder {
        Below,  // a folder below the listed one could not be opened or listed
        Listed, // the listed folder itself could not be opened
    };
    Folder folder;
    QString description; // what the system said
    QByteArray path;     // the folder concerned
};

// What the walk hands over at once: rows found since the last report, the folder it last entered, and at most
// one failure, which comes after those rows.
struct WalkReport
{
    ResultBatch rows;
    QByteArray header;
    std::optional<WalkFailure> failure;
    bool last = false;  // nothing follows it, so it need not wait for the one before to be taken
    TargetTally target; // a target check's items checked since the last report; empty otherwise
};

struct WalkSettings
{
    const std::atomic<bool>* stop = nullptr; // read before every file and every sub-folder
    const LiveCriteria* criteria = nullptr;  // read before every file
    QString filter;                          // as it read when the listed folder began
    // For tests. Runs before each sub-folder is opened, on the thread that opens it (a reader listing ahead,
    // or the walk's own); a nonzero errno fails the opening with it.
    std::function<int(std::string_view path)> beforeOpen;
    // For tests. Runs on the walk's thread when the walk reaches a sub-folder, in walk order, before its
    // files.
    std::function<void(std::string_view path)> beforeEnter;
    // True for a sub-folder to leave out, with everything below it, before it is opened.
    std::function<bool(std::string_view path)> skipFolder;
    bool oneFileSystem = false; // sub-folders on another file system than the listed folder are left out
    int maxFolderDepth = -1;    // folders at most this far below the listed one are walked; -1: all
    // A folder met again (the device and inode of one walked before: a bind mount) is left out with
    // everything below it; this, when set, is told its path, on the walk's thread.
    std::function<void(std::string_view path)> repeatedFolder;
    // Rows found go out before the walk opens or lists a folder itself and whenever it waits for a reader,
    // however soon after the last report: for output that must stream whatever the folders cost.
    bool reportBeforeWaiting = false;
    qint64 sliceMs = 25;            // a report at least this often while rows or a new header wait
    std::size_t maxRows = 8 * 1024; // or as soon as this many rows wait
    // Threads that list folders ahead of the walk; with none the walk lists each folder itself when it
    // reaches it. Either way the rows come in the same order.
    int readers = 0;
    // The threads the walk starts for itself (readers, and those asking whether kept listings still hold)
    // yield to the caller's threads when processors are short: for a window, whose thread must not wait
    // behind them.
    bool helpersGiveWay = false;
    std::shared_ptr<const void> keepAlive; // holds what stop and criteria point into for as long as the walk
    // Set: a target check. The length criteria and the filter are not read; every file and folder below the
    // listed folder is checked and only those with problems become rows (with their problem text), a folder's
    // path ending with "/". A sub-folder that cannot be opened or listed is such a row, not a failure.
    std::shared_ptr<const TargetCheckSetup> target;
    // Set: listings kept from earlier walks stand in for folders that have not changed since, and this
    // walk's listings are kept for later ones. Not used by a target check that reads file sizes, nor below a
    // depth limit.
    std::shared_ptr<ListingCache> listings;
};

// Takes a report and gives back an empty batch for the next rows (one that was used before keeps its memory).
using WalkDeliver = std::function<ResultBatch(WalkReport&&)>;

// Readers that list folders ahead of the walk: enough to keep a disk's queue busy when nothing is cached.
// While listings come from memory fewer start (see readersAtStart).
constexpr int DefaultWalkReaders = 16;

// Walks one listed folder on the calling thread: each folder's files first, then each of its sub-folders to
// its end, in listing order, on an explicit stack (no recursion, whatever the depth). A report that carries a
// failure is not followed by anything until deliver returns. Every reader has ended when it returns, except
// one held inside the system by a folder that does not answer (a dead network mount); that one ends on its
// own and touches nothing of the caller's but settings' hooks and keepAlive.
void walkFolder(UniqueFd root, const std::string& rootPath, const WalkSettings& settings,
                const WalkDeliver& deliver);

// The listed folder's path as the walk shows it: trailing separators dropped, the root keeping its one.
std::string folderPathForWalk(const QByteArray& listed);

// Opens the listed folder and runs walkFolder on a thread of its own (a folder that does not answer then
// holds that thread, never the receiver's), and hands its reports to receiver's thread, tagged with a token
// so that the receiver can tell an old walk's reports from the current one's. A listed folder that cannot be
// opened comes as a report with a failure marked Folder::Listed. One report at a time is on its way: the next
// waits until the receiver called consumed() (the window then never has a backlog to work through in one
// go; the walk's last report may follow one still on its way), and after a report with a failure the walk
// waits for acknowledge().
class WalkJob
{
public:
    using ReportFn = std::function<void(quint64 token, WalkReport& report)>;
    using FinishedFn = std::function<void(quint64 token)>;

    // handoff must watch receiver, so that the reports' hand-over is visible to ThreadSanitizer.
    WalkJob(QObject* receiver, const ThreadHandoff& handoff, quint64 token, QByteArray listedPath,
            WalkSettings settings, ReportFn onReport, FinishedFn onFinished);
    // Ends a waiting walk and joins the thread, waiting at most graceMs for a walk that was told to stop;
    // one still held inside the system after that is left to end on its own, and reports nothing more.
    ~WalkJob();
    WalkJob(const WalkJob&) = delete;
    WalkJob& operator=(const WalkJob&) = delete;

    quint64 token() const { return m_token; }
    // The receiver is done with a report; its batch comes back for reuse.
    void consumed(ResultBatch&& batch);
    void acknowledge();
    // True once the walk's thread has nothing left to do but end.
    bool finished() const;
    // How long the destructor waits for a thread that does not end.
    void setGraceMs(int ms) { m_graceMs = ms; }

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared; // lives on with a thread left to end on its own
    quint64 m_token;
    int m_graceMs = 200;
    std::thread m_thread;
};
