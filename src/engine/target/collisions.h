// SPDX-License-Identifier: MIT
#pragma once

#include "target/targetrules.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

struct IndexedProblem
{
    int index; // as given to NameCollisions::add
    TargetProblem problem;
    bool operator==(const IndexedProblem&) const = default;
};

// The names of one folder that a target would take for one name: equal under full Unicode case folding
// where the profile ignores case, under NFC where it ignores the Unicode form. Whichever name a copy writes
// second is refused or lands on the first, so every member of a group is flagged, each naming another.
// Names that are not valid UTF-8 are left out: no target that folds names can store them (NotUtf8).
// Hashes a folded key per name: a folder of 100,000 names costs one pass.
class NameCollisions
{
public:
    NameCollisions(const TargetProfile& profile, const TargetRuleSet& enabled);
    // Whether the profile and the rules fold any name at all; when not, add() and problems() do nothing.
    bool active() const { return m_foldCase || m_foldForm; }
    void add(int index, const QByteArray& name);
    // "same name as \"Readme\" except case", "... except Unicode form" (names differing in both: case), by
    // index.
    std::vector<IndexedProblem> problems() const;
    // Ready for the next folder.
    void clear();

private:
    QString keyOf(const QString& name) const;
    TargetProblem problemBetween(const QString& name, const QString& other) const;

    struct Entry
    {
        int index;
        QByteArray name; // shared with the caller's; decoded again only for the names in a group
        int group = -1;
    };
    bool m_foldCase;
    bool m_foldForm;
    std::vector<Entry> m_entries;
    QHash<QString, int> m_firstWithKey; // entry position
    std::vector<std::vector<int>> m_groups;
};
