// SPDX-License-Identifier: MIT
#pragma once

#include "results/listtable.h"

#include <QList>
#include <QStringList>

// A list held in memory, as any list control could hand it over: a row may carry fewer cells than there are
// columns, and the missing ones read as empty.
class MemoryTable : public ListTable
{
public:
    struct Row
    {
        QStringList cells;
        bool checked = false;
    };
    QStringList titles;
    QList<Row> rows;

    MemoryTable& add(const QStringList& cells, bool checked)
    {
        rows.append({cells, checked});
        return *this;
    }

    int columnCount() const override { return int(titles.size()); }
    QString columnTitle(int column) const override { return titles.at(column); }
    int rowCount() const override { return int(rows.size()); }
    QString cellText(int row, int column) const override { return rows.at(row).cells.value(column); }
    bool isChecked(int row) const override { return rows.at(row).checked; }
};
