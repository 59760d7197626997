// SPDX-License-Identifier: MIT
#include "target/collisions.h"

#include "search/utf8name.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

NameCollisions::NameCollisions(const TargetProfile& profile, const TargetRuleSet& enabled)
    : m_foldCase(profile.caseInsensitive && enabled.contains(TargetRule::CaseCollision)),
      m_foldForm(profile.normalizationInsensitive && enabled.contains(TargetRule::FormCollision))
{
}

namespace {

// Lower-cases ASCII bytes eight at a time: a byte below 0x80 plus 0x3F reaches the high bit from 'A' up, plus
// 0x25 from past 'Z' on, and neither carries into the next byte.
void lowerAscii(char* bytes, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        const std::uint64_t upper =
            ((word + 0x3F3F3F3F3F3F3F3FULL) ^ (word + 0x2525252525252525ULL)) & 0x8080808080808080ULL;
        word |= upper >> 2;
        std::memcpy(bytes + i, &word, 8);
    }
    for (; i < n; ++i)
        bytes[i] = char(bytes[i] | (unsigned(bytes[i] - 'A') < 26u ? 0x20 : 0));
}

// Keys are short and a folder's table is probed once per name: eight bytes a step, each mixed by a multiply.
std::size_t keyHash(std::string_view key)
{
    std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ key.size();
    std::size_t i = 0;
    for (; i + 8 <= key.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, key.data() + i, 8);
        h = (h ^ word) * 0xFF51AFD7ED558CCDULL;
        h ^= h >> 32;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, key.data() + i, key.size() - i);
    h = (h ^ tail) * 0xC4CEB9FE1A85EC53ULL;
    return std::size_t(h ^ (h >> 29));
}

// Every code point of a name that is not ASCII is folded: a table of the Basic Multilingual Plane answers
// without a call into Qt for each.
char32_t foldedCodePoint(char32_t c)
{
    static const std::unique_ptr<char16_t[]> basicPlane = [] {
        auto table = std::make_unique<char16_t[]>(0x10000);
        for (char32_t code = 0; code < 0x10000; ++code) {
            const char32_t folded = QChar::toCaseFolded(code);
            table[code] = folded < 0x10000 ? char16_t(folded) : 0; // 0: ask Qt
        }
        return table;
    }();
    if (c < 0x10000 && (basicPlane[c] != 0 || c == 0))
        return basicPlane[c];
    return QChar::toCaseFolded(c);
}

} // namespace

QString NameCollisions::foldedKey(const QString& name) const
{
    if (!m_foldForm)
        return name.toCaseFolded();
    QString key = name.normalized(QString::NormalizationForm_C);
    if (m_foldCase) // folding can leave a name out of NFC ("ǰ" folds to j and a combining caron)
        key = key.toCaseFolded().normalized(QString::NormalizationForm_C);
    return key;
}

void NameCollisions::addName(int index, std::string_view name)
{
    if (active())
        addName(index, name, utf8detail::allAscii(name.data(), name.size()));
}

void NameCollisions::addName(int index, std::string_view name, bool ascii)
{
    if (!active())
        return;
    // A name that is not valid UTF-8 takes part in no collision (its key is checked as it is made, below).
    if (!ascii && m_foldForm && !isValidUtf8(name))
        return;
    Entry entry{index, quint32(m_names.size()), quint32(name.size()), quint32(m_keys.size()), 0};
    if (ascii) {
        // ASCII is its own NFC, and folds to its lower case.
        const std::size_t at = m_keys.size();
        m_keys.append(name);
        if (m_foldCase)
            lowerAscii(m_keys.data() + at, name.size());
    } else if (!m_foldForm) {
        // Folding a string is folding each of its code points (measured over all of Unicode against Qt's
        // QString::toCaseFolded): done in place, no string made.
        const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
        for (std::size_t i = 0; i < name.size();) {
            const int length = utf8SequenceLength(bytes, i, name.size());
            if (length == 0) {
                m_keys.resize(entry.keyAt);
                return;
            }
            const char32_t c = codePointAt(bytes + i, length);
            appendCodePoint(m_foldCase ? foldedCodePoint(c) : c, m_keys);
            i += std::size_t(length);
        }
    } else {
        // Decoded into a buffer kept between names: only the folded key is a string of its own.
        decodeUtf8(name, m_decoded);
        const QString folded = foldedKey(QString::fromRawData(
            reinterpret_cast<const QChar*>(m_decoded.data()), qsizetype(m_decoded.size())));
        appendUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(folded.constData()),
                                       std::size_t(folded.size())),
                   m_keys);
    }
    m_names.append(name);
    entry.keySize = quint32(m_keys.size()) - entry.keyAt;
    const int position = int(m_entries.size());
    m_entries.push_back(entry);
    const int first = firstWithKey(keyHash(keyOf(entry)));
    if (first < 0)
        return;
    Entry& earlier = m_entries[std::size_t(first)];
    if (earlier.group < 0) {
        earlier.group = int(m_groups.size());
        m_groups.push_back({first});
    }
    m_entries.back().group = earlier.group;
    m_groups[std::size_t(earlier.group)].push_back(position);
}

int NameCollisions::firstWithKey(std::size_t hash)
{
    if ((m_used + 1) * 2 > m_slots.size())
        grow();
    const int last = int(m_entries.size()) - 1;
    const std::string_view key = keyOf(m_entries.back());
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const int slot = m_slots[i];
        if (slot < 0) {
            m_slots[i] = last;
            ++m_used;
            return -1;
        }
        if (keyOf(m_entries[std::size_t(slot)]) == key)
            return slot;
    }
}

void NameCollisions::grow()
{
    std::vector<int> old = std::move(m_slots);
    m_slots.assign(std::max<std::size_t>(64, old.size() * 2), -1);
    const std::size_t mask = m_slots.size() - 1;
    for (const int position : old) {
        if (position < 0)
            continue;
        std::size_t i = keyHash(keyOf(m_entries[std::size_t(position)])) & mask;
        while (m_slots[i] >= 0)
            i = (i + 1) & mask;
        m_slots[i] = position;
    }
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
            const std::string_view name = nameOf(member), otherName = nameOf(other);
            problems.push_back(
                {member.index,
                 problemBetween(QString::fromUtf8(name.data(), qsizetype(name.size())),
                                QString::fromUtf8(otherName.data(), qsizetype(otherName.size())))});
        }
    }
    std::sort(problems.begin(), problems.end(),
              [](const IndexedProblem& a, const IndexedProblem& b) { return a.index < b.index; });
    return problems;
}

void NameCollisions::clear()
{
    m_entries.clear();
    m_names.clear();
    m_keys.clear();
    // A table grown for one large folder is dropped rather than wiped for every small one after it.
    if (m_slots.size() > 1024)
        m_slots.clear();
    else
        std::fill(m_slots.begin(), m_slots.end(), -1);
    m_used = 0;
    m_groups.clear();
}

QByteArray foldedNameKey(std::string_view name, bool foldCase, bool foldForm)
{
    if (utf8detail::allAscii(name.data(), name.size())) {
        QByteArray key(name.data(), qsizetype(name.size()));
        if (foldCase)
            for (char& c : key)
                c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        return key;
    }
    if (!isValidUtf8(name) || (!foldCase && !foldForm))
        return QByteArray(name.data(), qsizetype(name.size()));
    QString key = QString::fromUtf8(name.data(), qsizetype(name.size()));
    if (foldForm)
        key = key.normalized(QString::NormalizationForm_C);
    if (foldCase)
        key = key.toCaseFolded();
    if (foldCase && foldForm) // folding can leave a name out of NFC
        key = key.normalized(QString::NormalizationForm_C);
    return key.toUtf8();
}
