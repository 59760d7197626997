// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/fixplan.h"

#include <QByteArray>
#include <QList>
#include <QMap>

// A real tree for the name fixer: made from paths below its top ("a/b.txt", folders ending in '/'), each
// file holding its own path as content, and read back whole after renames.
namespace FixTree {

// Makes every path below top (ending in '/'), the folders above each included; false when one failed.
bool make(const QByteArray& top, const QList<QByteArray>& paths);
// The candidates for those paths, listed below top, in the order given.
std::vector<FixCandidate> candidates(const QByteArray& top, const QList<QByteArray>& paths);
// Every path below top, folders ending in '/', sorted, with each file's content (empty for folders).
QMap<QByteArray, QByteArray> read(const QByteArray& top);
// The plan's new names as "old -> new" per item, or "old: note" where it keeps a name that breaks a rule.
QList<QByteArray> outline(const std::vector<FixItem>& plan);
FixSetup setupFor(const QString& profileKey, FixCharacters characters = FixCharacters::Underscore,
                  const QByteArray& targetFolder = QByteArray());

} // namespace FixTree
