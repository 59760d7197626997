// SPDX-License-Identifier: MIT
#include "app/folderrows.h"

#include "fileops/failurelist.h"

#include <vector>

QByteArray rowTargetPath(const QByteArray& nativePath)
{
    const std::string_view view(nativePath.constData(), std::size_t(nativePath.size()));
    return isFolderRow(view) ? nativePath.chopped(1) : nativePath;
}

ResultSnapshot snapshotOfCheckedFiles(ResultModel& model, QStringList* folderRows)
{
    ResultSnapshot rows = model.snapshot();
    std::vector<int> folders;
    for (int r = 0; r < rows.size(); ++r)
        if (rows.isChecked(r) && isFolderRow(rows.nativePathView(r))) {
            folders.push_back(r);
            folderRows->append(rows.displayPath(r));
        }
    if (folders.empty())
        return rows;
    // The snapshot is the model's table at this moment: unchecking the folders for it alone, then checking
    // them again, leaves the user's marks as they were and the operation without them.
    model.setCheckedRows(folders, false);
    ResultSnapshot files = model.snapshot();
    model.setCheckedRows(folders, true);
    return files;
}

QString folderRowsLeftText(const QStringList& folderRows, const QString& operation)
{
    if (folderRows.isEmpty())
        return {};
    QStringList lines;
    for (const QString& path : folderRows)
        lines << path + QStringLiteral(": a folder; ") + operation;
    return failureListText(QStringLiteral("These checked rows are folders and were left as they are:"),
                           lines);
}
