// SPDX-License-Identifier: MIT
#pragma once

#include "search/nametest.h"
#include "search/walker.h"
#include "services/errorbox.h"
#include "target/targetwalk.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class Dialogs;
class ResultModel;

// What the run reads and writes on the window. Rows are counted from 0 here.
class SearchRunHost
{
public:
    virtual ~SearchRunHost() = default;
    virtual QString buttonCaption() const = 0;
    virtual void setButtonCaption(const QString& caption) = 0;
    virtual int folderCount() const = 0;
    virtual QString folderText(int row) const = 0;
    // The exact bytes of the folder, where the row knows them; otherwise its text in the file-name encoding.
    virtual QByteArray folderNativePath(int row) const = 0;
    virtual QString filterText() const = 0;
    virtual QString lengthText() const = 0;
    // Nothing when no comparison is chosen.
    virtual std::optional<Comparison> comparison() const = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void setProgressText(const QString& text) = 0;
    virtual void setFolderHeader(const QString& text) = 0;
    // The window shows that a long operation runs, or that none does.
    virtual void setBusy(bool busy) = 0;
    virtual ResultModel& results() = 0;
    virtual Dialogs& dialogs() = 0;
    virtual ErrorBox& errorBox() = 0;
    // Where the error box places the run's own failures, and those the walk meets below a listed folder
    // (the procedure and the statement's label).
    virtual ErrorLocation runLocation() const = 0;
    virtual std::pair<ErrorLocation, int> walkFailurePlace() const = 0;
    // A Stop this soon after Start is the second half of a double-click on the button, and is ignored.
    virtual int doubleClickInterval() const { return 0; }
};

// The one box that ends a target check: "Done.", a line per rule that something breaks, and what was checked.
QString targetCheckSummaryText(const TargetTally& tally);

// The search behind the Start Finding / Stop button, as a state machine on the window's thread: each listed
// folder is walked by a WalkJob on a thread of its own while the window's event loop runs freely; rows arrive
// in batches. Nothing here waits in a nested event loop except the message boxes themselves.
class SearchRun : public QObject
{
    Q_OBJECT
public:
    explicit SearchRun(SearchRunHost& host, QObject* parent = nullptr);
    ~SearchRun() override;

    // The button's click: Stop while a run goes on, Start when none does.
    void click();
    // Starts a run that checks every file and folder below the listed folders for that target instead of
    // searching by length; the button stops it as it stops a search. Ignored while a run is active.
    void startTargetCheck(const TargetCheckSetup& setup);
    int folderCount() const { return m_host.folderCount(); }
    QByteArray folderNativePath(int row) const { return m_host.folderNativePath(row); }
    // The length text or the comparison changed: the walk uses the new values from its next file on.
    void criteriaChanged();
    // The criterion the walk measures by now; nothing while the length or the comparison is not usable.
    std::optional<LengthCriterion> criterion() const { return m_criteria.load(); }
    // True from Start until "Done." has been shown, winding down included.
    bool active() const { return m_state != State::Idle; }
    bool stopRequested() const { return m_flags->stop.load(); }

    // For tests: runs before each sub-folder is opened, on the thread that opens it; a nonzero errno fails
    // the opening with it.
    void setBeforeOpen(std::function<int(std::string_view path)> hook) { m_beforeOpen = std::move(hook); }
    // For tests: runs on the walk's thread as the walk reaches each sub-folder, in walk order.
    void setBeforeEnter(std::function<void(std::string_view path)> hook) { m_beforeEnter = std::move(hook); }
    // For tests and the benchmark: how many threads list folders ahead of each walk.
    void setReaders(int readers) { m_readers = readers; }
    // For the benchmark: the next search lists every folder again, as the first of a run does.
    void forgetListings() { m_listings = std::make_shared<ListingCache>(); }
    const ListingCache& listings() const { return *m_listings; }

signals:
    // From Start until "Done.": the walk's order stands, nothing may reorder the list.
    void runStarted();
    void runEnded();

private:
    struct PendingBox
    {
        quint64 token;
        WalkFailure failure;
    };
    void start();
    void beginFolder();
    // Starts the walk of the folder at m_index; false when it could not be started.
    bool startWalk();
    void afterYield(quint64 token, quint64 job);
    void walkReport(quint64 token, WalkReport& report);
    void walkFinished(quint64 token);
    void leaveStoppedWalk(quint64 token);
    void showBoxes();
    void finish();

    SearchRunHost& m_host;
    Guard m_step;
    // What the walk reads while it runs; shared, so that a walk left inside a dead mount never reads freed
    // memory.
    struct Flags
    {
        std::atomic<bool> stop{false};
        LiveCriteria criteria;
    };
    std::shared_ptr<Flags> m_flags = std::make_shared<Flags>();
    std::atomic<bool>& m_stopSearch = m_flags->stop;
    QString m_savedCaption;
    LiveCriteria& m_criteria = m_flags->criteria;
    // Stopping: Stop was clicked and the run winds down until "Done.".
    enum class State { Idle, Running, Stopping };
    State m_state = State::Idle;
    QElapsedTimer m_startedAt;
    quint64 m_token = 0;             // the run's
    quint64 m_jobSerial = 0;         // each walk's
    std::vector<QByteArray> m_paths; // the listed folders, taken when the run starts
    std::vector<QString> m_texts;
    int m_count = 0;
    int m_index = 0; // 0-based
    QString m_path;
    ThreadHandoff m_handoff; // outlives m_job: the destructor ends the walk first
    std::unique_ptr<WalkJob> m_job;
    std::deque<PendingBox> m_boxes;
    bool m_showingBox = false;
    std::function<int(std::string_view)> m_beforeOpen;
    std::function<void(std::string_view)> m_beforeEnter;
    int m_readers = DefaultWalkReaders;
    // Listings of this run's searches, so that a search again lists only the folders changed since.
    std::shared_ptr<ListingCache> m_listings = std::make_shared<ListingCache>();
    std::shared_ptr<const TargetCheckSetup> m_target; // null for a search by length
    TargetTally m_tally;                              // what the check has looked at so far
};
