// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/checkedrowsoperation.h"
#include "fileops/fileworker.h"
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

// Sends the files of chosen rows to the trash, one at a time.
class TrashOperation : public CheckedRowsOperation
{
public:
    // The steps of addChecked, each of which a caller may guard on its own.
    enum class Step { Yield, CheckedTest, Add };
    using StepRunner = StepRunnerFor<Step>;

    void add(quint64 rowId, const QByteArray& nativePath);
    // Adds every checked row of a snapshot, yielding once a row.
    void addChecked(const ResultSnapshot& rows, const YieldFn& yield = {}, const StepRunner& run = {});
    int count() const { return int(m_files.size()); }

    // Each file is trashed on a worker thread while yield keeps the caller's event loop turning; yield also
    // runs between files. A stop ends the run after the file in hand, or abandons its copy into the trash.
    void run(const YieldFn& yield);
    // For a process that ends while run() is under way (the display went): stops, waits for the file in hand
    // to be settled (a copy into the trash abandoned and removed), and drops the record. Blocks.
    void endNow();
    // The files not sent to the trash and why, then how many were sent before a stop; empty when there is
    // nothing to tell.
    QString endMessage() const;

private:
    struct File
    {
        quint64 rowId;
        QByteArray path;
    };
    std::vector<File> m_files;
    int m_finished = 0; // files tried, the one abandoned on a stop left out
    // Each file is recorded before it moves, so that the next start settles what a kill left.
    std::unique_ptr<TransferJournal> m_journal;
    TrashRecording m_recording;
    FileWorker m_worker;
};

// The question the program asks before anything goes to the trash.
QString trashQuestion(int fileCount);
