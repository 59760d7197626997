// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHash>

// A batch renames items whose folders it renames too, each line naming its folder as it was before the
// batch: rows of the list follow both.

// The path after the renames; newNames: an item's path before the batch (no trailing '/') to its new name.
QByteArray pathAfterRenames(const QByteArray& path, const QHash<QByteArray, QByteArray>& newNames);
// The path before the renames; oldNames: an item's folder before the batch (ending in '/') followed by its
// new name, to its old name.
QByteArray pathBeforeRenames(const QByteArray& path, const QHash<QByteArray, QByteArray>& oldNames);
