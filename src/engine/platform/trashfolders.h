// SPDX-License-Identifier: MIT
#pragma once

// The trash folders under moveToTrash: which one takes a file, making it, and claiming a free name in it.

#include "platform/trash.h"

#include <QByteArray>
#include <QString>

namespace trashfolders {

// The path made absolute against the working folder, nothing resolved.
QByteArray absolutePath(const QByteArray& path);

// The folder with every link and "." or ".." resolved, so that the mount and the recorded path are those of
// the folder itself, however it was spelled. Sets errno when it fails.
QByteArray realFolder(const QByteArray& folder);

// A folder too deep for realpath: its longest leading part that realpath takes, resolved, and the rest as
// spelled, which still leads to the folder through whatever links it holds. Sets errno when it fails.
QByteArray realDeepFolder(const QByteArray& folder);

// A path as the messages show it.
QString shown(const QByteArray& path);

// Every failure of the trash names the trash folder, so that it never reads like a failure of the file.
QString trashFolderProblem(const QByteArray& trash, const char* what, const QString& why);

struct Reserved
{
    QByteArray name; // the name in files/ and, with ".trashinfo", in info/
    int fd = -1;     // the .trashinfo, which no other program held
    QString error;
};

// Claims a free name in the trash: its .trashinfo is made under a temporary name carrying the recording's
// tag and renamed, never over another, to the name tried, so that the entry is never without its identity
// in the record. The recording (may be null) hears of the folder and of each name before it is tried.
Reserved reserveName(const QByteArray& trash, const QByteArray& name, const QByteArray& file,
                     const TrashRecording* recording);

// Where a file goes: the trash folder, the Path= value, and whether it must be copied there.
struct Destination
{
    QByteArray trash;
    QByteArray recorded; // absolute in the home trash, relative to the mount's top in a mount's trash
    bool byCopy = false;
    QString error;
};

// The folder is resolved, or spelled through its descriptor where its path is too long to name; file is the
// whole path. The home trash takes files of its own mount; a file elsewhere goes to the trash at the top of
// its mount, found by the mount's id: overlay and btrfs subvolumes give files device numbers that differ from
// their mount's, and a trash made where the device number changes is one no desktop looks into.
Destination chooseTrash(const QByteArray& folder, const QByteArray& file);

} // namespace trashfolders
