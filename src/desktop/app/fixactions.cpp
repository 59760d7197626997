// SPDX-License-Identifier: MIT
#include "app/fixactions.h"

#include "app/closewatcher.h"
#include "app/fileoperationgate.h"
#include "app/pointer.h"
#include "app/renamingrun.h"
#include "app/searchrun.h"
#include "app/targetactions.h"
#include "fileops/failurelist.h"
#include "fileops/fileworker.h"
#include "fileops/fixplan.h"
#include "fileops/renamedpaths.h"
#include "results/resultmodel.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "services/errorbox.h"
#include "services/yielder.h"
#include "target/targetpath.h"
#include "ui/fileprogresswindow.h"
#include "ui/fixdialog.h"
#include "ui/targetcheckdialog.h"

#include <QAbstractItemView>
#include <QHash>

namespace {
const QString Module = QStringLiteral("Form1");

// The listed folder a row lies below (the longest that holds it), ending in '/'; empty when none does.
QByteArray listedFolderOf(const QByteArray& path, const QList<QByteArray>& listed)
{
    QByteArray best;
    for (const QByteArray& folder : listed)
        if (path.size() > folder.size() && path.startsWith(folder) && folder.size() > best.size())
            best = folder;
    return best;
}

} // namespace

// Fix Checked Names For Target…
void FixActions::fixCheckedNames()
{
    Guard step(m_errorBox, Module, QStringLiteral("mnuFixNames_Click"));
    if (m_search.active()) {
        step(96, [&] {
            m_dialogs->message(QStringLiteral("Wait until the search has ended."), MessageStyle::Ok,
                               applicationTitle());
        });
        return;
    }
    if (refusedWhileBusy(step, 98))
        return;
    FileOperationGate::Hold hold(m_fileOperations, m_window);
    ResultSnapshot rows;
    std::vector<FixCandidate> candidates;
    step(100, [&] {
        QList<QByteArray> listed;
        for (int i = 0; i < m_search.folderCount(); ++i) {
            QByteArray folder = m_search.folderNativePath(i);
            listed << (folder.endsWith('/') ? folder : folder + '/');
        }
        rows = m_results->snapshot();
        for (int r = 0; r < rows.size(); ++r)
            if (rows.isChecked(r)) {
                const QByteArray path = rows.nativePath(r);
                candidates.push_back({rows.rowId(r), path, listedFolderOf(path, listed), 0});
            }
    });
    if (nothingChecked(step, candidates.empty(),
                       QStringLiteral("Check the files whose names are to be fixed first.")))
        return;

    std::vector<FixItem> plan;
    FixSetup setup;
    bool accepted = false;
    step(104, [&] {
        const TargetCheckChoice choice = rememberedTargetChoice();
        QString profileKey = choice.profileKey;
        if (profileKey == AutoTargetProfile)
            profileKey = autoProfileForFolder(choice.folder.toUtf8()).key;
        FixDialog dialog(std::move(candidates), profileKey, choice.folder, choice.rules, applicationTitle(),
                         m_window);
        accepted = m_runDialog ? m_runDialog(dialog) : dialog.exec() == QDialog::Accepted;
        if (accepted) {
            plan = dialog.plan();
            setup = dialog.setup();
        }
    });
    if (!accepted || !setup.profile || plan.empty())
        return;

    const auto rename = [&](const std::atomic<bool>* stop, FileOperationProgress* progress) {
        return applyFixes(plan, setup, stop, progress);
    };
    const auto updateRows = [&](const ShortenResult& result, QStringList& failures) {
        QHash<quint64, int> placeOf;
        for (int r = 0; r < rows.size(); ++r)
            placeOf.insert(rows.rowId(r), r);
        // Old path (no trailing '/') to the new name, for every rename that happened.
        QHash<QByteArray, QByteArray> renamed;
        for (const RenameOutcome& outcome : result.outcomes) {
            if (outcome.newPath.isEmpty()) {
                const int r = placeOf.value(outcome.rowId, -1);
                failures << failureLine(r < 0 ? QString::fromUtf8(outcome.oldPath) : rows.displayPath(r),
                                        outcome.error);
                continue;
            }
            renamed.insert(outcome.oldPath, outcome.newPath.mid(outcome.newPath.lastIndexOf('/') + 1));
        }
        if (renamed.isEmpty())
            return;
        std::vector<ResultModel::Renamed> moved;
        for (int r = 0; r < rows.size(); ++r) {
            const QByteArray path = rows.nativePath(r);
            const QByteArray after = pathAfterRenames(path, renamed);
            if (after != path)
                moved.push_back({rows.rowId(r), after, rows.measuredLength(r)});
        }
        m_results->renameRows(moved);
    };
    runRenaming(
        step, hold,
        {QStringLiteral("Fixing names"), QStringLiteral("These names were not fixed:"), rename, updateRows});
}
