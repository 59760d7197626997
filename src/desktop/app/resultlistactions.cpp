// SPDX-License-Identifier: MIT
#include "app/resultlistactions.h"

#include "app/clipboardcopy.h"
#include "app/folderrows.h"
#include "app/pointer.h"
#include "app/reportsaving.h"
#include "results/listtable.h"
#include "results/prune.h"
#include "results/resultmodel.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "services/errorbox.h"
#include "services/shell.h"
#include "services/yielder.h"
#include "ui/progressbarsink.h"
#include "ui/resultlistchecking.h"

#include <QScopedValueRollback>

namespace {
const QString Module = QStringLiteral("Form1");

QByteArray selectedPath(const QAbstractItemView* list, const ResultModel* rows)
{
    const int row = selectedResultRow(list);
    if (row < 0 || row >= rows->rowCount())
        throw AppError(QStringLiteral("No result is selected"));
    return rows->nativePath(row);
}

using PruneProcedure = void (*)(ResultModel&, const QString&, const YieldFn&);

// The two prune buttons are twins but for the prompt and the sense of the test.
void prune(bool& pruning, Dialogs& dialogs, ErrorBox& box, PointerState& pointer, ResultModel& rows,
           const QString& procedure, const QString& prompt, PruneProcedure remove)
{
    if (pruning)
        return;
    const QScopedValueRollback busy(pruning, true);
    Guard step(box, Module, procedure);
    QString piece;
    step(100, [&] { piece = dialogs.inputText(prompt, applicationTitle()); });
    bool nothing = false;
    step(102, [&] { nothing = piece.isEmpty(); });
    if (nothing)
        return;
    step(104, [&] { pointer.set(Pointer::Busy); });
    step(106, [&] {
        Yielder yielder;
        remove(rows, piece, [&] { yielder(); });
    });
    step(108, [&] { pointer.set(Pointer::Default); });
}

// The two open buttons differ only in what they hand the desktop.
void openSelected(ErrorBox& box, const QString& procedure, const QAbstractItemView* list,
                  const ResultModel* rows, void (*open)(const QByteArray& nativePath))
{
    Guard step(box, Module, procedure);
    bool empty = false;
    step(106, [&] { empty = rows->rowCount() == 0; });
    if (empty)
        return;
    step(108, [&] { open(selectedPath(list, rows)); });
}
} // namespace

// Save Results As Text File
void ResultListActions::saveReport()
{
    if (m_writingReport)
        return;
    const QScopedValueRollback busy(m_writingReport, true);
    Guard step(m_errorBox, Module, QStringLiteral("PushButton4_Click"));
    QString chosen;
    QString filter;
    step(112, [&] {
        chosen = m_dialogs->saveFileName(
            QStringLiteral("Save"), QStringLiteral("Text Files (*.txt);;All Files (*);;") + csvFileFilter(),
            m_lastReportPath, &filter);
    });
    step(114, [&] {
        if (!chosen.isEmpty())
            m_lastReportPath = chosen; // the next dialog starts here; a cancel keeps the last choice
    });
    bool cancelled = false;
    step(116, [&] { cancelled = chosen.isEmpty(); });
    if (cancelled)
        return;
    step(118, [&] { m_pointer.set(Pointer::Busy); });
    step(120, [&] {
        const SnapshotTable table = SnapshotTable::of(*m_results);
        ProgressBarSink bar(m_progress);
        Yielder yielder;
        if (filter == csvFileFilter() || chosen.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
            SaveListAsCsv(table, chosen, &bar, m_errorBox, [&] { yielder(); });
        else
            writeTextReport(table, chosen, &bar, m_errorBox, [&] { yielder(); });
    });
    step(122, [&] { m_pointer.set(Pointer::Default); });
}

// Copy Results To Clipboard
void ResultListActions::copyToClipboard()
{
    if (m_copyingResults)
        return;
    const QScopedValueRollback busy(m_copyingResults, true);
    Guard step(m_errorBox, Module, QStringLiteral("PushButton9_Click"));
    step(106, [&] {
        const SnapshotTable table = SnapshotTable::of(*m_results);
        Yielder yielder;
        copyListToClipboard(table, [&] { yielder(); });
    });
    step(108, [&] { m_dialogs->message(copiedToClipboardMessage(), MessageStyle::Ok, applicationTitle()); });
}

// Remove Results Containing X
void ResultListActions::removeContaining()
{
    prune(m_pruning, *m_dialogs, m_errorBox, m_pointer, *m_results, QStringLiteral("PushButton6_Click"),
          QStringLiteral("Remove entries containing: "), &removeRowsContaining);
}

// Remove Results Not Cont. X
void ResultListActions::removeNotContaining()
{
    prune(m_pruning, *m_dialogs, m_errorBox, m_pointer, *m_results, QStringLiteral("PushButton8_Click"),
          QStringLiteral("Remove entries not containing: "), &removeRowsNotContaining);
}

// Open Selected File
void ResultListActions::openSelectedFile()
{
    openSelected(m_errorBox, QStringLiteral("PushButton5_Click"), m_resultView, m_results,
                 [](const QByteArray& path) { Shell::open(Shell::urlForNativePath(rowTargetPath(path))); });
}

// Open Folder Containg File
void ResultListActions::revealSelectedFile()
{
    // A folder row shows the folder itself, selected in its parent.
    openSelected(m_errorBox, QStringLiteral("PushButton13_Click"), m_resultView, m_results,
                 [](const QByteArray& path) { Shell::reveal(rowTargetPath(path)); });
}

// Clear Results
void ResultListActions::clear()
{
    Guard step(m_errorBox, Module, QStringLiteral("PushButton7_Click"));
    step(100, [&] { m_results->clearRows(); });
}
