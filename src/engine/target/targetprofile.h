// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// What a copy, backup or sync target refuses, as data: the rules engine (targetrules.h) reads a profile and
// never names a target itself.

// How a target counts a name or a path.
enum class TargetUnit {
    Utf16, // UTF-16 code units, as Windows, exFAT, FAT and HFS+ store names (an emoji counts 2)
    Bytes, // the bytes of the name as stored (UTF-8 here)
};

struct TargetProfile
{
    QString key;         // stable: "windows", "exfat", ...
    QString title;       // a short label for a list: "Windows (NTFS, SMB share)"
    QString description; // one line for the window: where this target is met

    QString forbiddenCharacters{};         // each one refused anywhere in a name
    bool refusesControlCharacters = false; // U+0001 to U+001F
    bool refusesDelete = false;            // U+007F
    // CON, PRN, AUX, NUL, COM0-9, LPT0-9, alone or before any extension, compared ignoring case.
    bool refusesReservedNames = false;
    bool refusesSuperscriptReservedNames = false; // COM¹ COM² COM³ LPT¹ LPT² LPT³
    bool refusesTrailingPeriod = false;
    bool refusesTrailingSpace = false;
    bool refusesLeadingSpace = false;
    // Names that are not valid UTF-8 cannot be stored (the target keeps UTF-16, or demands UTF-8).
    bool requiresUtf8 = false;

    int nameLimit = 255;
    TargetUnit nameUnit = TargetUnit::Bytes;
    int pathLimit = 0; // 0: none
    TargetUnit pathUnit = TargetUnit::Bytes;
    bool pathCountsTargetFolder = true; // else the path counts from the target folder's inside
    QChar separator = u'/';             // how the target writes its paths
    qint64 fileSizeLimit = 0;           // bytes; 0: none

    bool caseInsensitive = false;          // "Readme" and "README" are one name
    bool normalizationInsensitive = false; // "café" in NFC and in NFD are one name

    // Names the target (or the service that syncs it) keeps for itself, compared ignoring case.
    struct OwnNames
    {
        QString owner;     // "OneDrive"; empty: none
        QStringList whole; // whole names
        QStringList prefixes;
        QStringList infixes; // anywhere in a name
    };
    OwnNames ownNames{};
};

// Every profile, in the order a list shows them.
const std::vector<TargetProfile>& targetProfiles();
// The profile of that key, or null.
const TargetProfile* targetProfile(QStringView key);
