// SPDX-License-Identifier: MIT
#pragma once

#include "search/utf8name.h"

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// What a length counts. Targets refuse names by their bytes on disk (NAME_MAX, encrypted homes) and paths by
// their length below the folder that gets copied, so a bare UTF-16 name length cannot answer those questions.
enum class LengthUnit : int {
    Name = 0,      // the name in UTF-16 units
    Bytes = 1,     // the name's bytes as stored
    Path = 2,      // the path below the listed folder, name included, in UTF-16 units
    PathBytes = 3, // the same path in bytes
};

// The comparison list's items, by their place in the list.
enum class Comparison : int {
    EqualTo = 0,
    GreaterThan = 1,
    LessThan = 2,
};

// The comparison at a place of the list; nothing for a place outside it (-1: nothing chosen).
std::optional<Comparison> comparisonAt(int listIndex);

// What a search asks of a file's length; the window's two controls and lentrova-find's options each become
// one of these once, and nothing below them reads text.
struct LengthCriterion
{
    Comparison comparison = Comparison::EqualTo;
    qint16 value = 0;
    LengthUnit unit = LengthUnit::Name;
};

// Reads the length box: a number as convertToInt16 takes it, alone or followed by "bytes", "path" or
// "path bytes" (unit words in any case, blanks around and between them free), against comparison. Nothing
// for any other text, or when no comparison is chosen.
std::optional<LengthCriterion> parseLengthCriterion(const QString& text,
                                                    std::optional<Comparison> comparison);

// The words that refuse a length text that does not read at Start, naming the accepted forms.
QString lengthRefusal(const QString& text);

// The forms the length box takes, one per line, for its tooltip.
QString lengthFormsHelp();

// The measured length of a file. below: the path from the listed folder down to the file's folder, each
// part closed by "/" (empty for a file directly in the listed folder); nameUnits: the name's UTF-16 length
// when the caller already has it.
inline std::size_t measuredLength(LengthUnit unit, std::string_view below, std::string_view name,
                                  std::optional<std::size_t> nameUnits = std::nullopt)
{
    switch (unit) {
    case LengthUnit::Name:
        return nameUnits ? *nameUnits : utf16Length(name);
    case LengthUnit::Bytes:
        return name.size();
    case LengthUnit::Path:
        // The separators are ASCII, so counting the parts apart gives the count of the whole.
        return utf16Length(below) + (nameUnits ? *nameUnits : utf16Length(name));
    case LengthUnit::PathBytes:
        return below.size() + name.size();
    }
    return 0;
}

inline bool lengthPasses(const LengthCriterion& c, std::size_t measured)
{
    const long long L = static_cast<long long>(measured);
    switch (c.comparison) {
    case Comparison::EqualTo:
        return L == c.value;
    case Comparison::GreaterThan:
        return L > c.value;
    case Comparison::LessThan:
        return L < c.value;
    }
    return false;
}

// False when no length from shortest to longest passes: a length in UTF-16 units lies between a third of the
// bytes (rounded up) and the bytes, so most names can be turned down without decoding them.
inline bool someLengthPasses(const LengthCriterion& c, std::size_t shortest, std::size_t longest)
{
    switch (c.comparison) {
    case Comparison::EqualTo:
        return c.value >= 0 && std::size_t(c.value) >= shortest && std::size_t(c.value) <= longest;
    case Comparison::GreaterThan:
        return static_cast<long long>(longest) > c.value;
    case Comparison::LessThan:
        return static_cast<long long>(shortest) < c.value;
    }
    return false;
}

// The criterion as the window shows it right now. The walk reads it before every file, from another thread,
// so it travels in one atomic word: a reader never sees a new length with an old comparison or unit.
class LiveCriteria
{
public:
    // Nothing: no file matches.
    void set(std::optional<LengthCriterion> criterion)
    {
        std::uint32_t w = 0;
        if (criterion)
            w = UsableBit | (std::uint32_t(criterion->unit) << 18) |
                (std::uint32_t(criterion->comparison) << 16) | std::uint16_t(criterion->value);
        m_word.store(w, std::memory_order_relaxed);
    }
    std::optional<LengthCriterion> load() const
    {
        const std::uint32_t w = m_word.load(std::memory_order_relaxed);
        if ((w & UsableBit) == 0)
            return std::nullopt;
        return LengthCriterion{Comparison((w >> 16) & 3), qint16(w & 0xFFFF), LengthUnit((w >> 18) & 3)};
    }

private:
    static constexpr std::uint32_t UsableBit = 1u << 31;
    std::atomic<std::uint32_t> m_word{0};
};
