// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/operationprogress.h"
#include "platform/yieldfn.h"
#include "results/resultmodel.h"

#include <QStringList>

#include <functional>
#include <vector>

// What an operation on the checked rows of the result list shares with the others: the steps a caller may
// guard one by one, stopping, and afterwards which rows' files are no longer at their paths, so that exactly
// those rows leave the list, whatever happened to the others.
class CheckedRowsOperation
{
public:
    // Runs one step of a row (-1: of no row). Without a runner a failing step ends the walk over the rows.
    template <class Step>
    using StepRunnerFor = std::function<void(Step step, int row, const std::function<void()>& statement)>;

    // Safe from any thread: the file in hand is finished or abandoned, and no other is begun.
    void requestStop() { m_progress.requestStop(); }
    bool stopRequested() const { return m_progress.stopRequested(); }
    FileOperationProgress& progress() { return m_progress; }

    // Ids of the rows whose files are gone from their paths, ascending.
    const std::vector<quint64>& goneIds() const { return m_gone; }
    // One line per file that is still at its path although it was to go.
    const QStringList& failures() const { return m_failures; }
    int removeGoneRows(ResultModel& model) const;

protected:
    CheckedRowsOperation() = default;
    ~CheckedRowsOperation() = default;

    template <class Step>
    static void runStep(const StepRunnerFor<Step>& run, Step which, int row,
                        const std::function<void()>& statement)
    {
        if (run)
            run(which, row, statement);
        else
            statement();
    }

    // Yields once a row and hands each checked row to take, until a stop when untilStop.
    template <class Step, class Take>
    void forEachCheckedRow(const ResultSnapshot& rows, const YieldFn& yield, const StepRunnerFor<Step>& run,
                           bool untilStop, Take&& take);

    void noteGone(quint64 rowId);

    FileOperationProgress m_progress;
    std::vector<quint64> m_gone;
    QStringList m_failures;
};

template <class Step, class Take>
void CheckedRowsOperation::forEachCheckedRow(const ResultSnapshot& rows, const YieldFn& yield,
                                             const StepRunnerFor<Step>& run, bool untilStop, Take&& take)
{
    for (int r = 0; r < rows.size() && !(untilStop && stopRequested()); ++r) {
        runStep(run, Step::Yield, r, [&] {
            if (yield)
                yield();
        });
        bool checked = false;
        runStep(run, Step::CheckedTest, r, [&] { checked = rows.isChecked(r); });
        if (checked)
            take(r);
    }
}
