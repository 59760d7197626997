// SPDX-License-Identifier: MIT
#pragma once

#include "results/csvreport.h"
#include "results/textreport.h"

class ErrorBox;

// The reports as the window saves them: the writer's failure, if any, shown in the application error box
// under the procedure that has always named it.
void writeTextReport(const ListTable& list, const QString& fileName, ProgressSink* progressBar,
                     ErrorBox& errorBox, const YieldFn& yield);
void SaveListAsCsv(const ListTable& list, const QString& fileName, ProgressSink* progress, ErrorBox& errorBox,
                   const YieldFn& yield);
