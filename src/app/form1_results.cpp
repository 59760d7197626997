// SPDX-License-Identifier: MIT
// Operations on the result list that leave files alone.
#include "app/form1.h"

#include "platform/apptitle.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "platform/yielder.h"
#include "results/clipboardcopy.h"
#include "results/listtable.h"
#include "results/prune.h"
#include "results/resultchecking.h"
#include "results/resultmodel.h"
#include "results/textreport.h"

#include <QScopedValueRollback>
#include "results/resultlistview.h"

#include <QTreeView>

namespace {
const QString Module = QStringLiteral("Form1");

QByteArray selectedPath(const QAbstractItemView* list, const ResultModel* rows)
{
    const int row = selectedResultRow(list);
    if (row < 0 || row >= rows->rowCount())
        throw AppError(QStringLiteral("No result is selected"));
    return rows->nativePath(row);
}
} // namespace

void Form1::setUpResultList()
{
    m_checking = new ResultListChecking(ListView2, m_results);
}

// Save Results As Text File
void Form1::PushButton4_Click()
{
    if (m_writingReport)
        return;
    const QScopedValueRollback busy(m_writingReport, true);
    Guard step(m_errorBox, Module, QStringLiteral("PushButton4_Click"));
    QString chosen;
    step(112, [&] {
        chosen = m_dialogs->saveFileName(
            QStringLiteral("Save"), QStringLiteral("Text Files (*.txt);;All Files (*)"), m_lastReportPath);
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
        ProgressBarSink bar(ProgressBar1);
        Yielder yielder;
        SaveListviewProperlySpaced(table, chosen, &bar, m_errorBox, [&] { yielder(); });
    });
    step(122, [&] { m_pointer.set(Pointer::Default); });
}

// Copy Results To Clipboard
void Form1::PushButton9_Click()
{
    if (m_copyingResults)
        return;
    const QScopedValueRollback busy(m_copyingResults, true);
    Guard step(m_errorBox, Module, QStringLiteral("PushButton9_Click"));
    step(106, [&] {
        const SnapshotTable table = SnapshotTable::of(*m_results);
        Yielder yielder;
        CopyListviewToClipboard(table, [&] { yielder(); });
    });
    step(108, [&] { m_dialogs->message(copiedToClipboardMessage(), MessageStyle::Ok, applicationTitle()); });
}

namespace {
using PruneProcedure = void (*)(ResultModel&, const QString&, const YieldFn&);

// The two prune buttons are twins but for the prompt and the sense of the test.
void prune(Dialogs& dialogs, ErrorBox& box, PointerState& pointer, ResultModel& rows,
           const QString& procedure, const QString& prompt, PruneProcedure remove)
{
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
} // namespace

// Remove Results Containing X
void Form1::PushButton6_Click()
{
    if (m_pruning)
        return;
    const QScopedValueRollback busy(m_pruning, true);
    prune(*m_dialogs, m_errorBox, m_pointer, *m_results, QStringLiteral("PushButton6_Click"),
          QStringLiteral("Remove entries containing: "), &RemoveItemsContaining);
}

// Remove Results Not Cont. X
void Form1::PushButton8_Click()
{
    if (m_pruning)
        return;
    const QScopedValueRollback busy(m_pruning, true);
    prune(*m_dialogs, m_errorBox, m_pointer, *m_results, QStringLiteral("PushButton8_Click"),
          QStringLiteral("Remove entries not containing: "), &RemoveItemsNotContaining);
}

// Open Selected File
void Form1::PushButton5_Click()
{
    Guard step(m_errorBox, Module, QStringLiteral("PushButton5_Click"));
    bool empty = false;
    step(106, [&] { empty = m_results->rowCount() == 0; });
    if (empty)
        return;
    step(108, [&] { Shell::open(Shell::urlForNativePath(selectedPath(ListView2, m_results))); });
}

// Open Folder Containg File
void Form1::PushButton13_Click()
{
    Guard step(m_errorBox, Module, QStringLiteral("PushButton13_Click"));
    bool empty = false;
    step(106, [&] { empty = m_results->rowCount() == 0; });
    if (empty)
        return;
    step(108, [&] { Shell::reveal(selectedPath(ListView2, m_results)); });
}

// Clear Results
void Form1::PushButton7_Click()
{
    Guard step(m_errorBox, Module, QStringLiteral("PushButton7_Click"));
    step(100, [&] { m_results->clearRows(); });
}
