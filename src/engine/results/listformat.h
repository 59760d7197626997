// SPDX-License-Identifier: MIT
#pragma once

#include "results/listtable.h"

#include <QString>
#include <QStringView>

#include <vector>

// Appends text, then spaces up to width (none when the text is as long or longer), then a tab.
void appendPaddedCell(QString& line, QStringView text, qsizetype width);

// The cells of one line, each padded to its column's width and closed by a tab.
QString paddedLine(const QStringList& cells, const std::vector<qsizetype>& widths);

// Turns a line of padded cells into a clipboard line: its last character (the closing tab) goes, then its
// trailing spaces (not tabs), then CR LF is appended.
void finishClipboardLine(QString& line);

// The longest text of each column over every row, checked or not; with withTitles the titles count too.
std::vector<qsizetype> columnWidths(const ListTable& list, bool withTitles, const YieldFn& yield);
