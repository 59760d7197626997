// SPDX-License-Identifier: MIT
#pragma once

#include "results/listtable.h"

#include <QString>

class ErrorBox;
class ProgressSink;

// The filter the save dialog offers after its text filters.
QString csvFileFilter();

// One CSV field: quoted, with its quotes doubled, when it holds a comma, a quote, a carriage return or a line
// feed; otherwise as it is.
QString csvField(const QString& text);

// Writes the column titles and every checked row, in list order, to fileName as CSV: UTF-8 without a
// byte-order mark, CR LF after every record. Replaces any file of that name. A file that cannot be created or
// written gives one error box and the writing stops; a failure when the file is closed (a full disk) gives
// one box. progress may be null.
void SaveListAsCsv(const ListTable& list, const QString& fileName, ProgressSink* progress, ErrorBox& errorBox,
                   const YieldFn& yield);
