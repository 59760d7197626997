// SPDX-License-Identifier: MIT
#pragma once

#include "target/collisions.h"
#include "target/targetpath.h"
#include "target/targetrules.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

// The check of a tree for one target, fed folder by folder as a walk lists them: each item's own rules,
// its path at the target, and the collisions among the names of its folder.
class TargetFolderCheck
{
public:
    TargetFolderCheck(const TargetProfile& profile, const TargetRuleSet& rules,
                      const QByteArray& targetFolder);
    // Starts a folder; below is its path under the listed folder ("" for the listed folder itself).
    void beginFolder(const QByteArray& below);
    // One item of the folder; its index within the folder, counted from 0.
    int addName(std::string_view name, bool folder, qint64 size);
    int add(const QByteArray& name, bool folder, qint64 size)
    {
        return addName(std::string_view(name.constData(), std::size_t(name.size())), folder, size);
    }
    // The problems of the folder's items, by index (an item with none is absent, one with several comes
    // once per problem, its own rules first, in TargetRule order within them).
    std::vector<IndexedProblem> finishFolder();
    const TargetProfile& profile() const { return m_profile; }
    // Whether unreadable items are to be reported (unreadableProblem) is the rule set's to say.
    const TargetRuleSet& rules() const { return m_rules; }

private:
    const TargetProfile& m_profile;
    TargetRuleSet m_rules;
    TargetPath m_path;
    NameCollisions m_collisions;
    QByteArray m_folderPrefix;     // below + "/", or empty
    qint64 m_folderPathLength = 0; // of m_folderPrefix at the target
    int m_count = 0;
    std::vector<IndexedProblem> m_problems;
    std::vector<TargetProblem> m_found; // one name's, kept for its room
};

// How many items broke each rule, for a summary.
class TargetSummary
{
public:
    // Counts each item once per rule it breaks.
    void addItem(const std::vector<TargetProblem>& problems);
    void add(TargetRule rule, qint64 items = 1) { m_counts[std::size_t(rule)] += items; }
    qint64 count(TargetRule rule) const { return m_counts[std::size_t(rule)]; }
    qint64 total() const;
    // "forbidden characters: 3, names too long: 1" in TargetRule order; "no problems" when none.
    QString text() const;

private:
    std::array<qint64, TargetRuleCount> m_counts{};
};

// A rule set from its keys, as an option or a setting gives it: "all", "none", or keys separated by commas
// ("forbidden-character,name-too-long"); a key led by "-" switches that rule off from all
// ("-case-collision,-path-too-long"). error says which word is not a rule.
TargetRuleSet ruleSetFromText(QStringView text, QString* error);
// The keys of the rules switched on, comma-separated; "all" or "none" where that says it.
QString ruleSetText(const TargetRuleSet& rules);
