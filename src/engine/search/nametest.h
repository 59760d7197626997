// SPDX-License-Identifier: MIT
#pragma once

#include "search/lengthunit.h"
#include "search/pattern.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <string>
#include <string_view>

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

// Why a filter text must be refused (one message naming the field), or the empty text.
QString filterRefusal(const QString& filterText);

// Why a search must refuse these criteria (one message naming the field), or the empty text.
QString criteriaRefusal(const QString& lengthText, const QString& filterText);
