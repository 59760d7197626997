// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/fileworker.h"
#include "fileops/operationprogress.h"
#include "fileops/transferjournal.h"

#include "platform/trash.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class ResultModel;
class ResultSnapshot;

// Sends the files of chosen rows to the trash, one at a time, and afterwards knows which rows' files are no
// longer at their paths: exactly those rows leave the list, whatever happened to the others.
class TrashOperation
{
public:
    using Yield = std::function<void()>;
    // The steps of addChecked, each of which a caller may guard on its own.
    enum class Step { Yield, CheckedTest, Add };
    // Runs one step for a row. Without a runner a failing step ends addChecked.
    using StepRunner = std::function<void(Step step, int row, const std::function<void()>& statement)>;

    void add(quint64 rowId, const QByteArray& nativePath);
    // Adds every checked row of a snapshot, yielding once a row.
    void addChecked(const ResultSnapshot& rows, const Yield& yield = {}, const StepRunner& run = {});
    int count() const { return int(m_files.size()); }

    // Each file is trashed on a worker thread while yield keeps the caller's event loop turning; yield also
    // runs between files. A stop ends the run after the file in hand, or abandons its copy into the trash.
    void run(const Yield& yield);
    // Safe from any thread.
    void requestStop() { m_progress.requestCancel(); }
    // For a process that ends while run() is under way (the display went): stops, waits for the file in hand
    // to be settled (a copy into the trash abandoned and removed), and drops the record. Blocks.
    void endNow();
    bool stopRequested() const { return m_progress.cancelRequested(); }
    FileOperationProgress& progress() { return m_progress; }

    // Ids of the rows whose files are gone from their paths, ascending.
    const std::vector<quint64>& goneIds() const { return m_gone; }
    // One line per file that is still at its path although it was to go.
    const QStringList& failures() const { return m_failures; }
    // The files not sent to the trash and why, then how many were sent before a cancel; empty when there is
    // nothing to tell.
    QString endMessage() const;
    int removeGoneRows(ResultModel& model) const;

private:
    struct File
    {
        quint64 rowId;
        QByteArray path;
    };
    std::vector<File> m_files;
    std::vector<quint64> m_gone;
    QStringList m_failures;
    int m_finished = 0; // files tried, the one abandoned on a stop left out
    // Each file is recorded before it moves, so that the next start settles what a kill left.
    std::unique_ptr<TransferJournal> m_journal;
    TrashRecording m_recording;
    FileOperationProgress m_progress;
    FileWorker m_worker;
};

// The question the program asks before anything goes to the trash.
QString trashQuestion(int fileCount);
