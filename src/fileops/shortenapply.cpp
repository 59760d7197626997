// SPDX-License-Identifier: MIT
#include "fileops/shortenapply.h"

#include "fileops/renamejournal.h"
#include "platform/posixfile.h"
#include "platform/renamefile.h"

namespace {

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load();
}

QString shown(const QByteArray& path)
{
    return QString::fromUtf8(path);
}

// Another program may take the planned name after the preview: the next counter that is free then.
RenameResult renameToFreeName(const ShortenItem& item, const ShortenLimit& limit, RenameJournal& journal,
                              int& line, QByteArray& newName)
{
    const std::string_view old(item.oldName.constData(), std::size_t(item.oldName.size()));
    RenameResult result = renameNoReplace(item.folder + item.oldName, item.folder + newName);
    for (int counter = 2; !result.renamed && result.nameTaken && counter < 10000; ++counter) {
        const std::optional<QByteArray> next = shortenedName(old, limit, counter);
        if (!next)
            break;
        if (*next == newName || existsWithoutFollowing(item.folder + *next))
            continue;
        journal.setStatus(line, RenameJournal::Status::Skipped);
        line = journal.append({item.folder, item.oldName, *next}, RenameJournal::Status::Todo);
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
    const ProgressEnd end(progress);
    ShortenResult result;
    std::vector<RenameEntry> entries;
    std::vector<const ShortenItem*> planned;
    for (const ShortenItem& item : plan)
        if (!item.newName.isEmpty()) {
            entries.push_back({item.folder, item.oldName, item.newName});
            planned.push_back(&item);
        }
    if (planned.empty())
        return result;
    if (progress)
        progress->setFilesTotal(int(planned.size()));
    std::unique_ptr<RenameJournal> journal = RenameJournal::create(entries, &result.journalError);
    if (!journal)
        return result;
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
        const RenameResult renamed = renameToFreeName(item, limit, *journal, line, newName);
        if (renamed.renamed) {
            journal->setStatus(line, RenameJournal::Status::Done);
            outcome.newPath = item.folder + newName;
            outcome.newLength =
                measureName(std::string_view(newName.constData(), std::size_t(newName.size())), limit.unit);
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

UndoResult undoLastShortening(const std::atomic<bool>* stop, FileOperationProgress* progress)
{
    const ProgressEnd end(progress);
    UndoResult result;
    QString error;
    std::unique_ptr<RenameJournal> journal = RenameJournal::openLatestUndoable(&error);
    if (!journal) {
        if (!error.isEmpty())
            result.failures << error;
        return result;
    }
    result.found = true;
    if (progress) {
        int toUndo = 0;
        for (int i = 0; i < journal->size(); ++i)
            toUndo += journal->status(i) == RenameJournal::Status::Done;
        progress->setFilesTotal(toUndo);
    }
    // Backwards, so that a name freed by a later rename of the batch is free again before an earlier one
    // needs it.
    for (int i = journal->size() - 1; i >= 0 && !stopped(stop); --i) {
        if (journal->status(i) != RenameJournal::Status::Done)
            continue;
        const RenameEntry& entry = journal->entry(i);
        if (progress)
            progress->beginFile(entry.folder + entry.newName);
        const RenameResult back = renameNoReplace(entry.folder + entry.newName, entry.folder + entry.oldName);
        if (progress)
            progress->finishFile(back.renamed);
        if (back.renamed) {
            journal->setStatus(i, RenameJournal::Status::Undone);
            result.undone.push_back(entry);
        } else {
            result.failures << shown(entry.folder + entry.newName) + QStringLiteral(": ") + back.error;
        }
    }
    return result;
}
