// SPDX-License-Identifier: MIT
#pragma once

#include "platform/apperror.h"
#include "results/listtable.h"

#include <QString>

// Receives the report's progress: a percentage that may be fractional (and slightly above 100 for long
// lists), and the bar's caption.
class ProgressSink
{
public:
    virtual ~ProgressSink() = default;
    virtual void setValue(double percent) = 0;
    virtual void setText(const QString& text) = 0;
};

// Writes the header and every checked row of the list to fileName as column-aligned text (see listformat.h),
// replacing any file of that name. The first failure to create, write or close the file is returned, and
// nothing more is written; nothing is thrown. progressBar may be null. The file is written line by line: only
// the current line and a small buffer are held.
StatementFailure writeTextReport(const ListTable& list, const QString& fileName, ProgressSink* progressBar,
                                 const YieldFn& yield);
// The same, without progress, to a file named by its bytes (which need not be valid UTF-8).
StatementFailure writeTextReportNative(const ListTable& list, const QByteArray& nativeFileName);
