// SPDX-License-Identifier: MIT
#include "fileops/moveoperation.h"

#include "fileops/failurelist.h"
#include "platform/apperror.h"
#include "platform/nativepath.h"
#include "platform/trash.h"
#include "results/resultmodel.h"

#include <QDir>

#include <algorithm>

#include <unistd.h>

QString moveTargetFolder(const QString& chosen)
{
    const QChar sep = QDir::separator();
    QString folder = chosen;
    while (folder.size() > 1 && folder.endsWith(sep))
        folder.chop(1);
    if (!folder.endsWith(sep))
        folder += sep;
    return folder;
}

namespace {
// A batch ends at this many copies or bytes: one sync then covers many small files, while a failure keeps at
// most one batch of sources waiting.
constexpr int BatchCopies = 1000;
constexpr qint64 BatchBytes = qint64(256) << 20;
// Sources beyond PATH_MAX hold their folder open until their batch is settled: a few hundred at most.
constexpr int BatchHeldFolders = 256;
// Rows recorded ahead with one sync: about a batch of copies.
constexpr int RecordAhead = 1000;

QString trashEarlierFile(const QByteArray& target)
{
    const TrashResult trashed = moveToTrash(target);
    return trashed.ok
               ? QString()
               : QStringLiteral("the file of that name in the target folder could not go to the trash: ") +
                     trashed.error;
}
} // namespace

MoveOperation::MoveOperation(QByteArray targetFolder, PlaceOptions options)
    : m_target(std::move(targetFolder)), m_targetFolder(folderIdentity(m_target)),
      m_options(std::move(options))
{
    m_options.deferSync = true;
    if (!m_options.clearTarget)
        m_options.clearTarget = trashEarlierFile;
    m_options.onCopied = [this](qint64 copied, qint64 size) {
        if (copied == 0) {
            m_progress.beginCopy(size);
            m_reported = 0;
        }
        m_progress.addCopied(copied - m_reported);
        m_reported = copied;
    };
}

int MoveOperation::claimResidents(const ResultSnapshot& rows)
{
    // Neighbouring rows mostly share a folder: look each folder up once in a row.
    QByteArray lastFolder;
    bool looked = false;
    bool lastIsTarget = false;
    int checked = 0;
    for (int r = 0; r < rows.size(); ++r) {
        if (!rows.isChecked(r))
            continue;
        ++checked;
        if (!m_targetFolder.valid)
            continue;
        const QByteArray path = rows.nativePath(r);
        const QByteArray folder = folderOf(path);
        if (!looked || folder != lastFolder) {
            looked = true;
            lastFolder = folder;
            lastIsTarget =
                folderIdentity(folder.isEmpty() ? QByteArrayLiteral(".") : folder) == m_targetFolder;
        }
        if (lastIsTarget)
            m_residents.insert(fileNameOf(path), rows.rowId(r));
    }
    return checked;
}

void MoveOperation::begin(quint64 rowId, const QByteArray& sourcePath)
{
    if (!m_settled)
        deleteSource();
    m_active = true;
    m_settled = false;
    m_rowId = rowId;
    m_source = sourcePath;
    m_reach = std::make_shared<ShortPath>(sourcePath);
    m_targetPath.clear();
    m_placed = PlaceResult();
    m_refusal.clear();
    m_stopped = false;
    m_progress.beginFile(sourcePath);
}

void MoveOperation::copy(const QByteArray& name, const YieldFn& yield)
{
    if (!m_active || m_settled)
        return;
    if (stopRequested()) {
        m_stopped = true;
        return;
    }
    if (name.isEmpty()) {
        m_refusal = QStringLiteral("it has no file name");
        return;
    }
    if (const auto it = m_residents.constFind(name); it != m_residents.constEnd() && *it != m_rowId) {
        m_refusal = QStringLiteral("another chosen file of that name is already in the target folder");
        return;
    }
    const QByteArray target = m_target + name;
    const FileIdentity existing = fileIdentity(target);
    // The identity test also catches names that a case-insensitive file system takes as the same.
    if (m_placedNames.contains(name) ||
        (existing.valid &&
         std::find(m_placedFiles.begin(), m_placedFiles.end(), existing) != m_placedFiles.end())) {
        m_refusal = QStringLiteral("a file of that name was moved there just before");
        return;
    }
    m_targetPath = target;
    try {
        m_worker.run(
            [&] {
                // Each recorded row is let go as it is placed, so that the set stays small.
                if (!m_recorded.remove(m_source)) {
                    if (std::find(m_toRecord.begin(), m_toRecord.end(), m_source) == m_toRecord.end())
                        m_toRecord.push_back(m_source);
                    if (QString why = recordAhead(); !why.isEmpty()) {
                        m_placed.error = why;
                        return;
                    }
                }
                m_placed = placeFile(m_reach->path(), target, m_options, m_progress.stopFlag());
            },
            yield);
    } catch (...) {
        m_refusal = describeCurrentException();
        throw;
    }
    // A stop abandons a copy in hand; a failure that met a stop counts as stopped too, its source stays.
    m_stopped = !m_placed.placed && stopRequested();
    if (m_placed.placed) {
        m_placedNames.insert(name);
        m_placedFiles.push_back(m_placed.target);
    }
}

QString MoveOperation::recordAhead()
{
    if (!m_journal && m_journalError.isEmpty()) {
        m_journal = TransferJournal::create(TransferJournal::Kind::Move, &m_journalError);
        if (m_journal)
            m_options.tempTag = m_journal->tag();
    }
    if (!m_journal)
        return QStringLiteral("the record of the move cannot be written: ") + m_journalError;
    std::vector<TransferEntry> entries;
    entries.reserve(m_toRecord.size());
    for (const QByteArray& source : m_toRecord) {
        const QByteArray target = m_target + fileNameOf(source);
        entries.push_back({source, target, {}, fileIdentity(target)});
    }
    if (QString why = m_journal->record(entries, true); !why.isEmpty())
        return QStringLiteral("the record of the move cannot be written: ") + why;
    for (const QByteArray& source : m_toRecord)
        m_recorded.insert(source);
    m_recorded.remove(m_source); // being placed now
    m_toRecord.clear();
    return {};
}

void MoveOperation::deleteSource(const YieldFn& yield)
{
    if (!m_active || m_settled)
        return;
    m_settled = true;
    Unsettled file{
        m_rowId, m_source, m_reach, m_targetPath, m_placed, m_refusal, m_stopped && m_refusal.isEmpty()};
    if (file.reason.isEmpty() && !m_placed.placed)
        file.reason = m_placed.error.isEmpty() ? QStringLiteral("it was not copied") : m_placed.error;
    if (file.stopped)
        m_progress.abandonFile();
    else // a file that had vanished is done as well: its row leaves
        m_progress.finishFile(m_placed.placed || presenceWithoutFollowing(m_source).state == Presence::Gone);
    const bool copied = file.reason.isEmpty() && !m_placed.renamed;
    if (copied) {
        ++m_batchCopies;
        m_batchBytes += m_placed.size;
        m_batchHeldFolders += m_reach->holdsFolder() ? 1 : 0;
    }
    settleNowOrLater(std::move(file));
    if (m_batchCopies >= BatchCopies || m_batchBytes >= BatchBytes || m_batchHeldFolders >= BatchHeldFolders)
        flushBatch(yield);
}

void MoveOperation::settleNowOrLater(Unsettled file)
{
    // While copies wait for their sync, later rows wait too: a row naming a waiting source (listed twice)
    // must be judged after that source has gone, and the message keeps the list's order.
    if (m_batch.empty() && (!file.reason.isEmpty() || file.placed.renamed))
        settle(file);
    else
        m_batch.push_back(std::move(file));
}

void MoveOperation::flushBatch(const YieldFn& yield)
{
    if (m_batch.empty())
        return;
    std::vector<Unsettled> batch = std::move(m_batch);
    m_batch.clear();
    const bool anyCopy = m_batchCopies > 0;
    m_batchCopies = 0;
    m_batchBytes = 0;
    m_batchHeldFolders = 0;
    const auto waiting = [](const Unsettled& f) { return f.reason.isEmpty() && !f.placed.renamed; };
    try {
        m_worker.run(
            [&] {
                const QString unsynced = anyCopy ? makeDurable(m_target) : QString();
                for (Unsettled& f : batch) {
                    if (!waiting(f))
                        continue;
                    if (unsynced.isEmpty()) {
                        f.reason = removeCopiedSource(f.reach->path(), f.placed);
                        continue;
                    }
                    // Not known to be durable: the source stays, and so must the only complete file of
                    // that name, so the copy goes.
                    f.reason = unsynced;
                    if (fileIdentity(f.target) == f.placed.target)
                        ::unlink(f.target.constData());
                }
            },
            yield);
    } catch (...) {
        const QString why = describeCurrentException();
        for (Unsettled& f : batch) {
            if (waiting(f))
                f.reason = why;
            settle(f);
        }
        throw;
    }
    for (const Unsettled& f : batch)
        settle(f);
}

void MoveOperation::finish(const YieldFn& yield)
{
    if (!m_settled)
        deleteSource(yield);
    flushBatch(yield);
    if (m_journal)
        m_journal->finished();
}

void MoveOperation::endNow()
{
    requestStop();
    m_worker.waitIdle();
    try {
        finish({});
    } catch (...) {
        // The record stays, and the next start settles what is left.
    }
}

void MoveOperation::settle(const Unsettled& file)
{
    // Only "no such file" means gone: a source that cannot be looked at (a folder without search permission,
    // a path too long) keeps its row, unless it was just moved away.
    const Presence source = presenceWithoutFollowing(file.source);
    const bool moved = file.placed.placed && file.reason.isEmpty();
    const bool gone = source.state == Presence::Gone || (source.state == Presence::Unknown && moved);
    if (gone || !file.stopped)
        ++m_finished;
    if (gone) {
        noteGone(file.rowId);
        if (moved && file.placed.clearedTarget)
            m_notes.append(QString::fromUtf8(file.target) +
                           QStringLiteral(": replaced; the earlier file is in the trash"));
        if (!file.placed.lostAttributes.isEmpty() && moved)
            m_notes.append(QString::fromUtf8(file.target) +
                           QStringLiteral(": its file system did not keep the extended attributes ") +
                           file.placed.lostAttributes.join(QStringLiteral(", ")));
        return;
    }
    QString reason = file.reason;
    if (reason.isEmpty() && !file.stopped && source.state == Presence::Unknown)
        reason = QStringLiteral("it cannot be checked: ") + source.error();
    if (file.placed.clearedTarget)
        reason += QStringLiteral("; the earlier file of that name in the target folder is in the trash");
    if (!reason.isEmpty() && !file.stopped)
        m_failures.append(failureLine(QString::fromUtf8(file.source), reason));
}

void MoveOperation::moveChecked(const ResultSnapshot& rows, const YieldFn& yield, const StepRunner& run)
{
    const auto step = [&](Step which, int row, const std::function<void()>& statement) {
        runStep(run, which, row, statement);
    };
    m_total = claimResidents(rows);
    m_progress.start(m_total);
    forEachCheckedRow(rows, yield, run, true, [&](int r) {
        QByteArray name;
        step(Step::Begin, r, [&] {
            const QByteArray source = rows.nativePath(r);
            // The rows ahead are recorded together with this one, by its copy's first step.
            if (!m_recorded.contains(source) && m_toRecord.empty())
                for (int ahead = r; ahead < rows.size() && int(m_toRecord.size()) < RecordAhead; ++ahead)
                    if (rows.isChecked(ahead))
                        m_toRecord.push_back(rows.nativePath(ahead));
            begin(rows.rowId(r), source);
            name = fileNameOf(source);
        });
        step(Step::Copy, r, [&] { copy(name, yield); });
        step(Step::DeleteSource, r, [&] { deleteSource(yield); });
    });
    // The last batch of copies is made durable and its sources deleted, after a stop as well.
    step(Step::Finish, -1, [&] { finish(yield); });
    m_progress.finish();
}

QString MoveOperation::endMessage() const
{
    QStringList parts;
    if (!m_failures.isEmpty())
        parts.append(failureListText(QStringLiteral("These files were not moved:"), m_failures));
    if (!m_notes.isEmpty())
        parts.append(failureListText(QStringLiteral("These files were moved:"), m_notes));
    FileOperationSnapshot end;
    end.filesTotal = m_total;
    end.filesFinished = m_finished;
    end.filesSucceeded = int(m_gone.size());
    end.stopRequested = stopRequested();
    return operationEndMessage(parts.join(QStringLiteral("\n\n")),
                               cancellationLine(FileOperationKind::Move, end));
}
