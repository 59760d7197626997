// SPDX-License-Identifier: MIT
#include "fileops/shortenapply.h"

#include "fileops/renamejournal.h"
#include "platform/fileidentity.h"
#include "platform/posixfile.h"
#include "platform/renamefile.h"

#include <cerrno>

namespace {

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load();
}

QString shown(const QByteArray& path)
{
    return QString::fromUtf8(path);
}

// Another program may take the planned name after the preview, or one equal to it but for case: the next
// counter that is free then.
RenameResult renameToFreeName(const ShortenItem& item, const NextFreeName& nextName, RenameJournal& journal,
                              TakenNames& taken, int& line, QByteArray& newName)
{
    RenameResult result;
    if (taken.isFree(item.folder, newName, item.oldName))
        result = renameNoReplace(item.folder + item.oldName, item.folder + newName);
    else
        result.nameTaken = true;
    for (int counter = 2; !result.renamed && result.nameTaken && counter < 10000; ++counter) {
        const std::optional<QByteArray> next = nextName(item, counter);
        if (!next)
            break;
        if (*next == newName || !taken.isFree(item.folder, *next, item.oldName) ||
            existsWithoutFollowing(item.folder + *next))
            continue;
        const FileIdentity file = journal.entry(line).file;
        journal.setStatus(line, RenameJournal::Status::Skipped);
        line = journal.append({item.folder, item.oldName, *next, file}, RenameJournal::Status::Todo);
        if (line < 0) {
            result.error = QStringLiteral("the undo record cannot be written");
            return result;
        }
        newName = *next;
        result = renameNoReplace(item.folder + item.oldName, item.folder + newName);
    }
    return result;
}

// Finishes the progress however the work ends, so that its window goes.
struct ProgressEnd
{
    FileOperationProgress* progress;
    explicit ProgressEnd(FileOperationProgress* p) : progress(p) {}
    ~ProgressEnd()
    {
        if (progress)
            progress->finish();
    }
    ProgressEnd(const ProgressEnd&) = delete;
    ProgressEnd& operator=(const ProgressEnd&) = delete;
};

} // namespace

ShortenResult applyShortening(const std::vector<ShortenItem>& plan, const ShortenLimit& limit,
                              const std::atomic<bool>* stop, FileOperationProgress* progress)
{
    const auto nextName = [&limit](const ShortenItem& item, int counter) {
        return shortenedName(std::string_view(item.oldName.constData(), std::size_t(item.oldName.size())),
                             limit, counter);
    };
    return applyRenames(plan, nextName, NameFolding{}, limit.unit, stop, progress);
}

ShortenResult applyRenames(const std::vector<ShortenItem>& plan, const NextFreeName& nextName,
                           NameFolding folding, LengthUnit unit, const std::atomic<bool>* stop,
                           FileOperationProgress* progress)
{
    const ProgressEnd end(progress);
    ShortenResult result;
    std::vector<RenameEntry> entries;
    std::vector<const ShortenItem*> planned;
    for (const ShortenItem& item : plan)
        if (!item.newName.isEmpty()) {
            // Recorded before the rename, so that undo knows the file even where the batch was cut off
            // before its line said it was renamed.
            const FileIdentity file = identityWithoutFollowing(item.folder + item.oldName).identity;
            entries.push_back({item.folder, item.oldName, item.newName, file});
            planned.push_back(&item);
        }
    if (planned.empty())
        return result;
    if (progress)
        progress->setFilesTotal(int(planned.size()));
    std::unique_ptr<RenameJournal> journal = RenameJournal::create(entries, &result.journalError);
    if (!journal)
        return result;
    TakenNames taken(folding); // the folders as they are now, not as the preview found them
    for (std::size_t k = 0; k < planned.size(); ++k) {
        if (stopped(stop)) {
            result.notReached = int(planned.size() - k);
            break;
        }
        const ShortenItem& item = *planned[k];
        if (progress)
            progress->beginFile(item.folder + item.oldName);
        RenameOutcome outcome;
        outcome.rowId = item.rowId;
        outcome.oldPath = item.folder + item.oldName;
        int line = int(k);
        QByteArray newName = item.newName;
        const RenameResult renamed = renameToFreeName(item, nextName, *journal, taken, line, newName);
        if (renamed.renamed) {
            taken.release(item.folder, item.oldName);
            taken.take(item.folder, newName);
            journal->setStatus(line, RenameJournal::Status::Done);
            outcome.newPath = item.folder + newName;
            outcome.newLength =
                measureName(std::string_view(newName.constData(), std::size_t(newName.size())), unit);
        } else {
            journal->setStatus(line, RenameJournal::Status::Skipped);
            outcome.error = renamed.error.isEmpty() ? QStringLiteral("no free name") : renamed.error;
        }
        if (progress)
            progress->finishFile(renamed.renamed);
        result.outcomes.push_back(std::move(outcome));
    }
    return result;
}

namespace {

// Settles one line of a batch: renames its file back when the file is still the one renamed and nothing holds
// the old name, and records what became of it. Todo lines whose file was not renamed are marked skipped
// without a word. False when the record refused the new status.
bool settleLine(RenameJournal& journal, int i, UndoResult& result)
{
    using Status = RenameJournal::Status;
    const RenameEntry& entry = journal.entry(i);
    const bool done = journal.status(i) == Status::Done;
    const QByteArray oldPath = entry.folder + entry.oldName;
    const QByteArray newPath = entry.folder + entry.newName;
    const IdentityResult atOld = identityWithoutFollowing(oldPath);
    const IdentityResult atNew = identityWithoutFollowing(newPath);
    const auto notUndone = [&](const QString& reason) {
        result.failures << shown(newPath) + QStringLiteral(": ") + reason;
        return journal.setNotUndone(i, reason);
    };
    if (!entry.file.valid) {
        // A line of an older record: which file it named is not known, so only a done line is undone, and
        // a file back at its old name with none at the new one counts as renamed back already.
        if (!done)
            return journal.setStatus(i, Status::Skipped);
        if (atOld.exists() && atNew.errnum == ENOENT) {
            result.alreadyBack.push_back(entry);
            return journal.setStatus(i, Status::AlreadyBack);
        }
    } else if (atOld.exists() && sameFile(entry.file, atOld.identity)) {
        if (!done)
            return journal.setStatus(i, Status::Skipped);
        result.alreadyBack.push_back(entry);
        return journal.setStatus(i, Status::AlreadyBack);
    } else if (!atNew.exists() || !sameFile(entry.file, atNew.identity)) {
        if (!done) // never renamed, or renamed and gone since: nothing of ours to undo
            return journal.setStatus(i, Status::Skipped);
        return notUndone(atNew.exists() ? QStringLiteral("another file has taken this name") : atNew.error());
    }
    const RenameResult back = renameNoReplace(newPath, oldPath);
    if (!back.renamed)
        return notUndone(back.error);
    result.undone.push_back(entry);
    return journal.setStatus(i, Status::Undone);
}

} // namespace

UndoResult undoLastShortening(const std::atomic<bool>* stop, FileOperationProgress* progress)
{
    const ProgressEnd end(progress);
    UndoResult result;
    // A batch whose renames never happened (cut off before the first) is settled and passed over.
    while (!stopped(stop) && !result.found) {
        QString error;
        std::unique_ptr<RenameJournal> journal = RenameJournal::openLatestUndoable(&error);
        if (!journal) {
            if (!error.isEmpty())
                result.failures << error;
            return result;
        }
        const auto unsettled = [&](int i) {
            const RenameJournal::Status status = journal->status(i);
            return status == RenameJournal::Status::Done || status == RenameJournal::Status::Todo;
        };
        if (progress) {
            int toSettle = 0;
            for (int i = 0; i < journal->size(); ++i)
                toSettle += unsettled(i);
            progress->setFilesTotal(toSettle);
        }
        const auto settledBefore = result.undone.size() + result.alreadyBack.size() + result.failures.size();
        bool recorded = true;
        // Backwards, so that a name freed by a later rename of the batch is free again before an earlier one
        // needs it.
        for (int i = journal->size() - 1; i >= 0 && !stopped(stop); --i) {
            if (!unsettled(i))
                continue;
            const RenameEntry& entry = journal->entry(i);
            if (progress)
                progress->beginFile(entry.folder + entry.newName);
            const auto undoneBefore = result.undone.size();
            recorded = settleLine(*journal, i, result) && recorded;
            if (progress)
                progress->finishFile(result.undone.size() != undoneBefore);
        }
        result.found =
            result.undone.size() + result.alreadyBack.size() + result.failures.size() != settledBefore;
        if (!recorded) {
            // The same record would be found again and again.
            result.failures << journal->path() + QStringLiteral(": what was undone cannot be recorded");
            return result;
        }
    }
    return result;
}
