// SPDX-License-Identifier: MIT
#include "app/actionservices.h"

#include "app/closewatcher.h"
#include "app/fileoperationgate.h"
#include "app/pointer.h"
#include "app/renamingrun.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "services/errorbox.h"
#include "ui/fileprogresswindow.h"

#include <QAbstractItemView>

bool ActionController::refusedWhileBusy(Guard& step, int label)
{
    if (!m_fileOperations.busy())
        return false;
    step(label,
         [&] { m_dialogs->message(FileOperationGate::busyText(), MessageStyle::Ok, applicationTitle()); });
    return true;
}

bool ActionController::nothingChecked(Guard& step, bool none, const QString& text)
{
    if (none)
        step(102, [&] { m_dialogs->message(text, MessageStyle::Ok, applicationTitle()); });
    return none;
}

void ActionController::runRenaming(Guard& step, FileOperationGate::Hold& hold, const RenamingSteps& steps)
{
    step(106, [&] { m_pointer.set(Pointer::Busy); });
    FileOperationProgress progress;
    hold.watch(progress);
    CloseWatcher watcher(m_window, [&] { progress.requestStop(); });
    ShortenResult result;
    step(108, [&] {
        runRenamesOffWindowThread(m_window, progress, steps.title,
                                  [&] { result = steps.rename(progress.stopFlag(), &progress); });
    });
    QStringList failures;
    step(110, [&] { steps.updateRows(result, failures); });
    step(112, [&] { m_resultView->viewport()->update(); });
    step(114, [&] { m_pointer.set(Pointer::Default); });
    if (watcher.closed())
        return;
    step(116,
         [&] { tellRenamingEnd(*m_dialogs, result.journalError, failures, steps.failureHeading, progress); });
}
