// SPDX-License-Identifier: MIT
#pragma once

#include "platform/filemove.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

struct TrashResult
{
    bool ok = false;
    QByteArray trashedPath; // where the file now lies, inside a trash folder's files/
    QByteArray infoPath;    // its .trashinfo, which tells a file manager where to restore it
    QString error;          // why the file stays where it was
};

// Moves one file (or link; never a folder) into the freedesktop.org trash of its file system, restorable from
// there: the user's trash under the data home (its Trash followed if a link) when the file lives on that
// trash's mount (the folders are created as needed), otherwise the .Trash/<uid> or .Trash-<uid> folder at the
// top of the file's mount, the mount told by its id from the folder's real path whatever links the given path
// passes through. A failure names the trash folder where one refused the file. A file on a file system that
// forgets its files at the next start (tmpfs), or whose mount cannot hold a trash, is copied durably into the
// user's trash and only then removed. Works on the native bytes, so names that are not valid UTF-8 reach the
// very file and are recorded exactly; a path longer than PATH_MAX is reached through its folder's descriptor
// and recorded whole.
TrashResult moveToTrash(const QByteArray& nativePath);
// The same; stop (may be null) abandons a copy into the user's trash between chunks, leaving the file.
TrashResult moveToTrash(const QByteArray& nativePath, const std::atomic<bool>* stop);

// How an operation that keeps a record of its files takes part: the tag its temporary names carry, and calls
// made before anything a kill could leave behind exists. A non-empty answer (why it could not be recorded)
// leaves the file in place.
struct TrashRecording
{
    QByteArray tempTag;
    // Before a temporary name is made in a trash folder's info/, so that settling looks there.
    std::function<QString(const QByteArray& infoFolder)> useFolder;
    // Before a name in the trash is claimed: the entry made for it is the file of that identity, so that
    // settling tells a claim of ours from an entry another program holds under the name.
    std::function<QString(const QByteArray& file, const QByteArray& trashed, const QByteArray& info,
                          FileIdentity entry)>
        claim;
    // Makes what was recorded outlast a power loss: before a copy.
    std::function<QString()> sync;
};
// A copy's entry in the trash is written only once the copy is in place, so that a kill leaves no entry
// without its file (and the record names the claimed entry, so that none is left empty).
TrashResult moveToTrash(const QByteArray& nativePath, const std::atomic<bool>* stop,
                        const TrashRecording* recording);

// $XDG_DATA_HOME/Trash, or ~/.local/share/Trash where that variable is unset or relative.
QByteArray homeTrashFolder();
