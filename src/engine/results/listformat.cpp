// SPDX-License-Identifier: MIT
#include "results/listformat.h"

void appendPaddedCell(QString& line, QStringView text, qsizetype width)
{
    line.append(text);
    if (width > text.size())
        line.resize(line.size() + (width - text.size()), QLatin1Char(' '));
    line.append(QLatin1Char('\t'));
}

QString paddedLine(const QStringList& cells, const std::vector<qsizetype>& widths)
{
    QString line;
    for (qsizetype c = 0; c < cells.size(); ++c)
        appendPaddedCell(line, cells[c], c < qsizetype(widths.size()) ? widths[c] : 0);
    return line;
}

void finishClipboardLine(QString& line)
{
    if (!line.isEmpty())
        line.chop(1);
    qsizetype end = line.size();
    while (end > 0 && line.at(end - 1) == QLatin1Char(' '))
        --end;
    line.truncate(end);
    line.append(QLatin1String("\r\n"));
}

std::vector<qsizetype> columnWidths(const ListTable& list, bool withTitles, const YieldFn& yield)
{
    const int columns = list.columnCount();
    std::vector<qsizetype> widths(std::size_t(std::max(columns, 0)), 0);
    if (withTitles) {
        for (int c = 0; c < columns; ++c)
            widths[c] = list.columnTitle(c).size();
    }
    // Row by row, so that the list is read in one sweep; the widths are the same in any order.
    const int rows = list.rowCount();
    for (int r = 0; r < rows; ++r) {
        yield();
        for (int c = 0; c < columns; ++c)
            widths[c] = std::max(widths[c], list.cellLength(r, c));
    }
    return widths;
}
