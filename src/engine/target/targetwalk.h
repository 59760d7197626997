// SPDX-License-Identifier: MIT
#pragma once

#include "results/resultbatch.h"
#include "target/targetcheck.h"
#include "target/targetprofile.h"
#include "target/targetrules.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string_view>
#include <vector>

// What a walk needs to check a tree for one target, resolved once before it starts.
struct TargetCheckSetup
{
    const TargetProfile* profile = nullptr;
    TargetRuleSet rules;
    QByteArray targetFolder;   // as typed (may be a Windows path), or resolved for "auto"; empty: none
    QByteArray fileSystemType; // for "auto": the target folder's file system as found; else empty
    bool wantsSizes() const;   // whether files must be stat'ed for the size rule
};

// The setup for a profile key, or "auto" for the profile of the file system that holds targetFolder (which
// must then exist). Null, with error set, for an unknown key or a missing folder:
// "unknown profile \"foo\" (windows, exfat, ..., auto)", "auto needs a target folder",
// "folder not found: No such file or directory".
std::optional<TargetCheckSetup> resolveTargetSetup(const QString& profileKey, const QString& targetFolder,
                                                   const TargetRuleSet& rules, QString* error);
// As above, with the target folder as bytes (a command line's argument that is not UTF-8).
std::optional<TargetCheckSetup> resolveTargetSetup(const QString& profileKey, const QByteArray& targetFolder,
                                                   const TargetRuleSet& rules, QString* error);

// What a target walk checked since its last report, for a receiver to add up: items, and per rule how many
// files and how many folders broke it.
struct TargetTally
{
    qint64 files = 0;
    qint64 folders = 0;
    TargetSummary fileSummary;
    TargetSummary folderSummary;

    void add(const TargetTally& other);
    // A sub-folder found unreadable adds to a summary without adding an item: that must go out too.
    bool empty() const
    {
        return files == 0 && folders == 0 && fileSummary.total() == 0 && folderSummary.total() == 0;
    }
};

// The reasons of one item as a row shows them: "reason; reason".
QString problemText(const std::vector<TargetProblem>& problems);

// Adds a row with its problem text, each reason marked with its rule (targetReasons reads them back).
void addTargetRow(ResultBatch& batch, std::string_view nativePath,
                  const std::vector<TargetProblem>& problems);
// The reasons of a batch's problem (an element of batch.problems), in their order.
std::vector<TargetProblem> targetReasons(const ResultBatch& batch, const ResultBatch::Problem& problem);
