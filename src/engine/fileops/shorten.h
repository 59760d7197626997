// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/takennames.h"
#include "search/lengthunit.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

// Cutting names down to a limit that a target file system or sync service accepts.

// A name's limit: in UTF-16 units (LengthUnit::Name, as the result list counts) or in bytes as stored.
struct ShortenLimit
{
    int value = 0;
    LengthUnit unit = LengthUnit::Name;
};

// Reads a limit with the length box's own reading: a number of at least 1, alone or followed by "bytes".
// Empty for anything else, a path unit included (a limit is a name's).
std::optional<ShortenLimit> parseShortenLimit(const QString& text);
// The limit as the length box would show it: "143" or "143 bytes".
QString limitText(const ShortenLimit& limit);

// A name measured in unit (a byte that is not valid UTF-8 counts as one unit either way).
int measureName(std::string_view name, LengthUnit unit);

// The name cut to fit limit: the extension (after the last period, when that part is at most 16 units and is
// not the whole name behind a leading period) is kept, the stem is cut at its end on a grapheme boundary,
// trailing blanks and periods of the stem are dropped, and a counter above 1 goes before the extension as
// "~N". Bytes that are not valid UTF-8 stay as they are unless they are cut off. Empty when no name can meet
// the limit: the extension alone is too long, or nothing of the stem would be left.
std::optional<QByteArray> shortenedName(std::string_view name, const ShortenLimit& limit, int counter = 1);

struct ShortenCandidate
{
    quint64 rowId = 0;
    QByteArray path; // native bytes
};

struct ShortenItem
{
    quint64 rowId = 0;
    QByteArray folder; // native bytes, ending in the separator
    QByteArray oldName;
    QByteArray newName; // empty when the name cannot be shortened
    int newLength = 0;  // in the limit's unit
    QString note;       // why the name stays, or empty
};

// Every candidate whose name exceeds the limit, in the candidates' order, with the name it would get. A new
// name never equals, ignoring case and Unicode form, a name that exists in its folder or that an earlier item
// of the plan takes there. exists, when given, is asked instead of the file system (exact names only).
std::vector<ShortenItem> planShortening(const std::vector<ShortenCandidate>& candidates,
                                        const ShortenLimit& limit, const NameExists& exists = {});

bool nameExistsOnDisk(const QByteArray& folder, const QByteArray& name);
