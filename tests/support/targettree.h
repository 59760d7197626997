// SPDX-License-Identifier: MIT
#pragma once

#include "target/targetrules.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

// A tree of names that targets refuse, copied item by item onto a real file system, and what the rules say
// of the same tree: the two are compared by the target tests.
namespace TargetTree {

struct Entry
{
    QByteArray path; // below the tree's top, "/"-separated; a folder comes before what it holds
    bool folder = false;
    QByteArray content; // files: unique, so that a file landing on another shows
};

// Every kind of name the rules know: forbidden and control characters, reserved names, trailing periods and
// spaces, long names in UTF-16 units and in bytes, case pairs of files and folders, NFC and NFD pairs, empty
// folders, names that are not UTF-8, a deep path. The encoded surrogate is left out unless asked for: the
// exFAT daemon takes it and dies at the next listing.
std::vector<Entry> hostileTree(bool withSurrogate);

// What happened to each entry: the system's words where the copy refused it, "lost" where it is not there
// after the copy (by its exact bytes, each folder listed), "overwritten" where its content is another's,
// "merged with another" where a folder took in names the tree puts elsewhere.
// Entries that came through are absent.
QMap<QByteArray, QString> copyAndCompare(const QByteArray& top, const std::vector<Entry>& entries);

// What the rules flag in the tree, fed folder by folder as a walk would, copied into targetFolder. Entries
// with no problem are absent.
QMap<QByteArray, std::vector<TargetProblem>> flagged(const TargetProfile& profile, const TargetRuleSet& rules,
                                                     const QByteArray& targetFolder,
                                                     const std::vector<Entry>& entries);

// "rule-key: detail" for each problem, for comparing with tables.
QStringList texts(const std::vector<TargetProblem>& problems);

// The folders an entry lies in, nearest first.
QList<QByteArray> ancestorsOf(const QByteArray& path);

// A name of that many copies of a UTF-8 sequence.
QByteArray repeated(const QByteArray& unit, int count);

} // namespace TargetTree
