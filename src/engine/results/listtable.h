// SPDX-License-Identifier: MIT
#pragma once

#include "platform/yieldfn.h"
#include "results/resultmodel.h"

#include <QString>
#include <QStringList>

#include <functional>

// What the report writer and the clipboard copier read of a list: columns with titles, rows with one text
// per column and a check mark. Rows and columns count from 0.
class ListTable
{
public:
    virtual ~ListTable() = default;
    virtual int columnCount() const = 0;
    virtual QString columnTitle(int column) const = 0;
    virtual int rowCount() const = 0;
    // A cell that was never set reads as the empty text.
    virtual QString cellText(int row, int column) const = 0;
    virtual bool isChecked(int row) const = 0;
    // Length in UTF-16 code units; override when it can be had without building the text.
    virtual qsizetype cellLength(int row, int column) const { return cellText(row, column).size(); }
};

// The result list as it was when the snapshot was taken: column 0 the path, column 1 the name length.
class SnapshotTable : public ListTable
{
public:
    SnapshotTable(ResultSnapshot rows, QStringList titles)
        : m_rows(std::move(rows)), m_titles(std::move(titles))
    {
    }
    // The titles are the model's column headers.
    static SnapshotTable of(const ResultModel& model);

    int columnCount() const override { return int(m_titles.size()); }
    QString columnTitle(int column) const override { return m_titles.value(column); }
    int rowCount() const override { return m_rows.size(); }
    QString cellText(int row, int column) const override;
    bool isChecked(int row) const override { return m_rows.isChecked(row); }
    qsizetype cellLength(int row, int column) const override;

private:
    ResultSnapshot m_rows;
    QStringList m_titles;
};
