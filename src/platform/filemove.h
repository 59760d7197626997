// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

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

// True when anything is at the path, a dangling link included.
bool entryExists(const QByteArray& nativePath);

// What placeFile did. The source facts let removeCopiedSource refuse a file that changed after its copy.
struct PlaceResult
{
    bool placed = false;  // the target path now holds the complete file
    bool renamed = false; // placed by a rename, so the source path is already free
    QString error;        // why nothing was placed; empty when placed
    FileIdentity source;
    FileIdentity target;
    qint64 size = 0;
    qint64 mtimeSec = 0;
    qint64 mtimeNsec = 0;
};

struct PlaceOptions
{
    bool allowRename = true; // on one file system a rename does the move
};

// Puts the file at source onto target, replacing a writable file of that name. Refuses, leaving everything
// as it was, when the target folder is missing, a read-only file or a folder holds the name, the target is
// the source itself, or the source's folder would not let the source go. A copy goes to a temporary name in
// the target folder, is synced, closed and checked for size, keeps its permission bits and times, and only
// then takes the target name. Safe to call on any thread; stop (may be null) abandons a copy between chunks.
PlaceResult placeFile(const QByteArray& source, const QByteArray& target, const PlaceOptions& options,
                      const std::atomic<bool>* stop);

// Deletes the source of a placed copy, but only while it is still the very file that was copied, unchanged.
// Returns the reason when the source stays; empty when it is gone (also when placeFile renamed it).
QString removeCopiedSource(const QByteArray& source, const PlaceResult& placed);

// Test seam: consulted on the copying thread before each chunk is written, before the sync and before the
// close. A non-zero errno makes that step fail as the system would (ENOSPC for a full disk); it may throw.
enum class CopyStep { Write, Sync, Close };
using CopyFaultHook = std::function<int(CopyStep step, qint64 offset)>;
void setCopyFaultHook(CopyFaultHook hook);

// The system's text for an errno value; thread-safe.
QString systemErrorText(int error);
