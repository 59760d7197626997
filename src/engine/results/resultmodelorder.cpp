// SPDX-License-Identifier: MIT
// ResultModel's snapshots, and a new order of its rows: prepared on any thread, put in place on the window's.
#include "results/resultmodel.h"

#include "results/resultsort.h"

#include <algorithm>
#include <utility>

ResultSnapshot ResultModel::snapshot() const
{
    ResultSnapshot s;
    s.m_rows = m_rows;
    s.m_arena = m_arena;
    s.m_problems = m_problems;
    s.m_problemColumn = m_problemColumn;
    s.m_generation = m_generation;
    return s;
}

bool ResultModel::applyOrder(const std::vector<quint32>& order, quint64 generation)
{
    if (generation != m_generation)
        return false;
    return applyOrder(prepareOrder(snapshot(), order));
}

PreparedOrder ResultModel::prepareOrder(ResultSnapshot from, std::vector<quint32> order)
{
    PreparedOrder p;
    const std::size_t n = from.m_rows.size();
    if (order.size() != n)
        return p;
    p.m_newPlace.assign(n, quint32(-1));
    bool identity = true;
    for (std::size_t i = 0; i < n; ++i) {
        const quint32 was = order[i];
        if (was >= n || p.m_newPlace[was] != quint32(-1))
            return p;
        p.m_newPlace[was] = quint32(i);
        identity = identity && was == i;
    }
    p.m_identity = identity;
    if (!identity) {
        p.m_rows.reserve(n);
        const ResultRow* rows = std::as_const(from.m_rows).begin();
        for (std::size_t i = 0; i < n; ++i)
            p.m_rows.push_back(rows[order[i]]);
        p.m_inIdOrder = std::is_sorted(p.m_rows.begin(), p.m_rows.end(),
                                       [](const ResultRow& a, const ResultRow& b) { return a.id < b.id; });
    }
    p.m_from = std::move(from);
    p.m_order = std::move(order);
    p.m_valid = true;
    return p;
}

bool ResultModel::applyOrder(PreparedOrder&& prepared)
{
    if (!prepared.m_valid || prepared.m_from.m_generation != m_generation ||
        prepared.m_order.size() != m_rows.size())
        return false;
    if (prepared.m_identity)
        return true;
    // The vertical-sort hint lets the selection keep one persistent index per selected row (none when all
    // rows are selected), instead of one per cell.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    if (!m_rows.sameTable(prepared.m_from.m_rows)) {
        // Only check marks can have changed without a new generation.
        const ResultRow* live = std::as_const(m_rows).begin();
        ResultRow* rows = prepared.m_rows.begin();
        for (std::size_t i = 0; i < prepared.m_order.size(); ++i)
            rows[i].checked = live[prepared.m_order[i]].checked;
    }
    m_rows.replace(std::move(prepared.m_rows));
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.append(i.isValid() ? index(int(prepared.m_newPlace[i.row()]), i.column()) : i);
    changePersistentIndexList(before, after);
    ++m_generation;
    m_inIdOrder = prepared.m_inIdOrder;
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return true;
}

void ResultModel::sort(int column, Qt::SortOrder order)
{
    const ResultSnapshot rows = snapshot();
    applyOrder(sortedOrder(rows, sortKeyOfColumn(column, rows.problemColumn()), order), rows.generation());
}
