// SPDX-License-Identifier: MIT
#include "app/nameactions.h"

#include "app/closewatcher.h"
#include "app/fileoperationgate.h"
#include "app/pointer.h"
#include "app/renamingrun.h"
#include "fileops/failurelist.h"
#include "fileops/fileworker.h"
#include "fileops/renamedpaths.h"
#include "fileops/shorten.h"
#include "fileops/shortenapply.h"
#include "platform/nativepath.h"
#include "results/resultmodel.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "services/errorbox.h"
#include "services/yielder.h"
#include "ui/fileprogresswindow.h"
#include "ui/shortendialog.h"

#include <QAbstractItemView>
#include <QHash>

#include <algorithm>

namespace {
const QString Module = QStringLiteral("Form1");

std::string_view viewOf(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), std::size_t(bytes.size()));
}

} // namespace

QString defaultShortenLimit(const std::optional<LengthCriterion>& criterion)
{
    if (!criterion || criterion->comparison != Comparison::GreaterThan || criterion->value < 1)
        return QString();
    switch (criterion->unit) {
    case LengthUnit::Name:
    case LengthUnit::Bytes:
        return limitText({criterion->value, criterion->unit});
    case LengthUnit::Path:
    case LengthUnit::PathBytes:
        break; // a path's limit says nothing about how long its name may be
    }
    return QString();
}

quint16 lengthAfterRename(quint16 shown, LengthUnit unit, std::string_view oldName, std::string_view newName)
{
    const auto measure = [unit](std::string_view name) { return qint64(measuredLength(unit, {}, name)); };
    qint64 value = 0;
    if (unit == LengthUnit::Name || unit == LengthUnit::Bytes)
        value = measure(newName);
    else // the part above the name is not known here, but it did not change
        value = qint64(shown) - measure(oldName) + measure(newName);
    return quint16(std::clamp<qint64>(value, 0, 0xFFFF));
}

// Shorten Checked Names…
void NameActions::shortenCheckedNames()
{
    Guard step(m_errorBox, Module, QStringLiteral("mnuShortenNames_Click"));
    if (refusedWhileBusy(step, 98))
        return;
    FileOperationGate::Hold hold(m_fileOperations, m_window);
    ResultSnapshot rows;
    std::vector<ShortenCandidate> candidates;
    QHash<quint64, int> placeOf; // row id to its place in the snapshot
    step(100, [&] {
        rows = m_results->snapshot();
        for (int r = 0; r < rows.size(); ++r)
            if (rows.isChecked(r)) {
                candidates.push_back({rows.rowId(r), rows.nativePath(r)});
                placeOf.insert(rows.rowId(r), r);
            }
    });
    if (nothingChecked(step, candidates.empty(),
                       QStringLiteral("Check the files whose names are to be shortened first.")))
        return;

    std::vector<ShortenItem> plan;
    ShortenLimit limit;
    bool accepted = false;
    step(104, [&] {
        ShortenDialog dialog(std::move(candidates), defaultShortenLimit(m_criterion), applicationTitle(),
                             m_window);
        accepted = m_runDialog ? m_runDialog(dialog) : dialog.exec() == QDialog::Accepted;
        if (accepted && dialog.limit()) {
            plan = dialog.plan();
            limit = *dialog.limit();
        }
    });
    if (!accepted || plan.empty())
        return;

    const auto rename = [&](const std::atomic<bool>* stop, FileOperationProgress* progress) {
        return applyShortening(plan, limit, stop, progress);
    };
    const auto updateRows = [&](const ShortenResult& result, QStringList& failures) {
        std::vector<ResultModel::Renamed> renamed;
        const LengthUnit unit = listUnit();
        for (const RenameOutcome& outcome : result.outcomes) {
            const int r = placeOf.value(outcome.rowId, -1);
            if (r < 0)
                continue;
            if (outcome.newPath.isEmpty()) {
                failures << failureLine(rows.displayPath(r), outcome.error);
                continue;
            }
            renamed.push_back(
                {outcome.rowId, outcome.newPath,
                 lengthAfterRename(rows.measuredLength(r), unit, fileNameOf(viewOf(outcome.oldPath)),
                                   fileNameOf(viewOf(outcome.newPath)))});
        }
        m_results->renameRows(renamed);
    };
    runRenaming(step, hold,
                {operationTitle(FileOperationKind::Shorten), QStringLiteral("These files were not renamed:"),
                 rename, updateRows});
}

// Undo Last Renaming: a shortening or a fix for a target, whichever came last
void NameActions::undoLastShortening()
{
    Guard step(m_errorBox, Module, QStringLiteral("mnuUndoShortening_Click"));
    if (refusedWhileBusy(step, 98))
        return;
    FileOperationGate::Hold hold(m_fileOperations, m_window);
    step(100, [&] { m_pointer.set(Pointer::Busy); });
    FileOperationProgress progress;
    hold.watch(progress);
    CloseWatcher watcher(m_window, [&] { progress.requestStop(); });
    UndoResult result;
    step(102, [&] {
        runRenamesOffWindowThread(m_window, progress, operationTitle(FileOperationKind::Undo),
                                  [&] { result = ::undoLastShortening(progress.stopFlag(), &progress); });
    });

    step(104, [&] {
        // A row shows a renamed file when its path is the folder and the new name the batch gave it.
        QHash<QByteArray, const RenameEntry*> byNewPath;
        for (const auto* entries : {&result.undone, &result.alreadyBack})
            for (const RenameEntry& entry : *entries)
                byNewPath.insert(entry.folder + entry.newName, &entry);
        if (byNewPath.isEmpty())
            return;
        const ResultSnapshot rows = m_results->snapshot();
        const LengthUnit unit = listUnit();
        std::vector<ResultModel::Renamed> renamed;
        // A fix renames folders too: rows below them follow.
        QHash<QByteArray, QByteArray> oldNames;
        for (auto it = byNewPath.constBegin(); it != byNewPath.constEnd(); ++it)
            oldNames.insert(it.key(), (*it)->oldName);
        for (int r = 0; r < rows.size(); ++r) {
            const QByteArray path = rows.nativePath(r);
            const QByteArray before = pathBeforeRenames(path, oldNames);
            if (before == path)
                continue;
            const bool folder = path.endsWith('/');
            const RenameEntry* entry =
                byNewPath.value(pathBeforeRenames(folderOf(folder ? path.chopped(1) : path), oldNames) +
                                fileNameOf(folder ? path.chopped(1) : path));
            renamed.push_back({rows.rowId(r), before,
                               entry ? lengthAfterRename(rows.measuredLength(r), unit, viewOf(entry->newName),
                                                         viewOf(entry->oldName))
                                     : rows.measuredLength(r)});
        }
        m_results->renameRows(renamed);
    });
    step(106, [&] { m_resultView->viewport()->update(); });
    step(108, [&] { m_pointer.set(Pointer::Default); });
    if (watcher.closed())
        return;
    step(110, [&] {
        if (!result.found && result.failures.isEmpty())
            m_dialogs->message(QStringLiteral("There is no renaming to undo."), MessageStyle::Ok,
                               applicationTitle());
        else {
            QStringList back;
            for (const RenameEntry& entry : result.alreadyBack)
                back << QString::fromUtf8(entry.folder + entry.oldName);
            QStringList parts{
                failureListText(QStringLiteral("These names were not changed back:"), result.failures),
                failureListText(QStringLiteral("These files had their old names back already:"), back)};
            parts.removeAll(QString());
            if (const QString told =
                    operationEndMessage(parts.join(QStringLiteral("\n\n")),
                                        cancellationLine(FileOperationKind::Undo, progress.read()));
                !told.isEmpty())
                m_dialogs->message(told, result.failures.isEmpty() ? MessageStyle::Ok : MessageStyle::Warning,
                                   applicationTitle());
        }
    });
}
