// SPDX-License-Identifier: MIT
// Operations on the files of checked rows.
#include "app/fileactions.h"

#include "app/closewatcher.h"
#include "app/fileoperationgate.h"
#include "app/folderpicker.h"
#include "app/folderrows.h"
#include "app/pointer.h"
#include "app/sessionend.h"
#include "app/settingskeys.h"
#include "fileops/moveoperation.h"
#include "fileops/transferjournal.h"
#include "fileops/trashoperation.h"
#include "platform/nativepath.h"
#include "results/resultmodel.h"
#include "services/apptitle.h"
#include "services/browseforfolder.h"
#include "services/dialogs.h"
#include "services/errorbox.h"
#include "services/settings.h"
#include "services/yielder.h"
#include "ui/fileprogresswindow.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFile>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {
// Runs one statement of a row loop; only a failure pays for decoding the row's text.
void rowStep(Guard& step, int label, const ResultSnapshot& rows, int row,
             const std::function<void()>& statement)
{
    try {
        statement();
    } catch (...) {
        step.setExtra(QStringLiteral("File: ") + rows.displayPath(row));
        step(label, [] { throw; });
        step.setExtra(QString());
    }
}

int trashLabel(TrashOperation::Step step)
{
    switch (step) {
    case TrashOperation::Step::Yield:
        return 110;
    case TrashOperation::Step::CheckedTest:
        return 112;
    case TrashOperation::Step::Add:
        break;
    }
    return 116;
}

int moveLabel(MoveOperation::Step step)
{
    switch (step) {
    case MoveOperation::Step::Yield:
        return 120;
    case MoveOperation::Step::CheckedTest:
        return 122;
    case MoveOperation::Step::Begin:
        return 124;
    case MoveOperation::Step::Copy:
        return 126;
    case MoveOperation::Step::DeleteSource:
        return 128;
    case MoveOperation::Step::Finish:
        break;
    }
    return 130;
}
} // namespace

void FileActions::sendToTrash()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton10_Click"));
    if (refusedWhileBusy(step, 100))
        return;
    FileOperationGate::Hold hold(m_fileOperations, m_window);
    Yielder yielder;
    const YieldFn yield = [&] { yielder(); };
    TrashOperation trash;
    hold.watch(trash.progress());
    ResultSnapshot rows;
    CloseWatcher watcher(m_window, [&] { trash.requestStop(); });
    const AbruptEndGuard abruptEnd([&] { trash.endNow(); });

    QStringList folderRows;
    step(106, [&] { rows = snapshotOfCheckedFiles(*m_results, &folderRows); });
    if (!folderRows.isEmpty())
        step(106, [&] {
            m_dialogs->message(
                folderRowsLeftText(folderRows, QStringLiteral("only files are sent to the trash")),
                MessageStyle::Warning, applicationTitle());
        });
    step(108, [&] {
        trash.addChecked(rows, yield,
                         [&](TrashOperation::Step which, int, const std::function<void()>& statement) {
                             step(trashLabel(which), statement);
                         });
    });
    if (trash.count() == 0 || watcher.closed())
        return; // nothing checked: nothing to ask and nothing to say

    bool confirmed = false;
    step(122, [&] {
        // No desktop asks before it trashes, so the program asks itself.
        confirmed = m_dialogs->message(trashQuestion(trash.count()), MessageStyle::YesNo,
                                       applicationTitle()) == Answer::Yes;
        if (confirmed)
            m_pointer.set(Pointer::Busy);
    });
    if (!confirmed)
        return;
    runOnCheckedRows(step, &trash, watcher, operationTitle(FileOperationKind::Trash),
                     {122, 126, 128, 128, 130}, [&] { trash.run(yield); });
}

void FileActions::moveToFolder()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton11_Click"));
    if (refusedWhileBusy(step, 100))
        return;
    FileOperationGate::Hold hold(m_fileOperations, m_window);
    QString chosen;
    const CloseWatcher pickerWatcher(m_window, [] {});
    step(106, [&] {
        const QString start = readSetting(SettingsApp, SettingsSection, KeyLastFolder, QString());
        chosen = pickFolderFrom(*m_dialogs, m_pointer, start, pickerWatcher);
    });
    bool noFolderChosen = false;
    step(108, [&] { noFolderChosen = chosen.isEmpty(); });
    if (noFolderChosen)
        return;
    step(333, [&] { m_lastMoveFolder = chosen; });
    step(334, [&] { storeSetting(SettingsApp, SettingsSection, KeyLastFolder, m_lastMoveFolder); });
    QString target = chosen;
    step(110, [&] { target = moveTargetFolder(chosen); });
    step(114, [&] { m_pointer.set(Pointer::Busy); });

    Yielder yielder;
    const YieldFn yield = [&] { yielder(); };
    std::optional<MoveOperation> move;
    ResultSnapshot rows;
    QStringList folderRows;
    step(118, [&] {
        rows = snapshotOfCheckedFiles(*m_results, &folderRows);
        move.emplace(fromDisplay(target));
        hold.watch(move->progress());
    });
    CloseWatcher watcher(m_window, [&] {
        if (move)
            move->requestStop();
    });
    const AbruptEndGuard abruptEnd([&] {
        if (move)
            move->endNow();
    });
    if (!folderRows.isEmpty() && !watcher.closed())
        step(118, [&] {
            m_dialogs->message(folderRowsLeftText(folderRows, QStringLiteral("only files are moved")),
                               MessageStyle::Warning, applicationTitle());
        });
    runOnCheckedRows(step, move ? &*move : nullptr, watcher, operationTitle(FileOperationKind::Move, target),
                     {118, 132, 142, 144, 146}, [&] {
                         move->moveChecked(
                             rows, yield,
                             [&](MoveOperation::Step which, int row, const std::function<void()>& statement) {
                                 if (row < 0)
                                     step(moveLabel(which), statement);
                                 else
                                     rowStep(step, moveLabel(which), rows, row, statement);
                             });
                     });
}

template <class Operation>
void FileActions::runOnCheckedRows(Guard& step, Operation* operation, const CloseWatcher& watcher,
                                   const QString& title, const CheckedRowsLabels& labels,
                                   const std::function<void()>& work)
{
    if (operation && !watcher.closed())
        step(labels.run, [&] {
            const FileProgressWindow window(m_window, operation->progress(), title);
            work();
        });
    if (operation)
        step(labels.removeRows, [&] { operation->removeGoneRows(*m_results); });
    step(labels.repaint, [&] { m_resultView->viewport()->update(); });
    step(labels.pointer, [&] { m_pointer.set(Pointer::Default); });
    if (operation && !watcher.closed())
        step(labels.endMessage, [&] {
            const QString told = operation->endMessage();
            if (!told.isEmpty())
                m_dialogs->message(told, MessageStyle::Warning, applicationTitle());
        });
}

void FileActions::settleInterrupted()
{
    // Settling moves and removes files: the rows' operations wait for it as for one another.
    if (m_fileOperations.busy())
        return;
    FileOperationGate::Hold hold(m_fileOperations, m_window);
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    // On a thread of its own, not waited for once the window closes: a record may name a share that no
    // longer answers.
    struct Settling
    {
        std::mutex mutex;
        bool done = false;
        SettledTransfers settled;
    };
    const auto settling = std::make_shared<Settling>();
    bool started = false;
    step(150, [&] {
        std::thread([settling] {
            SettledTransfers settled = settleInterruptedTransfers();
            const std::lock_guard lock(settling->mutex);
            settling->settled = std::move(settled);
            settling->done = true;
        }).detach();
        started = true;
    });
    if (!started)
        return;
    CloseWatcher watcher(m_window, [] {});
    Yielder yielder;
    const auto done = [&] {
        const std::lock_guard lock(settling->mutex);
        return settling->done;
    };
    while (!done() && !watcher.closed()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        yielder();
    }
    if (watcher.closed())
        return;
    QString told;
    step(152, [&] { told = settling->settled.message(); });
    if (!told.isEmpty())
        step(154, [&] { m_dialogs->message(told, MessageStyle::Warning, applicationTitle()); });
}
