// SPDX-License-Identifier: MIT
#include "app/reportsaving.h"

#include "services/errorbox.h"

void writeTextReport(const ListTable& list, const QString& fileName, ProgressSink* progressBar,
                     ErrorBox& errorBox, const YieldFn& yield)
{
    Guard step(errorBox, QStringLiteral("Main"), QStringLiteral("SaveListviewProperlySpaced"));
    step.setExtra(QStringLiteral("File: ") + fileName);
    step.report(writeTextReport(list, fileName, progressBar, yield));
}

void SaveListAsCsv(const ListTable& list, const QString& fileName, ProgressSink* progress, ErrorBox& errorBox,
                   const YieldFn& yield)
{
    Guard(errorBox, QStringLiteral("Main"), QStringLiteral("SaveListAsCsv"))
        .report(writeCsvReport(list, fileName, progress, yield));
}
