// SPDX-License-Identifier: MIT
#include "fileops/trashoperation.h"

#include "fileops/failurelist.h"
#include "platform/filemove.h"
#include "platform/trash.h"
#include "results/resultmodel.h"

#include <algorithm>

void TrashOperation::add(quint64 rowId, const QByteArray& nativePath)
{
    m_files.push_back({rowId, nativePath});
}

void TrashOperation::addChecked(const ResultSnapshot& rows)
{
    for (int r = 0; r < rows.size(); ++r)
        if (rows.isChecked(r))
            add(rows.rowId(r), rows.nativePath(r));
}

void TrashOperation::run(const Yield& yield, const std::atomic<bool>* stop)
{
    for (const File& file : m_files) {
        if (yield)
            yield();
        if (stop && stop->load())
            break;
        const TrashResult result = moveToTrash(file.path, stop);
        // A file that had gone before is not a failure: its row no longer names anything.
        if (!existsWithoutFollowing(file.path))
            m_gone.push_back(file.rowId);
        else if (!result.ok)
            m_failures.append(failureLine(QString::fromUtf8(file.path), result.error));
    }
    std::sort(m_gone.begin(), m_gone.end());
}

QString TrashOperation::failureMessage() const
{
    return failureListText(QStringLiteral("These files were not sent to the trash:"), m_failures);
}

int TrashOperation::removeGoneRows(ResultModel& model) const
{
    return model.removeRowsById(m_gone);
}

QString trashQuestion(int fileCount)
{
    if (fileCount == 1)
        return QStringLiteral("Send 1 file to the trash?");
    return QStringLiteral("Send %1 files to the trash?").arg(fileCount);
}
