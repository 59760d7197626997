// SPDX-License-Identifier: MIT
#include "target/collisions.h"

#include "search/utf8name.h"

#include <algorithm>

NameCollisions::NameCollisions(const TargetProfile& profile, const TargetRuleSet& enabled)
    : m_foldCase(profile.caseInsensitive && enabled.contains(TargetRule::CaseCollision)),
      m_foldForm(profile.normalizationInsensitive && enabled.contains(TargetRule::FormCollision))
{
}

QString NameCollisions::keyOf(const QString& name) const
{
    if (!m_foldForm)
        return name.toCaseFolded();
    QString key = name.normalized(QString::NormalizationForm_C);
    if (m_foldCase) // folding can leave a name out of NFC ("ǰ" folds to j and a combining caron)
        key = key.toCaseFolded().normalized(QString::NormalizationForm_C);
    return key;
}

void NameCollisions::add(int index, const QByteArray& name)
{
    if (!active())
        return;
    if (!isValidUtf8(std::string_view(name.constData(), std::size_t(name.size()))))
        return;
    const QString key = keyOf(QString::fromUtf8(name));
    const int position = int(m_entries.size());
    m_entries.push_back({index, name});
    const auto found = m_firstWithKey.constFind(key);
    if (found == m_firstWithKey.cend()) {
        m_firstWithKey.insert(key, position);
        return;
    }
    Entry& first = m_entries[std::size_t(*found)];
    if (first.group < 0) {
        first.group = int(m_groups.size());
        m_groups.push_back({*found});
    }
    m_entries.back().group = first.group;
    m_groups[std::size_t(first.group)].push_back(position);
}

TargetProblem NameCollisions::problemBetween(const QString& name, const QString& other) const
{
    const bool formOnly = m_foldForm && name.normalized(QString::NormalizationForm_C) ==
                                            other.normalized(QString::NormalizationForm_C);
    if (formOnly)
        return {TargetRule::FormCollision,
                QStringLiteral("same name as \"%1\" except Unicode form").arg(other)};
    return {TargetRule::CaseCollision, QStringLiteral("same name as \"%1\" except case").arg(other)};
}

std::vector<IndexedProblem> NameCollisions::problems() const
{
    std::vector<IndexedProblem> problems;
    for (const std::vector<int>& group : m_groups) {
        // Each names the group's first member; the first names the second.
        for (std::size_t i = 0; i < group.size(); ++i) {
            const Entry& member = m_entries[std::size_t(group[i])];
            const Entry& other = m_entries[std::size_t(group[i == 0 ? 1 : 0])];
            problems.push_back({member.index, problemBetween(QString::fromUtf8(member.name),
                                                             QString::fromUtf8(other.name))});
        }
    }
    std::sort(problems.begin(), problems.end(),
              [](const IndexedProblem& a, const IndexedProblem& b) { return a.index < b.index; });
    return problems;
}

void NameCollisions::clear()
{
    m_entries.clear();
    m_firstWithKey.clear();
    m_groups.clear();
}
