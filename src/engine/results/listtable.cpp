// SPDX-License-Identifier: MIT
#include "results/listtable.h"

SnapshotTable SnapshotTable::of(const ResultModel& model)
{
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c)
        titles.append(model.headerData(c, Qt::Horizontal).toString());
    return SnapshotTable(model.snapshot(), titles);
}

QString SnapshotTable::cellText(int row, int column) const
{
    if (column == 0)
        return m_rows.displayPath(row);
    if (column == 1)
        return m_rows.problemColumn() ? m_rows.problemText(row) : QString::number(m_rows.measuredLength(row));
    return QString();
}

qsizetype SnapshotTable::cellLength(int row, int column) const
{
    if (column != 0)
        return cellText(row, column).size();
    // Most paths are ASCII, where bytes and UTF-16 units agree; anything else is measured as displayed.
    const std::string_view bytes = m_rows.nativePathView(row);
    for (const char ch : bytes) {
        if (static_cast<unsigned char>(ch) >= 0x80)
            return m_rows.displayPath(row).size();
    }
    return qsizetype(bytes.size());
}
