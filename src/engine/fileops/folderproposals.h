// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/fixplan.h"

#include <QByteArray>

#include <vector>

// A folder whose shorter name brings paths below it under the target's path limit.
struct FolderProposal
{
    QByteArray folder; // native bytes, ending in '/'
    QByteArray newName;
    int pathsFixed = 0; // over-long paths it brings under the limit, those of earlier proposals aside
};

// Instead of cutting the names of many files whose paths are too long at the target, cut few folders above
// them: greedily the folder whose shortening brings the most over-long paths under the limit, cut no more
// than those paths need, then the next, until no folder fixes another path. A folder keeps at least
// keepAtLeast units of its name (the profile's path unit), never gets a name a neighbour has under the
// profile's folding, and is never the listed folder or above it. Candidates whose paths fit are ignored.
std::vector<FolderProposal> proposeFolderShortening(const std::vector<FixCandidate>& candidates,
                                                    const FixSetup& setup, int keepAtLeast = 8);
