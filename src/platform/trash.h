// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

struct TrashResult
{
    bool ok = false;
    QByteArray trashedPath; // where the file now lies, inside a trash folder's files/
    QByteArray infoPath;    // its .trashinfo, which tells a file manager where to restore it
    QString error;          // why the file stays where it was
};

// Moves one file (or link; never a folder) into the freedesktop.org trash of its file system, restorable from
// there: the user's trash under the data home when the file lives on that file system (the folders are
// created as needed), otherwise the .Trash/<uid> or .Trash-<uid> folder at the top of the file's mount. Works
// on the native bytes, so names that are not valid UTF-8 reach the very file and are recorded exactly.
TrashResult moveToTrash(const QByteArray& nativePath);

// $XDG_DATA_HOME/Trash, or ~/.local/share/Trash where that variable is unset or relative.
QByteArray homeTrashFolder();
