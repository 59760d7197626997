// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>
#include <string_view>
#include <vector>

// The filter's pattern language over UTF-16 code units, case distinguished: "*" any run (also none), "?" one
// unit, "#" one digit 0-9, "[list]" one unit of the list (ranges "a-z"), "[!list]" one unit not in it.
// "[*]", "[?]", "[#]", "[[]" and "[!]" stand for the character itself; "]" outside a list is itself; "-"
// first or last in a list is itself; "[]" matches nothing in the name (it stands for the empty text).
class Pattern
{
public:
    // Gives nothing for a pattern that cannot be matched: an unclosed "[" or a range whose ends are reversed.
    // error (if given) then tells why.
    static std::optional<Pattern> compile(std::u16string_view text, QString* error = nullptr);
    static std::optional<Pattern> compile(const QString& text, QString* error = nullptr);

    // True when the whole name matches.
    bool matches(std::u16string_view name) const;

private:
    enum class Op : unsigned char {
        Literal,
        AnyOne,
        Digit,
        Star,
        Set,
        NotSet,
    };
    struct Token
    {
        Op op;
        char16_t ch = 0;       // Literal
        unsigned setBegin = 0; // Set, NotSet: index into m_ranges
        unsigned setEnd = 0;
    };
    bool matchOne(const Token& t, char16_t c) const;

    std::vector<Token> m_tokens;
    std::vector<std::pair<char16_t, char16_t>> m_ranges;
};
