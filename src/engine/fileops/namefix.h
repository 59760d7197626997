// SPDX-License-Identifier: MIT
#pragma once

#include "target/targetprofile.h"
#include "target/targetrules.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// What a character the target refuses becomes.
enum class FixCharacters {
    Underscore, // "a:b" becomes "a_b"
    LookAlike,  // "a:b" becomes "a：b", the full-width form, as rclone and Samba map them
};

// One name made acceptable to a profile, its folder aside.
struct NameFixRequest
{
    const TargetProfile* profile = nullptr;
    TargetRuleSet rules;
    FixCharacters characters = FixCharacters::Underscore;
    bool folder = false;
    qint64 size = 0;
    // The length at the target of the path above the name, its separator included, in the profile's path
    // unit; negative: no path rule.
    qint64 pathAbove = -1;
};

struct NameFixResult
{
    QByteArray name;                // the new name, the same bytes when nothing needs to change
    std::vector<TargetRule> broken; // the rules of the name's own that the old name breaks
    QString note;                   // why no name within the rules was found; name is then empty
};

// The name with every enabled rule of its own mended: refused characters replaced, control characters
// removed, refused leading and trailing blanks and trailing periods trimmed, a reserved stem followed by "_",
// a name the target keeps for itself changed, NFC where the target ignores the Unicode form, bytes that are
// not UTF-8 replaced where the target demands it, and the name shortened (extension kept, grapheme
// boundaries) to fit its limit and the path's. counter above 1 goes before the extension as "~N", for a name
// taken in the folder. The result is checked against the whole profile again.
NameFixResult fixName(const NameFixRequest& request, const QByteArray& name, int counter = 1);

// The full-width look-alike of a character some target refuses, or 0 when it has none.
char16_t lookAlikeOf(char16_t c);
