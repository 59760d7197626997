// SPDX-License-Identifier: MIT
#pragma once

#include "results/growablearray.h"
#include "results/patharena.h"
#include "results/resultbatch.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One result row: 16 bytes plus its path in the arena. The id is the path's place in the arena, which is
// never reused while the model lives, so it names the row even after other rows were removed.
struct ResultRow
{
    quint64 id;
    quint32 pathBytes;
    quint16 measuredLength; // the Length column: the name or the path measured in the search's unit
    quint8 checked;
    quint8 reserved;
};
static_assert(sizeof(ResultRow) == 16);

// The row table, shared between the model and its snapshots: taking a snapshot copies nothing, and the model
// copies the table only when it changes while a snapshot still reads it. Every non-const access may copy.
class SharedRows
{
public:
    using Rows = GrowableArray<ResultRow>;
    std::size_t size() const { return m_rows->size(); }
    bool empty() const { return m_rows->empty(); }
    std::size_t capacity() const { return m_rows->capacity(); }
    const ResultRow& operator[](std::size_t i) const { return (*m_rows)[i]; }
    ResultRow& operator[](std::size_t i) { return own()[i]; }
    const ResultRow* begin() const { return std::as_const(*m_rows).begin(); }
    const ResultRow* end() const { return std::as_const(*m_rows).end(); }
    ResultRow* begin() { return own().begin(); }
    ResultRow* end() { return own().end(); }
    void push_back(const ResultRow& row) { own().push_back(row); }
    void reserve(std::size_t n) { own().reserve(n); }
    void resize(std::size_t n) { own().resize(n); }
    void clear() { own().clear(); }
    void shrink_to_fit() { own().shrink_to_fit(); }
    void supplyAhead() { own().supplyAhead(); }
    // Takes rows as the new table; snapshots that share the old one keep it.
    void replace(Rows&& rows) { m_rows = std::make_shared<Rows>(std::move(rows)); }
    // True when both read the very same table (no change since one was copied from the other).
    bool sameTable(const SharedRows& other) const { return m_rows == other.m_rows; }
    ResultRow* erase(ResultRow* first, ResultRow* last) { return own().erase(first, last); }

private:
    Rows& own()
    {
        if (m_rows.use_count() > 1)
            m_rows = std::make_shared<Rows>(*m_rows);
        return *m_rows;
    }
    std::shared_ptr<Rows> m_rows = std::make_shared<Rows>();
};

// A frozen copy of the rows at one moment: long operations read this, never the live list, so a row removed
// meanwhile is never read.
class ResultSnapshot
{
public:
    ResultSnapshot() = default;
    int size() const { return int(m_rows.size()); }
    std::string_view nativePathView(int row) const
    {
        return m_arena.view(m_rows[row].id, m_rows[row].pathBytes);
    }
    QByteArray nativePath(int row) const;
    QString displayPath(int row) const;
    quint16 measuredLength(int row) const { return m_rows[row].measuredLength; }
    bool isChecked(int row) const { return m_rows[row].checked != 0; }
    quint64 rowId(int row) const { return m_rows[row].id; }
    // The model's layout generation when the snapshot was taken (see ResultModel::layoutGeneration).
    quint64 generation() const { return m_generation; }
    // As the model's, when the snapshot was taken.
    bool problemColumn() const { return m_problemColumn; }
    QString problemText(int row) const { return m_problems.value(m_rows[row].id); }

private:
    friend class ResultModel;
    SharedRows m_rows;
    PathArena m_arena;
    QHash<quint64, QString> m_problems; // shared with the model's until either changes
    quint64 m_generation = 0;
    bool m_problemColumn = false;
};

// A new order of a snapshot's rows with the work done in advance, so that putting it in place on the window's
// thread costs little more than swapping two tables. Built by ResultModel::prepareOrder on any thread.
class PreparedOrder
{
public:
    bool isValid() const { return m_valid; }

private:
    friend class ResultModel;
    ResultSnapshot m_from;
    std::vector<quint32> m_order;
    std::vector<quint32> m_newPlace; // the inverse of m_order
    SharedRows::Rows m_rows;
    bool m_inIdOrder = false;
    bool m_identity = false;
    bool m_valid = false;
};

// The result list: column 0 the full path (checkable), column 1 the name length, or with the problem column
// on (a target check's rows) each row's problem text.
class ResultModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit ResultModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Appends every entry of the batch at the end with one insertion; new rows are unchecked.
    void appendBatch(const ResultBatch& batch);
    void appendRow(std::string_view nativePath, quint16 measuredLength);
    // Empties the list; the column shown stays.
    void clearRows();

    // On: column 1 is headed "Problem" and shows each row's problem text; off: "Length".
    void setProblemColumn(bool on);
    bool problemColumn() const { return m_problemColumn; }
    // The row's problem text; empty for a row that came without one.
    QString problemText(int row) const { return m_problems.value(m_rows[row].id); }

    QByteArray nativePath(int row) const;
    QString displayPath(int row) const;
    quint16 measuredLength(int row) const { return m_rows[row].measuredLength; }
    bool isChecked(int row) const { return m_rows[row].checked != 0; }
    quint64 rowId(int row) const { return m_rows[row].id; }

    void setChecked(int row, bool checked);
    void setAllChecked(bool checked);
    void setCheckedRows(const std::vector<int>& rows, bool checked);
    void invertChecks();
    int checkedCount() const;

    // Removes the rows whose ids are given, in any order; ids no longer present are ignored. Returns how many
    // went.
    int removeRowsById(const std::vector<quint64>& ids);
    // Past either, removed rows reset the views rather than leave one run at a time (which keeps their
    // selection): each run removed moves every row after it, and in a long list that stalls the window.
    static constexpr std::size_t MostRunsRemovedOneByOne = 64;
    static constexpr std::size_t MostRowsMovedOneByOne = std::size_t(1) << 21;

    // Gives renamed files their new paths and measured lengths; rows keep their place and check mark but take
    // new ids. Ids no longer present are ignored. Returns how many rows changed.
    struct Renamed
    {
        quint64 id;
        QByteArray newPath;
        quint16 measuredLength;
    };
    int renameRows(const std::vector<Renamed>& renamed);

    ResultSnapshot snapshot() const;

    // Changes whenever rows are added, removed or reordered (not when check marks change): an order worked
    // out from a snapshot fits the live list only while this is still the snapshot's generation.
    quint64 layoutGeneration() const { return m_generation; }
    // Puts the rows in the given order: order[i] is the current position of the row that goes to position i.
    // Rows keep their ids and check marks; the views' selection and current row follow their rows. Refused
    // (false) when the list changed since the snapshot of that generation, or order is not a permutation.
    bool applyOrder(const std::vector<quint32>& order, quint64 generation);
    // Does the costly part of applyOrder from a snapshot alone; safe on any thread. An order that is not a
    // permutation of the snapshot's rows gives an invalid result.
    static PreparedOrder prepareOrder(ResultSnapshot from, std::vector<quint32> order);
    // As applyOrder; check marks changed since the snapshot are kept.
    bool applyOrder(PreparedOrder&& prepared);
    // Sorts on the calling thread (column 0 by path, 1 by length); ResultSorter does it off the window's
    // thread.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Bytes held for rows beyond the path bytes themselves (row table capacity and arena slack).
    quint64 overheadBytes() const;
    quint64 pathBytes() const { return m_pathBytes; }

private:
    void removeMarked(const std::vector<char>& remove, int count);

    SharedRows m_rows;
    PathArena m_arena;
    quint64 m_pathBytes = 0;
    quint64 m_generation = 0;
    // Rows appended by the walk come in ascending id order; a sort may break that.
    bool m_inIdOrder = true;
    // By row id: problem rows are few next to what a plain search can list, and a plain search has none.
    QHash<quint64, QString> m_problems;
    bool m_problemColumn = false;
};
