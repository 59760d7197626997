// SPDX-License-Identifier: MIT
// ResultModel's rows: adding, checking, removing and renaming them, and what the list shows of them.
#include "results/resultmodel.h"

#include <QHash>

#include <algorithm>
#include <cstring>

QByteArray ResultSnapshot::nativePath(int row) const
{
    const std::string_view v = nativePathView(row);
    return QByteArray(v.data(), qsizetype(v.size()));
}

QString ResultSnapshot::displayPath(int row) const
{
    const std::string_view v = nativePathView(row);
    return QString::fromUtf8(v.data(), qsizetype(v.size()));
}

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent)
{
    startPageSupplier();
}

int ResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const ResultRow& row = m_rows[index.row()];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (index.column() == 0)
            return displayPath(index.row());
        if (m_problemColumn)
            return m_problems.value(row.id);
        return QString::number(row.measuredLength);
    }
    if (role == Qt::CheckStateRole && index.column() == 0)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ResultModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
        index.row() >= int(m_rows.size()))
        return false;
    setChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == 0)
        return QStringLiteral("Filename(s)");
    if (section == 1)
        return m_problemColumn ? QStringLiteral("Problem") : QStringLiteral("Length");
    return {};
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void ResultModel::appendBatch(const ResultBatch& batch)
{
    if (batch.empty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(batch.entries.size()) - 1);
    // Grow geometrically: reserving just enough for each batch would copy the whole table every batch.
    if (m_rows.capacity() < m_rows.size() + batch.entries.size())
        m_rows.reserve(std::max(m_rows.size() + batch.entries.size(), 2 * m_rows.capacity()));
    auto problem = batch.problems.begin();
    for (std::size_t i = 0; i < batch.entries.size(); ++i) {
        const ResultBatch::Entry& e = batch.entries[i];
        const std::string_view path(batch.bytes.data() + e.offset, e.pathBytes);
        const quint64 id = m_arena.append(path);
        m_rows.push_back({id, e.pathBytes, e.measuredLength, 0, 0});
        m_pathBytes += e.pathBytes;
        if (problem != batch.problems.end() && problem->entry == i) {
            m_problems.insert(id, QString::fromUtf8(batch.problemBytes.data() + problem->offset,
                                                    qsizetype(problem->length)));
            ++problem;
        }
    }
    m_rows.supplyAhead();
    ++m_generation;
    endInsertRows();
}

void ResultModel::appendRow(std::string_view nativePath, quint16 measuredLength)
{
    ResultBatch batch;
    batch.add(nativePath, measuredLength);
    appendBatch(batch);
}

void ResultModel::clearRows()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_arena.clear();
    m_problems.clear();
    m_pathBytes = 0;
    ++m_generation;
    m_inIdOrder = true;
    endResetModel();
}

void ResultModel::setProblemColumn(bool on)
{
    if (m_problemColumn == on)
        return;
    m_problemColumn = on;
    emit headerDataChanged(Qt::Horizontal, 1, 1);
    if (!m_rows.empty())
        emit dataChanged(index(0, 1), index(int(m_rows.size()) - 1, 1));
}

QByteArray ResultModel::nativePath(int row) const
{
    const std::string_view v = m_arena.view(m_rows[row].id, m_rows[row].pathBytes);
    return QByteArray(v.data(), qsizetype(v.size()));
}

QString ResultModel::displayPath(int row) const
{
    const std::string_view v = m_arena.view(m_rows[row].id, m_rows[row].pathBytes);
    return QString::fromUtf8(v.data(), qsizetype(v.size()));
}

void ResultModel::setChecked(int row, bool checked)
{
    if (row < 0 || row >= int(m_rows.size()) || bool(m_rows[row].checked) == checked)
        return;
    m_rows[row].checked = checked ? 1 : 0;
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

void ResultModel::setAllChecked(bool checked)
{
    if (m_rows.empty())
        return;
    const quint8 value = checked ? 1 : 0;
    for (ResultRow& row : m_rows)
        row.checked = value;
    emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, 0), {Qt::CheckStateRole});
}

void ResultModel::setCheckedRows(const std::vector<int>& rows, bool checked)
{
    int lo = int(m_rows.size()), hi = -1;
    for (int r : rows) {
        if (r < 0 || r >= int(m_rows.size()))
            continue;
        m_rows[r].checked = checked ? 1 : 0;
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    if (hi >= lo)
        emit dataChanged(index(lo, 0), index(hi, 0), {Qt::CheckStateRole});
}

void ResultModel::invertChecks()
{
    if (m_rows.empty())
        return;
    for (ResultRow& row : m_rows)
        row.checked ^= 1;
    emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, 0), {Qt::CheckStateRole});
}

int ResultModel::checkedCount() const
{
    return int(
        std::count_if(m_rows.begin(), m_rows.end(), [](const ResultRow& r) { return r.checked != 0; }));
}

int ResultModel::removeRowsById(const std::vector<quint64>& ids)
{
    std::vector<quint64> sorted;
    const std::vector<quint64>* wanted = &ids;
    if (!std::is_sorted(ids.begin(), ids.end())) {
        sorted = ids;
        std::sort(sorted.begin(), sorted.end());
        wanted = &sorted;
    }
    const std::vector<quint64>& sortedIds = *wanted;
    std::vector<char> remove(m_rows.size(), 0);
    int count = 0;
    if (!m_inIdOrder) {
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            if (std::binary_search(sortedIds.begin(), sortedIds.end(), m_rows[r].id)) {
                remove[r] = 1;
                ++count;
            }
        }
        removeMarked(remove, count);
        return count;
    }
    // Rows in ascending id order: one merge pass finds them.
    std::size_t k = 0;
    for (std::size_t r = 0; r < m_rows.size() && k < sortedIds.size(); ++r) {
        while (k < sortedIds.size() && sortedIds[k] < m_rows[r].id)
            ++k;
        if (k < sortedIds.size() && sortedIds[k] == m_rows[r].id) {
            remove[r] = 1;
            ++count;
        }
    }
    removeMarked(remove, count);
    return count;
}

int ResultModel::renameRows(const std::vector<Renamed>& renamed)
{
    QHash<quint64, const Renamed*> byId;
    for (const Renamed& r : renamed)
        byId.insert(r.id, &r);
    int changed = 0, lo = int(m_rows.size()), hi = -1;
    for (int row = 0; row < int(m_rows.size()) && changed < byId.size(); ++row) {
        const Renamed* r = byId.value(m_rows[row].id);
        if (!r)
            continue;
        const std::string_view path(r->newPath.constData(), std::size_t(r->newPath.size()));
        ResultRow& target = m_rows[row];
        m_pathBytes += path.size();
        m_pathBytes -= target.pathBytes;
        const quint64 oldId = target.id;
        target.id = m_arena.append(path);
        // The reasons stay with the row: they say what was found when it was checked.
        if (const auto found = m_problems.constFind(oldId); found != m_problems.cend()) {
            const QString text = found.value();
            m_problems.remove(oldId);
            m_problems.insert(target.id, text);
        }
        target.pathBytes = quint32(path.size());
        target.measuredLength = r->measuredLength;
        ++changed;
        lo = std::min(lo, row);
        hi = std::max(hi, row);
    }
    if (changed)
        ++m_generation; // a sort prepared before the rename must not be swapped in
    if (hi >= lo)
        emit dataChanged(index(lo, 0), index(hi, columnCount() - 1));
    return changed;
}

void ResultModel::removeMarked(const std::vector<char>& remove, int count)
{
    if (count == 0)
        return;
    ++m_generation;
    // Few runs: tell the view about each (from the bottom up, so positions stay valid); many, or few spread
    // over a long list, whose removals one by one would each move the rest of the list: reset once.
    std::vector<std::pair<int, int>> runs;
    std::size_t moved = 0;
    bool oneByOne = true;
    for (int r = 0; oneByOne && r < int(remove.size());) {
        if (!remove[r]) {
            ++r;
            continue;
        }
        int end = r;
        while (end + 1 < int(remove.size()) && remove[end + 1])
            ++end;
        runs.emplace_back(r, end);
        r = end + 1;
        moved += remove.size() - std::size_t(r);
        oneByOne = runs.size() <= MostRunsRemovedOneByOne && moved <= MostRowsMovedOneByOne;
    }
    if (oneByOne) {
        for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
            beginRemoveRows(QModelIndex(), it->first, it->second);
            for (int r = it->first; r <= it->second; ++r) {
                m_pathBytes -= m_rows[r].pathBytes;
                if (!m_problems.isEmpty())
                    m_problems.remove(m_rows[r].id);
            }
            m_rows.erase(m_rows.begin() + it->first, m_rows.begin() + it->second + 1);
            endRemoveRows();
        }
        return;
    }
    beginResetModel();
    std::size_t out = 0;
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        if (!remove[r]) {
            m_rows[out++] = m_rows[r];
        } else {
            m_pathBytes -= m_rows[r].pathBytes;
            if (!m_problems.isEmpty())
                m_problems.remove(m_rows[r].id);
        }
    }
    m_rows.resize(out);
    endResetModel();
}

quint64 ResultModel::overheadBytes() const
{
    return quint64(m_rows.capacity()) * sizeof(ResultRow) + (m_arena.bytesReserved() - m_pathBytes);
}
