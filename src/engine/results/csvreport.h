// SPDX-License-Identifier: MIT
#pragma once

#include "platform/apperror.h"
#include "results/listtable.h"

#include <QString>

class ProgressSink;

// The filter the save dialog offers after its text filters.
QString csvFileFilter();

// One CSV field: quoted, with its quotes doubled, when it holds a comma, a quote, a carriage return or a line
// feed; otherwise as it is.
QString csvField(const QString& text);

// Writes the column titles and every checked row, in list order, to fileName as CSV: UTF-8 without a
// byte-order mark, CR LF after every record. Replaces any file of that name. The first failure to create,
// write or close the file (a full disk) is returned and the writing stops. progress may be null.
StatementFailure writeCsvReport(const ListTable& list, const QString& fileName, ProgressSink* progress,
                                const YieldFn& yield);
