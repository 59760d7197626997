// SPDX-License-Identifier: MIT
#include "app/searchrun.h"

#include "platform/nativepath.h"
#include "results/resultmodel.h"
#include "search/lengthunit.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "ui/targetcheckdialog.h"

#include <QScopedValueRollback>
#include <QStringList>
#include <QTimer>

namespace {
const QString StopCaption = QStringLiteral("Stop");
// A walk told to stop ends within a few milliseconds unless a folder that does not answer (a dead network
// mount) holds it inside the system; the run does not wait longer than this for it.
constexpr int StopGraceMs = 60;

QString countText(qint64 n, const char* one, const char* many)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

} // namespace

QString targetCheckSummaryText(const TargetTally& tally)
{
    QStringList lines{QStringLiteral("Done.")};
    for (int i = 0; i < TargetRuleCount; ++i) {
        const auto rule = TargetRule(i);
        const qint64 files = tally.fileSummary.count(rule);
        const qint64 folders = tally.folderSummary.count(rule);
        if (files || folders)
            lines << ruleLabel(rule) + QStringLiteral(": ") + countText(files, "file", "files") +
                         QStringLiteral(", ") + countText(folders, "folder", "folders");
    }
    lines << QStringLiteral("Checked ") + countText(tally.files, "file", "files") + QStringLiteral(" and ") +
                 countText(tally.folders, "folder", "folders") + QLatin1Char('.');
    return lines.join(QLatin1Char('\n'));
}

SearchRun::SearchRun(SearchRunHost& host, QObject* parent)
    : QObject(parent), m_host(host), m_step(host.errorBox(), host.runLocation())
{
    m_handoff.watch(this);
}

SearchRun::~SearchRun()
{
    m_stopSearch = true;
    m_job.reset();
}

void SearchRun::criteriaChanged()
{
    m_criteria.set(parseLengthCriterion(m_host.lengthText(), m_host.comparison()));
}

void SearchRun::click()
{
    if (m_state == State::Running) {
        if (m_startedAt.isValid() && m_startedAt.elapsed() < m_host.doubleClickInterval())
            return;
        m_step(150, [&] { m_host.setButtonCaption(m_savedCaption); });
        m_step(152, [&] { m_stopSearch = true; });
        m_state = State::Stopping;
        if (m_job)
            QTimer::singleShot(StopGraceMs, this,
                               [this, token = m_job->token()] { leaveStoppedWalk(token); });
        return;
    }
    // A stopped run still passing through its remaining folders: a second run must not start inside it.
    if (m_state != State::Idle)
        return;
    m_target.reset();
    start();
}

void SearchRun::startTargetCheck(const TargetCheckSetup& setup)
{
    if (m_state != State::Idle)
        return;
    m_target = std::make_shared<const TargetCheckSetup>(setup);
    start();
}

void SearchRun::start()
{
    // Room taken by listings replaced since is given back at once: the walks of the old cache hold it still.
    if (m_listings->worthRenewing())
        m_listings = std::make_shared<ListingCache>();
    bool noFolders = false;
    m_step(102, [&] { noFolders = m_host.folderCount() == 0; });
    if (noFolders) {
        m_step(104, [&] {
            m_host.dialogs().message(QStringLiteral("Add folder(s) to search first."), MessageStyle::Ok,
                                     applicationTitle());
        });
        return;
    }
    QString refused;
    std::optional<LengthCriterion> criterion;
    m_step(102, [&] {
        // Read against any comparison, so that a text is refused whether or not a comparison is chosen.
        const QString text = m_host.lengthText();
        const std::optional<Comparison> comparison = m_host.comparison();
        criterion = parseLengthCriterion(text, comparison.value_or(Comparison::EqualTo));
        // A target check measures no length and copies everything, whatever the filter says.
        if (!m_target)
            refused = criterion ? filterRefusal(m_host.filterText()) : lengthRefusal(text);
        if (criterion && comparison)
            criterion->comparison = *comparison;
        else
            criterion.reset();
    });
    if (!refused.isEmpty()) {
        m_step(104, [&] { m_host.dialogs().message(refused, MessageStyle::Ok, applicationTitle()); });
        return;
    }

    m_state = State::Running;
    m_startedAt.start();
    ++m_token;
    emit runStarted();
    m_step(106, [&] { m_savedCaption = m_host.buttonCaption(); });
    m_step(108, [&] { m_host.setButtonCaption(StopCaption); });
    m_step(110, [&] { m_stopSearch = false; });
    m_step(112, [&] { m_host.setBusy(true); });
    m_step(114, [&] { m_criteria.set(criterion); });
    m_step(118, [&] { m_host.results().clearRows(); });
    m_step(119, [&] {
        m_tally = {};
        m_host.results().setProblemColumn(m_target != nullptr);
    });
    m_step(120, [&] {
        // The list stays usable during the run; the run visits the folders listed when it started.
        m_count = m_host.folderCount();
        m_paths.clear();
        m_texts.clear();
        for (int row = 0; row < m_count; ++row) {
            m_paths.push_back(m_host.folderNativePath(row));
            m_texts.push_back(m_host.folderText(row));
        }
    });
    m_index = 0;
    beginFolder();
}

void SearchRun::beginFolder()
{
    if (m_index >= m_count) {
        finish();
        return;
    }
    m_step(122, [&] { m_host.setProgressValue((m_index + 1) * 100 / m_count); });
    m_step(124, [&] { m_path = m_texts[std::size_t(m_index)]; });
    m_step(126, [&] { m_host.setProgressText(QStringLiteral("Processing: ") + fileNameOf(m_path)); });
    // The yield: the rest of this folder's start runs from the event loop. Posted before the walk starts,
    // so that it comes before anything the walk posts.
    QTimer::singleShot(0, this, [this, token = m_token, job = m_jobSerial + 1] { afterYield(token, job); });
    // The walk itself starts before the yield, not after: it runs on a thread of its own and its reports
    // reach the window through the event loop, so the repaint the yield is for still comes first, and the
    // walk does not wait for it.
    if (!startWalk()) {
        ++m_index;
        beginFolder();
    }
}

void SearchRun::afterYield(quint64 token, quint64 job)
{
    // Only while that folder's walk runs: once over, the run may be at its "Done." box.
    if (token == m_token && m_state != State::Idle && m_job && m_job->token() == job)
        m_step(130, [&] { m_host.setBusy(true); });
}

bool SearchRun::startWalk()
{
    // The listed folder is opened on the walk's thread: one on a mount that does not answer holds that
    // thread, never the window's.
    m_step(134, [&] {
        WalkSettings settings;
        settings.stop = &m_flags->stop;
        settings.criteria = &m_flags->criteria;
        settings.filter = m_target ? QString() : m_host.filterText();
        settings.target = m_target;
        settings.beforeOpen = m_beforeOpen;
        settings.beforeEnter = m_beforeEnter;
        settings.readers = m_readers;
        // With every processor listing, the window's thread would wait behind the readers for tens of
        // milliseconds after each batch of rows it shows.
        settings.helpersGiveWay = true;
        settings.listings = m_listings;
        settings.keepAlive = m_flags;
        m_job = std::make_unique<WalkJob>(
            this, m_handoff, ++m_jobSerial, m_paths[std::size_t(m_index)], std::move(settings),
            [this](quint64 t, WalkReport& r) { walkReport(t, r); }, [this](quint64 t) { walkFinished(t); });
    });
    if (!m_job)
        return false;
    // Winding down after a Stop: the walk ends at its first check, or is left if a folder holds it.
    if (m_stopSearch.load())
        QTimer::singleShot(StopGraceMs, this, [this, t = m_job->token()] { leaveStoppedWalk(t); });
    return true;
}

void SearchRun::walkReport(quint64 token, WalkReport& report)
{
    if (!m_job || token != m_job->token()) // a walk that is no longer ours
        return;
    if (!report.header.isEmpty())
        m_host.setFolderHeader(QStringLiteral("Searching ") + QString::fromUtf8(report.header));
    // Once Stop was pressed the list stays as it stood at that moment.
    if (!m_stopSearch.load()) {
        m_host.results().appendBatch(report.rows);
        if (m_target)
            m_tally.add(report.target);
    }
    m_job->consumed(std::move(report.rows));
    if (report.failure) {
        m_boxes.push_back({token, std::move(*report.failure)});
        showBoxes();
    }
}

void SearchRun::showBoxes()
{
    // Boxes come one after another, never one inside another's event loop.
    if (m_showingBox)
        return;
    const QScopedValueRollback showing(m_showingBox, true);
    while (!m_boxes.empty()) {
        const PendingBox box = std::move(m_boxes.front());
        m_boxes.pop_front();
        // A listed folder that cannot be opened is the run's own statement; the walk's failures are the
        // walk's. Both name the folder, so that with several listed the user can tell which one failed.
        if (box.failure.folder == WalkFailure::Folder::Listed) {
            const ErrorLocation where = m_host.runLocation();
            m_host.errorBox().show(box.failure.description, where.module, where.procedure, 132,
                                   QString::fromUtf8(box.failure.path));
        } else {
            const auto [where, label] = m_host.walkFailurePlace();
            m_host.errorBox().show(box.failure.description, where.module, where.procedure, label,
                                   QString::fromUtf8(box.failure.path));
        }
        if (m_job && m_job->token() == box.token)
            m_job->acknowledge();
    }
}

void SearchRun::walkFinished(quint64 token)
{
    if (!m_job || token != m_job->token())
        return;
    m_job.reset();
    m_step(136, [&] { ++m_index; });
    beginFolder();
}

void SearchRun::leaveStoppedWalk(quint64 token)
{
    if (!m_job || m_job->token() != token)
        return;
    // A box of this walk on the screen: the walk waits for it, and is not stuck.
    if (m_showingBox || m_job->finished()) {
        QTimer::singleShot(StopGraceMs, this, [this, token] { leaveStoppedWalk(token); });
        return;
    }
    m_job->setGraceMs(0);
    walkFinished(token);
}

void SearchRun::finish()
{
    m_step(138, [&] { m_host.setFolderHeader(QStringLiteral("Folder(s)")); });
    m_step(140, [&] { m_host.setBusy(false); });
    m_step(142, [&] { m_host.setProgressValue(0); });
    m_step(144, [&] { m_host.setProgressText(QStringLiteral("Progress Bar")); });
    m_step(146, [&] { m_host.setButtonCaption(m_savedCaption); });
    m_step(148, [&] {
        const QString text = m_target ? targetCheckSummaryText(m_tally) : QStringLiteral("Done.");
        m_host.dialogs().message(text, MessageStyle::Ok, applicationTitle());
    });
    m_state = State::Idle;
    emit runEnded();
}
