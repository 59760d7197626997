// SPDX-License-Identifier: MIT
#include "fileops/trashoperation.h"

#include "fileops/failurelist.h"
#include "platform/filemove.h"
#include "platform/trash.h"
#include "results/resultmodel.h"

#include <algorithm>

void TrashOperation::add(quint64 rowId, const QByteArray& nativePath)
{
    m_files.push_back({rowId, nativePath});
}

void TrashOperation::addChecked(const ResultSnapshot& rows, const YieldFn& yield, const StepRunner& run)
{
    forEachCheckedRow(rows, yield, run, false, [&](int r) {
        runStep(run, Step::Add, r, [&] { add(rows.rowId(r), rows.nativePath(r)); });
    });
}

void TrashOperation::run(const YieldFn& yield)
{
    m_progress.start(count());
    QString unrecorded;
    // Made by the first file's job, off the caller's thread.
    const auto openJournal = [&] {
        m_journal = TransferJournal::create(TransferJournal::Kind::Trash, &unrecorded);
        if (!m_journal)
            return;
        m_recording.tempTag = m_journal->tag();
        m_recording.useFolder = [this](const QByteArray& folder) {
            return m_journal->recordTempFolder(folder);
        };
        m_recording.claim = [this](const QByteArray& file, const QByteArray& trashed, const QByteArray& info,
                                   FileIdentity entry) {
            return m_journal->record({{file, trashed, info, {}, entry}}, false);
        };
        m_recording.sync = [this] { return m_journal->record({}, true); };
    };
    for (const File& file : m_files) {
        if (yield)
            yield();
        if (stopRequested())
            break;
        m_progress.beginFile(file.path);
        TrashResult result;
        m_worker.run(
            [&] {
                if (!m_journal && unrecorded.isEmpty())
                    openJournal();
                if (m_journal)
                    result = moveToTrash(file.path, m_progress.stopFlag(), &m_recording);
                else
                    result.error =
                        QStringLiteral("the record of the trash run cannot be written: ") + unrecorded;
            },
            yield);
        // A file that had gone before is not a failure: its row no longer names anything. Only "no such
        // file" says so; a path that cannot be looked at keeps its row and is named with the reason.
        const Presence presence = presenceWithoutFollowing(file.path);
        const bool gone =
            presence.state == Presence::Gone || (presence.state == Presence::Unknown && result.ok);
        if (!gone && !result.ok && stopRequested()) {
            m_progress.abandonFile();
            break;
        }
        m_progress.finishFile(gone);
        ++m_finished;
        if (gone)
            noteGone(file.rowId);
        else if (!result.ok)
            m_failures.append(failureLine(QString::fromUtf8(file.path), result.error));
    }
    if (m_journal)
        m_journal->finished();
    m_progress.finish();
}

void TrashOperation::endNow()
{
    requestStop();
    m_worker.waitIdle();
    if (m_journal)
        m_journal->finished();
}

QString TrashOperation::endMessage() const
{
    FileOperationSnapshot end;
    end.filesTotal = count();
    end.filesFinished = m_finished;
    end.filesSucceeded = int(m_gone.size());
    end.stopRequested = stopRequested();
    return operationEndMessage(
        failureListText(QStringLiteral("These files were not sent to the trash:"), m_failures),
        cancellationLine(FileOperationKind::Trash, end));
}

QString trashQuestion(int fileCount)
{
    if (fileCount == 1)
        return QStringLiteral("Send 1 file to the trash?");
    return QStringLiteral("Send %1 files to the trash?").arg(fileCount);
}
