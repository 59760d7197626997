// SPDX-License-Identifier: MIT
#include "results/prune.h"

bool containsIgnoringCase(const QString& text, const QString& loweredPiece)
{
    return text.toLower().contains(loweredPiece, Qt::CaseSensitive);
}

std::vector<quint64> rowsToPrune(const ResultSnapshot& rows, const QString& piece, bool removeContaining,
                                 const YieldFn& yield)
{
    const QString lowered = piece.toLower();
    std::vector<quint64> ids;
    for (int i = 0; i < rows.size(); ++i) {
        yield();
        if (containsIgnoringCase(rows.displayPath(i), lowered) == removeContaining)
            ids.push_back(rows.rowId(i));
    }
    return ids;
}

namespace {
void removeRows(ResultModel& list, const QString& piece, bool removeContaining, const YieldFn& yield)
{
    const std::vector<quint64> ids = rowsToPrune(list.snapshot(), piece, removeContaining, yield);
    list.removeRowsById(ids);
}
} // namespace

void removeRowsContaining(ResultModel& list, const QString& piece, const YieldFn& yield)
{
    removeRows(list, piece, true, yield);
}

void removeRowsNotContaining(ResultModel& list, const QString& piece, const YieldFn& yield)
{
    removeRows(list, piece, false, yield);
}
