// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/operationprogress.h"
#include "fileops/renamejournal.h"
#include "fileops/shorten.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

struct RenameOutcome
{
    quint64 rowId = 0;
    QByteArray oldPath;
    QByteArray newPath; // empty when the file kept its name
    int newLength = 0;  // in the limit's unit
    QString error;      // why the file kept its name
};

struct ShortenResult
{
    QString journalError;                // the journal could not be written, so nothing was renamed
    std::vector<RenameOutcome> outcomes; // one per planned rename reached, in plan order
    int notReached = 0;                  // planned renames left when stop was requested
};

// Renames each planned file in place, never replacing anything; a name taken since the plan was made gets the
// next free counter. The batch is journalled before the first rename, so undoLastShortening can reverse it.
// Stops after the file in hand when stop becomes true. progress, when given, counts the planned renames and
// is finished at the end.
ShortenResult applyShortening(const std::vector<ShortenItem>& plan, const ShortenLimit& limit,
                              const std::atomic<bool>* stop = nullptr,
                              FileOperationProgress* progress = nullptr);

// The name to try when the planned one was taken meanwhile, for counter 2 and up; empty when there is none.
using NextFreeName = std::function<std::optional<QByteArray>(const ShortenItem& item, int counter)>;
// The same for any plan of renames in place, in the plan's order: a new name is refused when the folder holds
// one equal to it under folding; newLength is counted in unit.
ShortenResult applyRenames(const std::vector<ShortenItem>& plan, const NextFreeName& nextName,
                           NameFolding folding, LengthUnit unit, const std::atomic<bool>* stop = nullptr,
                           FileOperationProgress* progress = nullptr);

struct UndoResult
{
    bool found = false; // a batch with a renamed file was there
    std::vector<RenameEntry> undone;
    std::vector<RenameEntry> alreadyBack; // files found at their old names again
    QStringList failures;                 // one line per rename that could not be reversed, with the reason
};

// Renames the newest journalled batch back: only the very files it renamed (by device and inode), still at
// their new names, never replacing anything. Every line is settled in the record, so the next call undoes
// the batch before, whatever could not be undone in this one.
// progress, when given, learns the number of lines to settle once the record is read.
UndoResult undoLastShortening(const std::atomic<bool>* stop = nullptr,
                              FileOperationProgress* progress = nullptr);
