// SPDX-License-Identifier: MIT
#pragma once

#include "search/utf8name.h"

#include <QString>
#include <QtGlobal>

#include <cstddef>
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

struct LengthSpec
{
    qint16 length;
    LengthUnit unit;
};

// Reads the length box: a number as convertToInt16 takes it, alone or followed by "bytes", "path" or
// "path bytes" (unit words in any case, blanks around and between them free). Nothing for any other text.
std::optional<LengthSpec> parseLengthSpec(const QString& text);

// The words that refuse a length text at Start, naming the accepted forms; empty when the text is usable.
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
