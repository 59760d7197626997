// SPDX-License-Identifier: MIT
#pragma once

#include "results/resultmodel.h"
#include "support/finderrun.h"
#include "target/targetwalk.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// A target check walked on the calling thread, and all it handed over.
struct TargetWalkRun
{
    QByteArrayList rows;     // "path\tproblem text", in order
    QByteArrayList failures; // the paths of failures
    TargetTally tally;       // added up over every report
    ResultBatch batch;       // every row, as one batch for a model
};

// readers: as WalkSettings'; small reports, so that their borders fall everywhere.
TargetWalkRun runTargetWalk(const QByteArray& folder, const QString& profile, int readers,
                            const QByteArray& targetFolder = QByteArray(),
                            const TargetRuleSet& rules = TargetRuleSet::all());

// Makes the entries below top: a path ending with "/" is a folder, any other a file holding its own path.
bool makeTree(const QByteArray& top, const QByteArrayList& entries);
