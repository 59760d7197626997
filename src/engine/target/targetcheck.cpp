// SPDX-License-Identifier: MIT
#include "target/targetcheck.h"

#include "search/utf8name.h"

#include <algorithm>

TargetFolderCheck::TargetFolderCheck(const TargetProfile& profile, const TargetRuleSet& rules,
                                     const QByteArray& targetFolder)
    : m_profile(profile), m_rules(rules), m_path(profile, targetFolder), m_collisions(profile, rules)
{
}

void TargetFolderCheck::beginFolder(const QByteArray& below)
{
    m_folderPrefix = below.isEmpty() || below.endsWith('/') ? below : below + '/';
    m_folderPathLength = m_path.lengthOf(m_folderPrefix);
    m_count = 0;
    m_problems.clear();
    m_collisions.clear();
}

int TargetFolderCheck::addName(std::string_view name, bool folder, qint64 size)
{
    const int index = m_count++;
    // Measured once for the name's length, its path's, and its collision key.
    const bool ascii = utf8detail::allAscii(name.data(), name.size());
    const qint64 units = ascii ? qint64(name.size()) : qint64(utf16Length(name));
    const qint64 pathLength = m_folderPathLength + m_path.lengthIn(name, units);
    if (!surelyBreaksNothing(m_profile, m_rules, name, folder, size, pathLength)) {
        // The name's bytes are only read during the check: no copy of them.
        const TargetItem item{QByteArray::fromRawData(name.data(), qsizetype(name.size())), folder, size,
                              pathLength, units};
        m_found.clear();
        addNameProblems(m_profile, m_rules, item, m_found);
        for (TargetProblem& problem : m_found)
            m_problems.push_back({index, std::move(problem)});
    }
    m_collisions.addName(index, name, ascii);
    return index;
}

std::vector<IndexedProblem> TargetFolderCheck::finishFolder()
{
    std::vector<IndexedProblem> collisions = m_collisions.problems();
    // Moved element by element, so that the folder's own problems keep their room for the next folder.
    std::vector<IndexedProblem> all;
    all.reserve(m_problems.size() + collisions.size());
    all.insert(all.end(), std::make_move_iterator(m_problems.begin()),
               std::make_move_iterator(m_problems.end()));
    m_problems.clear();
    const std::size_t own = all.size();
    all.insert(all.end(), std::make_move_iterator(collisions.begin()),
               std::make_move_iterator(collisions.end()));
    // Both runs are in index order already; a stable merge keeps an item's own rules before its collision.
    std::inplace_merge(all.begin(), all.begin() + std::ptrdiff_t(own), all.end(),
                       [](const IndexedProblem& a, const IndexedProblem& b) { return a.index < b.index; });
    m_collisions.clear();
    return all;
}

void TargetSummary::addItem(const std::vector<TargetProblem>& problems)
{
    std::array<bool, TargetRuleCount> seen{};
    for (const TargetProblem& problem : problems) {
        if (!seen[std::size_t(problem.rule)])
            add(problem.rule);
        seen[std::size_t(problem.rule)] = true;
    }
}

qint64 TargetSummary::total() const
{
    qint64 sum = 0;
    for (qint64 count : m_counts)
        sum += count;
    return sum;
}

QString TargetSummary::text() const
{
    QStringList parts;
    for (int i = 0; i < TargetRuleCount; ++i)
        if (m_counts[std::size_t(i)] > 0)
            parts << ruleTitle(TargetRule(i)) + QStringLiteral(": ") +
                         QString::number(m_counts[std::size_t(i)]);
    return parts.isEmpty() ? QStringLiteral("no problems") : parts.join(QStringLiteral(", "));
}

TargetRuleSet ruleSetFromText(QStringView text, QString* error)
{
    error->clear();
    const QStringView trimmed = text.trimmed();
    if (trimmed == u"all" || trimmed.isEmpty())
        return TargetRuleSet::all();
    if (trimmed == u"none")
        return TargetRuleSet::none();
    const QList<QStringView> words = trimmed.split(u',');
    // Switching off starts from all; switching on, from none. Mixing the two is not meant.
    const bool off = words.first().trimmed().startsWith(u'-');
    TargetRuleSet rules = off ? TargetRuleSet::all() : TargetRuleSet::none();
    for (QStringView word : words) {
        word = word.trimmed();
        const bool thisOff = word.startsWith(u'-');
        TargetRule rule;
        if (thisOff != off || !ruleFromKey(thisOff ? word.mid(1) : word, &rule)) {
            *error = thisOff != off
                         ? QStringLiteral("rules to switch on and off cannot be mixed: ") + word.toString()
                         : QStringLiteral("no such rule: ") + word.toString();
            return TargetRuleSet::all();
        }
        rules.set(rule, !off);
    }
    return rules;
}

QString ruleSetText(const TargetRuleSet& rules)
{
    if (rules == TargetRuleSet::all())
        return QStringLiteral("all");
    if (rules == TargetRuleSet::none())
        return QStringLiteral("none");
    QStringList keys;
    for (int i = 0; i < TargetRuleCount; ++i)
        if (rules.contains(TargetRule(i)))
            keys << ruleKey(TargetRule(i));
    return keys.join(u',');
}
