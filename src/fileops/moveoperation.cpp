// SPDX-License-Identifier: MIT
#include "fileops/moveoperation.h"

#include "fileops/failurelist.h"
#include "platform/errorbox.h"
#include "results/resultmodel.h"
#include "search/pathhelpers.h"

#include <QDir>

#include <algorithm>

QString moveTargetFolder(const QString& chosen)
{
    const QChar sep = QDir::separator();
    QString folder = chosen;
    while (folder.size() > 1 && folder.endsWith(sep))
        folder.chop(1);
    if (!folder.endsWith(sep))
        folder += sep;
    return folder;
}

MoveOperation::MoveOperation(QByteArray targetFolder, PlaceOptions options)
    : m_target(std::move(targetFolder)), m_options(options)
{
}

void MoveOperation::claimResidents(const ResultSnapshot& rows)
{
    for (int r = 0; r < rows.size(); ++r) {
        if (!rows.isChecked(r))
            continue;
        const QByteArray path = rows.nativePath(r);
        if (folderOfPath(path) == m_target)
            m_residents.insert(fileNameOfPath(path), rows.rowId(r));
    }
}

void MoveOperation::begin(quint64 rowId, const QByteArray& sourcePath)
{
    if (!m_settled)
        deleteSource();
    m_active = true;
    m_settled = false;
    m_rowId = rowId;
    m_source = sourcePath;
    m_placed = PlaceResult();
    m_refusal.clear();
}

void MoveOperation::copy(const QByteArray& name, const Yield& yield)
{
    if (!m_active || m_settled)
        return;
    if (m_stop.load()) {
        m_refusal = QStringLiteral("stopped");
        return;
    }
    if (name.isEmpty()) {
        m_refusal = QStringLiteral("it has no file name");
        return;
    }
    if (const auto it = m_residents.constFind(name); it != m_residents.constEnd() && *it != m_rowId) {
        m_refusal = QStringLiteral("another chosen file of that name is already in the target folder");
        return;
    }
    const QByteArray target = m_target + name;
    const FileIdentity existing = fileIdentity(target);
    // The identity test also catches names that a case-insensitive file system takes as the same.
    if (m_placedNames.contains(name) ||
        (existing.valid &&
         std::find(m_placedFiles.begin(), m_placedFiles.end(), existing) != m_placedFiles.end())) {
        m_refusal = QStringLiteral("a file of that name was moved there just before");
        return;
    }
    try {
        m_worker.run([&] { m_placed = placeFile(m_source, target, m_options, &m_stop); }, yield);
    } catch (...) {
        m_refusal = describeCurrentException();
        throw;
    }
    if (m_placed.placed) {
        m_placedNames.insert(name);
        m_placedFiles.push_back(m_placed.target);
    }
}

void MoveOperation::deleteSource(const Yield& yield)
{
    if (!m_active || m_settled)
        return;
    m_settled = true;
    QString reason = m_refusal;
    if (reason.isEmpty()) {
        try {
            m_worker.run([&] { reason = removeCopiedSource(m_source, m_placed); }, yield);
        } catch (...) {
            settle(describeCurrentException());
            throw;
        }
    }
    settle(reason);
}

void MoveOperation::settle(const QString& reason)
{
    if (!entryExists(m_source))
        m_gone.insert(std::upper_bound(m_gone.begin(), m_gone.end(), m_rowId), m_rowId);
    else if (!reason.isEmpty())
        m_failures.append(failureLine(QString::fromUtf8(m_source), reason));
}

void MoveOperation::moveChecked(const ResultSnapshot& rows, const Yield& yield)
{
    for (int r = 0; r < rows.size() && !m_stop.load(); ++r) {
        if (yield)
            yield();
        if (!rows.isChecked(r))
            continue;
        const QByteArray path = rows.nativePath(r);
        begin(rows.rowId(r), path);
        copy(fileNameOfPath(path), yield);
        deleteSource(yield);
    }
}

QString MoveOperation::failureMessage() const
{
    return failureListText(QStringLiteral("These files were not moved:"), m_failures);
}

int MoveOperation::removeGoneRows(ResultModel& model) const
{
    return model.removeRowsById(m_gone);
}
