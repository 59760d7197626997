// SPDX-License-Identifier: MIT
#pragma once

#include "platform/dirlisting.h"
#include "platform/handoff.h"
#include "results/resultmodel.h"
#include "search/nametest.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

struct WalkFailure
{
    int label;           // the walk's statement that failed, as the error box reports it
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
};

struct WalkSettings
{
    const std::atomic<bool>* stop = nullptr; // read before every file and every sub-folder
    const LiveCriteria* criteria = nullptr;  // read before every file
    QString filter;                          // as it read when the listed folder began
    // Runs before each sub-folder is opened; a nonzero errno fails the opening with it. For tests.
    std::function<int(std::string_view path)> beforeOpen;
    // True for a sub-folder to leave out, with everything below it, before it is opened.
    std::function<bool(std::string_view path)> skipFolder;
    bool oneFileSystem = false; // sub-folders on another file system than the listed folder are left out
    qint64 sliceMs = 25;            // a report at least this often while rows or a new header wait
    std::size_t maxRows = 8 * 1024; // or as soon as this many rows wait
};

// Takes a report and gives back an empty batch for the next rows (one that was used before keeps its memory).
using WalkDeliver = std::function<ResultBatch(WalkReport&&)>;

// Walks one listed folder on the calling thread: each folder's files first, then each of its sub-folders to
// its end, in listing order, on an explicit stack (no recursion, whatever the depth). A report that carries a
// failure is not followed by anything until deliver returns.
void walkFolder(fsys::FolderFd root, const std::string& rootPath, const WalkSettings& settings,
                const WalkDeliver& deliver);

// The listed folder's path as the walk shows it: trailing separators dropped, the root keeping its one.
std::string folderPathForWalk(const QByteArray& listed);

// Runs walkFolder on a thread of its own and hands its reports to receiver's thread, tagged with a token so
// that the receiver can tell an old walk's reports from the current one's. One report at a time is on its
// way: the next waits until the receiver called consumed() (the window then never has a backlog to work
// through in one go), and after a report with a failure the walk waits for acknowledge().
class WalkJob
{
public:
    using ReportFn = std::function<void(quint64 token, WalkReport& report)>;
    using FinishedFn = std::function<void(quint64 token)>;

    // handoff must watch receiver, so that the reports' hand-over is visible to ThreadSanitizer.
    WalkJob(QObject* receiver, ThreadHandoff& handoff, quint64 token, fsys::FolderFd root,
            std::string rootPath, WalkSettings settings, ReportFn onReport, FinishedFn onFinished);
    // Ends a waiting walk and joins the thread; the walk itself ends only when stop was set.
    ~WalkJob();
    WalkJob(const WalkJob&) = delete;
    WalkJob& operator=(const WalkJob&) = delete;

    quint64 token() const { return m_token; }
    // The receiver is done with a report; its batch comes back for reuse.
    void consumed(ResultBatch&& batch);
    void acknowledge();

private:
    ResultBatch deliver(WalkReport&& report);

    QObject* m_receiver;
    ThreadHandoff& m_handoff;
    quint64 m_token;
    ReportFn m_onReport;
    FinishedFn m_onFinished;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_acknowledged = false;
    bool m_inFlight = false;
    ResultBatch m_spare;
    bool m_cancelled = false;
    std::thread m_thread;
};
