// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class Dialogs;
class FileOperationProgress;
class QWidget;

// What the shortening and the fix for a target share around their renames.

// Runs job on a worker thread; the window's event loop turns meanwhile, and the progress window shows what
// the job reports to progress once it has lasted a moment.
void runRenamesOffWindowThread(QWidget* window, FileOperationProgress& progress, const QString& title,
                               const std::function<void()>& job);

// The one message at the end of a batch of renames: the record that could not be written (then nothing was
// renamed), or the names that stayed under failureHeading and what a stop left undone; none when all went.
void tellRenamingEnd(Dialogs& dialogs, const QString& journalError, const QStringList& failures,
                     const QString& failureHeading, FileOperationProgress& progress);
