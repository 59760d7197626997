// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/namefix.h"
#include "fileops/shortenapply.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <atomic>
#include <vector>

// A row to be made fit for a target.
struct FixCandidate
{
    quint64 rowId = 0;
    QByteArray path;         // native bytes; a folder's ends with '/'
    QByteArray listedFolder; // the folder the check was run on, ending in '/'; empty: no path rule
    qint64 size = 0;
};

struct FixSetup
{
    const TargetProfile* profile = nullptr;
    TargetRuleSet rules;
    QByteArray targetFolder; // as the target check took it; may be a Windows path
    FixCharacters characters = FixCharacters::Underscore;
};

struct FixItem
{
    quint64 rowId = 0;
    bool folder = false;
    QByteArray parent; // the folder holding it, as it is on disk now, ending in '/'
    QByteArray oldName;
    QByteArray newName;            // empty: it keeps its name
    std::vector<TargetRule> fixes; // what the old name breaks that the new one mends
    QString note;                  // why it keeps a name that breaks a rule
    QByteArray newPath;            // where it will be once the plan is applied, folders above included
    int depth = 0;                 // separators in its path
    NameFixRequest request;        // how its name was fixed, for another name at apply time
};

// Every candidate whose name breaks a rule of its own or equals a neighbour's at the target, in the
// candidates' order, with the name it would get. A renamed folder moves every row below it (newPath), so
// their paths at the target are measured through the new names. No new name equals, under the profile's
// folding, a name that stays in its folder or that the plan gives there. Candidates that break nothing are
// left out.
// folderNames: folders to rename first (path ending in '/' to the name proposed for it), so that paths below
// them fit; a folder that is no candidate is added to the plan for it.
std::vector<FixItem> planFixes(const std::vector<FixCandidate>& candidates, const FixSetup& setup,
                               const QHash<QByteArray, QByteArray>& folderNames = {});

// The renames of a plan in an order that works: every item before the folder that holds it, so that each
// rename finds its folder still where the plan found it. Undo takes them back in the reverse order.
std::vector<ShortenItem> renamesInOrder(const std::vector<FixItem>& plan);

// Applies the plan through the rename journal, so that undoLastShortening reverses it.
ShortenResult applyFixes(const std::vector<FixItem>& plan, const FixSetup& setup,
                         const std::atomic<bool>* stop = nullptr, FileOperationProgress* progress = nullptr);
