// SPDX-License-Identifier: MIT
#include "app/clipboardcopy.h"

#include "results/listformat.h"
#include "services/clipboard.h"

#include <numeric>

QString copiedToClipboardMessage()
{
    return QStringLiteral(
        "Results have been copied to the clipboard.\r\rClick a text area where you normally type "
        "and press Ctrl+V to paste the clipboard.");
}

QString clipboardText(const ListTable& list, const YieldFn& yield)
{
    const std::vector<qsizetype> widths = columnWidths(list, false, yield);
    const int columns = int(widths.size());
    const int rows = list.rowCount();

    // Reserving the most the text can need spares a million-row copy its repeated regrowth.
    qsizetype checked = 0;
    for (int r = 0; r < rows; ++r)
        checked += list.isChecked(r) ? 1 : 0;
    const qsizetype perLine = std::accumulate(widths.begin(), widths.end(), qsizetype(0)) + columns + 2;
    QString text;
    text.reserve(checked * perLine);

    QString line;
    for (int r = 0; r < rows; ++r) {
        yield();
        if (!list.isChecked(r))
            continue;
        line.resize(0);
        for (int c = 0; c < columns; ++c)
            appendPaddedCell(line, list.cellText(r, c), widths[c]);
        finishClipboardLine(line);
        text.append(line);
    }
    return text;
}

void copyListToClipboard(const ListTable& list, const YieldFn& yield)
{
    if (list.rowCount() == 0)
        return;
    const QString text = clipboardText(list, yield);
    clearClipboard();
    setClipboardText(text, 0);
}
