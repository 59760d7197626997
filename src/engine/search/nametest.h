// SPDX-License-Identifier: MIT
#pragma once

#include "search/lengthunit.h"
#include "search/pattern.h"

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The comparison list's items, by their place in the list.
enum class Comparison : int {
    EqualTo = 0,
    GreaterThan = 1,
    LessThan = 2,
};

// The comparison at a place of the list; nothing for a place outside it (-1: nothing chosen).
std::optional<Comparison> comparisonAt(int listIndex);

// The comparison, the length and its unit as the window shows them right now. The walk reads them before
// every file, from another thread, so all three travel in one atomic word: a reader never sees a new length
// with an old comparison or unit.
class LiveCriteria
{
public:
    // No comparison or a length that does not convert: no file matches.
    void set(const QString& lengthText, std::optional<Comparison> comparison);
    void set(std::optional<qint16> length, std::optional<Comparison> comparison,
             LengthUnit unit = LengthUnit::Name);

    struct Snapshot
    {
        bool usable;
        Comparison comparison;
        int length;
        LengthUnit unit;
    };
    Snapshot load() const
    {
        const std::uint32_t w = m_word.load(std::memory_order_relaxed);
        return {(w & UsableBit) != 0, Comparison((w >> 16) & 3), int(qint16(w & 0xFFFF)),
                LengthUnit((w >> 18) & 3)};
    }

private:
    static constexpr std::uint32_t UsableBit = 1u << 31;
    std::atomic<std::uint32_t> m_word{0};
};

inline bool lengthPasses(LiveCriteria::Snapshot c, std::size_t nameLength)
{
    const long long L = static_cast<long long>(nameLength);
    switch (c.comparison) {
    case Comparison::EqualTo:
        return L == c.length;
    case Comparison::GreaterThan:
        return L > c.length;
    case Comparison::LessThan:
        return L < c.length;
    }
    return false;
}

// False when no length from shortest to longest passes: a length in UTF-16 units lies between a third of the
// bytes (rounded up) and the bytes, so most names can be turned down without decoding them.
inline bool someLengthPasses(LiveCriteria::Snapshot c, std::size_t shortest, std::size_t longest)
{
    switch (c.comparison) {
    case Comparison::EqualTo:
        return c.length >= 0 && std::size_t(c.length) >= shortest && std::size_t(c.length) <= longest;
    case Comparison::GreaterThan:
        return static_cast<long long>(longest) > c.length;
    case Comparison::LessThan:
        return static_cast<long long>(shortest) < c.length;
    }
    return false;
}

// The filter, prepared once when a listed folder begins.
class NameFilter
{
public:
    enum class Mode {
        None,      // the empty filter
        Pattern,   // the filter holds "*": the whole name must match, case distinguished
        Substring, // anything else: a piece of the name, case ignored
        Rejected,  // a pattern that cannot be matched: nothing passes
    };

    NameFilter() = default;
    explicit NameFilter(const QString& filter);
    // Why a filter would be rejected; empty when it is usable.
    static QString problem(const QString& filter);

    Mode mode() const { return m_mode; }
    // name: the decoded name.
    bool passes(std::u16string_view name) const;

private:
    Mode m_mode = Mode::None;
    std::optional<Pattern> m_pattern;
    std::u16string m_folded;          // substring mode: the filter, case folded
    mutable std::u16string m_scratch; // one per walk: the walk is single-threaded
};

// Case folding of one UTF-16 unit, as the substring mode compares.
char16_t foldCase(char16_t c);

// Why a search must refuse these criteria (one message naming the field), or the empty text.
QString criteriaRefusal(const QString& lengthText, const QString& filterText);
