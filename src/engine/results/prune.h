// SPDX-License-Identifier: MIT
#pragma once

#include "results/listtable.h"

#include <QString>

#include <vector>

// True when the lower-cased text holds the lower-cased piece: case is ignored and nothing else (no trimming,
// no wildcards).
bool containsIgnoringCase(const QString& text, const QString& loweredPiece);

// Ids, in list order, of the rows whose path contains the piece (removeContaining) or does not (otherwise).
std::vector<quint64> rowsToPrune(const ResultSnapshot& rows, const QString& piece, bool removeContaining,
                                 const YieldFn& yield);

// Remove the rows whose path contains (does not contain) the piece. The scan reads a snapshot and the rows go
// by identity, so rows removed or added while the scan yields are never misread or removed by mistake.
// Survivors keep their order and check marks.
void removeRowsContaining(ResultModel& list, const QString& piece, const YieldFn& yield);
void removeRowsNotContaining(ResultModel& list, const QString& piece, const YieldFn& yield);
