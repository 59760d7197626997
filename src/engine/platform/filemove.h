// SPDX-License-Identifier: MIT
#pragma once

#include "platform/posixfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// Which file a path named at one moment (device and inode, the path itself not followed if it is a link).
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    bool valid = false;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity fileIdentity(const QByteArray& nativePath);
// The folder a path leads to, links and ".." followed: two spellings of one folder give the same identity.
FileIdentity folderIdentity(const QByteArray& nativePath);

// What placeFile did. The source facts let removeCopiedSource refuse a file that changed after its copy.
struct PlaceResult
{
    bool placed = false;  // the target path now holds the complete file
    bool renamed = false; // placed by a rename, so the source path is already free
    QString error;        // why nothing was placed; empty when placed
    FileIdentity source;
    FileIdentity target;
    QByteArray targetPath;
    qint64 size = 0;
    qint64 mtimeSec = 0;
    qint64 mtimeNsec = 0;
    qint64 ctimeSec = 0;
    qint64 ctimeNsec = 0;
    bool clearedTarget = false; // the file that held the target name was handed to clearTarget
    QStringList lostAttributes; // extended attributes the target's file system refused
};

struct PlaceOptions
{
    bool allowRename = true; // on one file system a rename does the move
    // The caller makes copies durable itself (makeDurable on the target folder) before removing sources,
    // one sync for many files instead of one per file.
    bool deferSync = false;
    // Takes a writable file that holds the target name out of the way, just before the name is taken;
    // returns why it could not, empty when it did. Without it such a file makes the placement fail.
    std::function<QString(const QByteArray& target)> clearTarget = {};
    // On the copying thread: (0, size) as a copy begins, then how far it has got after each chunk.
    std::function<void(qint64 copied, qint64 size)> onCopied = {};
    // Joins the temporary names (".lentrova-copy-<tag>-...", and ".lentrova-moving-<tag>-..." for a file
    // renamed beside the one it replaces), so that a record of the operation finds what a kill left there.
    QByteArray tempTag = {};
};

// Puts the file at source onto target. Refuses, leaving everything as it was, when the target folder is
// missing, a read-only file or a folder holds the name (or any file, unless clearTarget takes it away), the
// target is the source itself, or the source could not be removed afterwards (its folder's write and search
// permission, the sticky-folder rule, an immutable or append-only file or folder, a file mounted over it).
// A file that holds the target name is handed to clearTarget only once the new file is certain to take its
// place: renamed into the target folder, or copied there completely and durably. A copy goes to a temporary
// name in the target folder, keeps holes, permission bits, times and extended attributes, is synced (unless
// deferSync), closed and checked for size, and only then takes the target name. Safe to call on any thread;
// stop (may be null) abandons a copy between chunks and removes it.
PlaceResult placeFile(const QByteArray& source, const QByteArray& target, const PlaceOptions& options,
                      const std::atomic<bool>* stop);

// Why the file at path could not be deleted by this user (its folder's permissions, the sticky rule, an
// immutable or append-only file or folder, a file mounted over it); empty when nothing is known to stop it.
QString removalRefusal(const QByteArray& path);

// Makes every copy placed with deferSync into folder durable (one sync of its file system). Empty when done.
QString makeDurable(const QByteArray& folder);

// Deletes the source of a placed copy, but only while it is still the very file that was copied, unchanged
// (identity, size, modification and change time). When the source stays, its copy is removed, and the reason
// says so; empty when the source is gone (also when placeFile renamed it).
QString removeCopiedSource(const QByteArray& source, const PlaceResult& placed);

// Test seam: consulted on the copying thread before each chunk is written, before the sync and before the
// close. A non-zero errno makes that step fail as the system would (ENOSPC for a full disk); it may throw.
enum class CopyStep { Write, Sync, Close };
using CopyFaultHook = std::function<int(CopyStep step, qint64 offset)>;
void setCopyFaultHook(CopyFaultHook hook);
