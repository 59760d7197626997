// SPDX-License-Identifier: MIT
#include "app/renamingrun.h"

#include "fileops/failurelist.h"
#include "fileops/fileworker.h"
#include "fileops/operationprogress.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "services/yielder.h"
#include "ui/fileprogresswindow.h"

void runRenamesOffWindowThread(QWidget* window, FileOperationProgress& progress, const QString& title,
                               const std::function<void()>& job)
{
    const FileProgressWindow progressWindow(window, progress, title);
    FileWorker worker;
    Yielder yielder;
    worker.run(job, [&] { yielder(); });
}

void tellRenamingEnd(Dialogs& dialogs, const QString& journalError, const QStringList& failures,
                     const QString& failureHeading, FileOperationProgress& progress)
{
    if (!journalError.isEmpty()) {
        dialogs.message(QStringLiteral("Nothing was renamed: the record that would undo the renames "
                                       "cannot be written.\n") +
                            journalError,
                        MessageStyle::Warning, applicationTitle());
        return;
    }
    const QString told =
        operationEndMessage(failures.isEmpty() ? QString() : failureListText(failureHeading, failures),
                            cancellationLine(FileOperationKind::Shorten, progress.read()));
    if (!told.isEmpty())
        dialogs.message(told, MessageStyle::Warning, applicationTitle());
}
