// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/fileworker.h"
#include "platform/filemove.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

class ResultModel;
class ResultSnapshot;

// The target folder for a chosen folder: ending in exactly one separator (the root stays as it is).
QString moveTargetFolder(const QString& chosen);

// Moves files into one folder, one file at a time, in three steps a caller can guard separately: begin,
// copy, deleteSource. A source is deleted only after its copy is complete in the target; within one
// operation no file replaces another that the operation placed or that was itself chosen to move there.
// Afterwards exactly the rows whose files are no longer at their paths are gone.
class MoveOperation
{
public:
    using Yield = std::function<void()>;

    // targetFolder: native bytes ending in the separator.
    explicit MoveOperation(QByteArray targetFolder, PlaceOptions options = {});

    // Names of the chosen files that already lie in the target folder belong to them for this operation.
    void claimResidents(const ResultSnapshot& rows);

    void begin(quint64 rowId, const QByteArray& sourcePath);
    // Places the current file under name in the target folder. The bytes are copied on a worker thread while
    // yield keeps the caller's event loop turning. Rethrows whatever the copy threw, after noting it.
    void copy(const QByteArray& name, const Yield& yield);
    // Deletes the current source if its copy was verified (on the worker thread too: freeing a large file
    // takes a while), then settles its row: gone, or a failure to tell.
    void deleteSource(const Yield& yield = {});

    // Moves every checked row of a snapshot (begin, copy and deleteSource for each).
    void moveChecked(const ResultSnapshot& rows, const Yield& yield);

    // Safe from any thread: the file being copied is abandoned (its source stays) and no other is begun.
    void requestStop() { m_stop.store(true); }
    bool stopRequested() const { return m_stop.load(); }

    const std::vector<quint64>& goneIds() const { return m_gone; }
    const QStringList& failures() const { return m_failures; }
    QString failureMessage() const;
    int removeGoneRows(ResultModel& model) const;

private:
    void settle(const QString& reason);

    QByteArray m_target;
    PlaceOptions m_options;
    std::atomic<bool> m_stop{false};
    FileWorker m_worker;
    QSet<QByteArray> m_placedNames;
    std::vector<FileIdentity> m_placedFiles;
    QHash<QByteArray, quint64> m_residents; // name -> row id of the chosen file already there

    bool m_active = false;
    bool m_settled = true;
    quint64 m_rowId = 0;
    QByteArray m_source;
    PlaceResult m_placed;
    QString m_refusal;

    std::vector<quint64> m_gone;
    QStringList m_failures;
};
