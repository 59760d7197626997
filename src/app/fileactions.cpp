// SPDX-License-Identifier: MIT
// Operations on the files of checked rows.
#include "app/fileactions.h"

#include "app/pointer.h"
#include "app/settingskeys.h"
#include "fileops/moveoperation.h"
#include "fileops/trashoperation.h"
#include "platform/apptitle.h"
#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "platform/settings.h"
#include "platform/yielder.h"
#include "results/resultmodel.h"
#include "search/pathhelpers.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFile>
#include <QScopedValueRollback>

#include <atomic>
#include <functional>
#include <optional>

namespace {
// Closing the window ends the program once the running handler returns: a file operation stops after the file
// in hand, and no message holds up the end.
class CloseWatcher : public QObject
{
public:
    CloseWatcher(QWidget* window, std::function<void()> onClose)
        : m_window(window), m_onClose(std::move(onClose))
    {
        m_window->installEventFilter(this);
    }
    ~CloseWatcher() override { m_window->removeEventFilter(this); }
    bool closed() const { return m_closed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Close) {
            m_closed = true;
            m_onClose();
        }
        return false;
    }

private:
    QWidget* m_window;
    std::function<void()> m_onClose;
    bool m_closed = false;
};

// Runs one statement of a row loop through the guard; only a failure pays for decoding the row's text.
template <class F> void rowStep(Guard& step, int label, const ResultSnapshot& rows, int row, F&& statement)
{
    try {
        std::forward<F>(statement)();
    } catch (...) {
        step.setExtra(QStringLiteral("File: ") + rows.displayPath(row));
        step(label, [] { throw; });
        step.setExtra(QString());
    }
}
} // namespace

void FileActions::sendToTrash()
{
    if (m_fileOpRunning)
        return;
    const QScopedValueRollback running(m_fileOpRunning, true);
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton10_Click"));
    Yielder yielder;
    TrashOperation trash;
    ResultSnapshot rows;
    int rowCount = 0;
    std::atomic<bool> stop{false};
    CloseWatcher watcher(m_window, [&] { stop = true; });

    step(106, [&] { rows = m_results->snapshot(); });
    step(108, [&] { rowCount = rows.size(); });
    for (int r = 0; r < rowCount; ++r) {
        step(110, [&] { yielder(); });
        bool checked = false;
        step(112, [&] { checked = rows.isChecked(r); });
        if (checked)
            step(116, [&] { trash.add(rows.rowId(r), rows.nativePath(r)); });
    }
    if (trash.count() == 0 || watcher.closed())
        return; // nothing checked: nothing to ask and nothing to say

    bool confirmed = false;
    step(122, [&] {
        // No desktop asks before it trashes, so the program asks itself.
        confirmed = m_dialogs->message(trashQuestion(trash.count()), MessageStyle::YesNo,
                                       applicationTitle()) == Answer::Yes;
        if (!confirmed)
            return;
        m_pointer.set(Pointer::Busy);
        trash.run([&] { yielder(); }, &stop);
    });
    if (!confirmed)
        return;
    step(126, [&] { trash.removeGoneRows(*m_results); });
    step(128, [&] { m_resultView->viewport()->update(); });
    m_pointer.set(Pointer::Default);
    if (!watcher.closed())
        step(130, [&] {
            const QString failures = trash.failureMessage();
            if (!failures.isEmpty())
                m_dialogs->message(failures, MessageStyle::Warning, applicationTitle());
        });
}

void FileActions::moveToFolder()
{
    if (m_fileOpRunning)
        return;
    const QScopedValueRollback running(m_fileOpRunning, true);
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton11_Click"));
    QString chosen;
    step(106, [&] {
        const QString start = readSetting(SettingsApp, SettingsSection, KeyLastFolder, QString());
        chosen = m_dialogs->existingDirectory(QStringLiteral("Please select folder:"), start);
    });
    bool cancelled = false;
    step(108, [&] { cancelled = chosen.isEmpty(); });
    if (cancelled)
        return;
    step(333, [&] { m_lastMoveFolder = chosen; });
    step(334, [&] { storeSetting(SettingsApp, SettingsSection, KeyLastFolder, m_lastMoveFolder); });
    QString target = chosen;
    step(110, [&] { target = moveTargetFolder(chosen); });
    step(114, [&] { m_pointer.set(Pointer::Busy); });

    Yielder yielder;
    const MoveOperation::Yield yield = [&] { yielder(); };
    std::optional<MoveOperation> move;
    ResultSnapshot rows;
    int rowCount = 0;
    step(118, [&] {
        rows = m_results->snapshot();
        rowCount = rows.size();
        move.emplace(QFile::encodeName(target));
        move->claimResidents(rows);
    });
    CloseWatcher watcher(m_window, [&] {
        if (move)
            move->requestStop();
    });
    for (int r = 0; move && r < rowCount && !move->stopRequested(); ++r) {
        rowStep(step, 120, rows, r, [&] { yielder(); });
        bool checked = false;
        rowStep(step, 122, rows, r, [&] { checked = rows.isChecked(r); });
        if (!checked)
            continue;
        QByteArray name;
        rowStep(step, 124, rows, r, [&] {
            const QByteArray source = rows.nativePath(r);
            move->begin(rows.rowId(r), source);
            name = fileNameOfPath(source);
        });
        rowStep(step, 126, rows, r, [&] { move->copy(name, yield); });
        rowStep(step, 128, rows, r, [&] { move->deleteSource(yield); });
    }
    // The last batch of copies is made durable and its sources deleted, after a stop as well.
    if (move)
        step(130, [&] { move->finish(yield); });
    if (move)
        step(132, [&] { move->removeGoneRows(*m_results); });
    step(142, [&] { m_resultView->viewport()->update(); });
    step(144, [&] { m_pointer.set(Pointer::Default); });
    if (move && !watcher.closed())
        step(146, [&] {
            const QString told = move->endMessage();
            if (!told.isEmpty())
                m_dialogs->message(told, MessageStyle::Warning, applicationTitle());
        });
}
