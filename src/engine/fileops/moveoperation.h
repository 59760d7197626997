// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/checkedrowsoperation.h"
#include "fileops/fileworker.h"
#include "fileops/transferjournal.h"
#include "platform/filemove.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class ResultModel;
class ResultSnapshot;

// The target folder for a chosen folder: ending in exactly one separator (the root stays as it is).
QString moveTargetFolder(const QString& chosen);

// Moves files into one folder, one file at a time, in three steps a caller can guard separately: begin,
// copy, deleteSource; then finish. A copied file's source is deleted only once its copy is durable, which
// is made sure for a batch of copies at a time (one sync, then the batch's sources go; finish ends the last
// batch). Within one operation no file replaces another that the operation placed or that was itself chosen
// to move there; a file of that name already there goes to the trash first. Afterwards exactly the rows
// whose files are no longer at their paths are gone.
class MoveOperation : public CheckedRowsOperation
{
public:
    // The steps of moveChecked, each of which a caller may guard on its own.
    enum class Step { Yield, CheckedTest, Begin, Copy, DeleteSource, Finish };
    using StepRunner = StepRunnerFor<Step>; // row -1: Finish

    // targetFolder: native bytes ending in the separator.
    explicit MoveOperation(QByteArray targetFolder, PlaceOptions options = {});

    void begin(quint64 rowId, const QByteArray& sourcePath);
    // Places the current file under name in the target folder. The bytes are copied on a worker thread while
    // yield keeps the caller's event loop turning. Rethrows whatever the copy threw, after noting it.
    void copy(const QByteArray& name, const YieldFn& yield);
    // Settles the current file: a renamed or refused one at once; a copied one joins the batch, whose
    // sources are deleted (on the worker thread too) once the batch is durable.
    void deleteSource(const YieldFn& yield = {});
    // Makes the last batch durable and deletes its sources; also after a stop, so that nothing already
    // copied is left twice.
    void finish(const YieldFn& yield = {});

    // Moves every checked row of a snapshot: claims the residents, then begin, copy and deleteSource for each
    // row until a stop, then finish.
    void moveChecked(const ResultSnapshot& rows, const YieldFn& yield, const StepRunner& run = {});

    // A stop abandons the file being copied (its source stays, its partial copy is removed; it counts as
    // stopped, not failed).
    // For a process that ends while the move is under way (the display went): stops, waits for the file in
    // hand, then makes the batch durable and deletes its sources as finish does, and drops the record.
    // Blocks; no yield.
    void endNow();
    // What the user is told at the end: the files not moved and why, then the moved files that replaced
    // an earlier file or lost extended attributes, then how many were moved before a stop. Empty when
    // there is nothing to tell.
    QString endMessage() const;

private:
    // A file whose fate is known once the current batch is durable.
    struct Unsettled
    {
        quint64 rowId = 0;
        QByteArray source;
        std::shared_ptr<ShortPath> reach; // spells the source for the system however long it is
        QByteArray target;
        PlaceResult placed; // placed and not renamed: its source waits for the batch's sync
        QString reason;
        bool stopped = false; // abandoned on a stop: neither finished nor failed
    };
    // Names of the chosen files that already lie in the target folder (however their paths spell it)
    // belong to them for this operation. Returns how many rows are checked.
    int claimResidents(const ResultSnapshot& rows);
    void settleNowOrLater(Unsettled file);
    void flushBatch(const YieldFn& yield);
    void settle(const Unsettled& file);
    // On the worker: records the files waiting in m_toRecord (and the current one) before any is placed.
    QString recordAhead();

    QByteArray m_target;
    FileIdentity m_targetFolder;
    PlaceOptions m_options;
    qint64 m_reported = 0; // of the file being copied; the worker's own
    FileWorker m_worker;
    QSet<QByteArray> m_placedNames;
    std::vector<FileIdentity> m_placedFiles;
    QHash<QByteArray, quint64> m_residents; // name -> row id of the chosen file already there

    bool m_active = false;
    bool m_settled = true;
    quint64 m_rowId = 0;
    QByteArray m_source;
    std::shared_ptr<ShortPath> m_reach;
    QByteArray m_targetPath;
    PlaceResult m_placed;
    QString m_refusal;
    bool m_stopped = false;

    // Every file is recorded before it is placed, a chunk of rows at a time with one sync, so that the next
    // start settles what a kill left; the record goes once every file is settled.
    std::unique_ptr<TransferJournal> m_journal;
    QString m_journalError;
    std::vector<QByteArray> m_toRecord;
    QSet<QByteArray> m_recorded; // recorded and not yet placed

    std::vector<Unsettled> m_batch;
    int m_batchCopies = 0;
    qint64 m_batchBytes = 0;
    int m_batchHeldFolders = 0;

    int m_total = 0;    // checked rows, as moveChecked found them
    int m_finished = 0; // files settled, stopped ones left out
    QStringList m_notes;
};
