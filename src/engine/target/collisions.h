// SPDX-License-Identifier: MIT
#pragma once

#include "target/targetrules.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>
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
    void addName(int index, std::string_view name);
    // The same, for a caller that knows whether the name is all ASCII.
    void addName(int index, std::string_view name, bool ascii);
    void add(int index, const QByteArray& name)
    {
        addName(index, std::string_view(name.constData(), std::size_t(name.size())));
    }
    // "same name as \"Readme\" except case", "... except Unicode form" (names differing in both: case), by
    // index.
    std::vector<IndexedProblem> problems() const;
    // Ready for the next folder.
    void clear();

private:
    QString foldedKey(const QString& name) const;
    TargetProblem problemBetween(const QString& name, const QString& other) const;

    // Names and keys live in two buffers of the folder, so that a name costs no allocation of its own.
    struct Entry
    {
        int index;
        quint32 nameAt, nameSize;
        quint32 keyAt, keySize;
        int group = -1;
    };
    std::string_view nameOf(const Entry& e) const
    {
        return std::string_view(m_names).substr(e.nameAt, e.nameSize);
    }
    std::string_view keyOf(const Entry& e) const
    {
        return std::string_view(m_keys).substr(e.keyAt, e.keySize);
    }
    // The entry first seen with the key of the last entry, or -1; files the last entry under its key if new.
    int firstWithKey(std::size_t hash);
    void grow();

    bool m_foldCase;
    bool m_foldForm;
    std::vector<Entry> m_entries;
    std::string m_names;
    std::string m_keys;
    std::u16string m_decoded;
    std::vector<int> m_slots; // open addressing by key hash: entry positions, -1 free
    std::size_t m_used = 0;
    std::vector<std::vector<int>> m_groups;
};

// A name's key under a target's folding: two names of one folder with equal keys are one name there. Names
// that are not valid UTF-8 are their own key.
QByteArray foldedNameKey(std::string_view name, bool foldCase, bool foldForm);
