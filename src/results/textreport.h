// SPDX-License-Identifier: MIT
#pragma once

#include "results/listtable.h"

#include <QString>

class ErrorBox;

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
// replacing any file of that name. The first failure to create, write or close the file is shown in the error
// box, naming the file, and nothing more is written; nothing is thrown. progressBar may be null. The file is
// written line by line: only the current line and a small buffer are held.
void writeTextReport(const ListTable& list, const QString& fileName, ProgressSink* progressBar,
                     ErrorBox& errorBox, const YieldFn& yield);
