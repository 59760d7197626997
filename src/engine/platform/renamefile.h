// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

struct RenameResult
{
    bool renamed = false;
    bool nameTaken = false; // something already holds the new name; nothing changed
    int errnum = 0;         // the errno that stopped it, when not renamed (EXDEV: another file system)
    QString error;          // why nothing changed, when not renamed
};

// Renames within the file system, never replacing what holds the new name, even when another program takes
// the name in the same instant. Where the file system refuses RENAME_NOREPLACE (SMB, NFS, many FUSE file
// systems answer EINVAL), a hard link and an unlink do it; where links are refused as well (exFAT), the new
// name is first created exclusively as a placeholder, and only that placeholder is renamed over.
RenameResult renameNoReplace(const QByteArray& from, const QByteArray& to);
// The same relative to open folders (AT_FDCWD for the working folder), for paths too long to be spelled
// whole.
RenameResult renameNoReplaceAt(int fromFolder, const QByteArray& fromName, int toFolder,
                               const QByteArray& toName);

// Makes what was written to an open file durable. Empty when done, else the system's text.
QString syncFileDescriptor(int fd);

// Test seam: consulted before RENAME_NOREPLACE is tried, before the hard link, and once the placeholder is
// made (just before it is checked and renamed over). A non-zero errno makes that step fail as the system
// would (EINVAL for a file system without the flag, EPERM for one without links); it may change files.
enum class RenameStep { NoReplace, Link, Placeholder };
using RenameFaultHook = std::function<int(RenameStep step, const QByteArray& toName)>;
void setRenameFaultHook(RenameFaultHook hook);
