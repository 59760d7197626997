// SPDX-License-Identifier: MIT
#pragma once

// The steps under placeFile: checking and taking the target name, copying bytes and attributes into a
// temporary file, and telling whether a source may be removed.

#include "platform/filemove.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// The test seam's errno for a step of a copy, 0 to go on.
int consultHook(CopyStep step, qint64 offset);

// "what: the system's text".
QString failedBecause(const char* what, int error);

// Copies every extended attribute (ACLs included); returns the names the target refused.
QStringList copyAttributes(int in, int out);

struct CopyOutcome
{
    QString error;        // why the copy failed; empty when every byte arrived
    bool complete = true; // false when the source ended early (it is being changed)
};

// Copies the bytes of in to out, data regions only, so that holes stay holes; in the kernel where it can
// (copy_file_range), else through a buffer, in chunks; stop (may be null) is read before each chunk, and
// onCopied (may be empty) hears (0, size) as the copy begins and how far it has got after each chunk.
CopyOutcome copyBytes(int in, int out, qint64 size, const std::atomic<bool>* stop,
                      const std::function<void(qint64 copied, qint64 size)>& onCopied = {});

struct stat;

// The file a stat answer describes.
FileIdentity identityOf(const struct stat& st);
// Refusals that hold whether the move is a rename or a copy; empty when the target may take the file.
QString checkTarget(const QByteArray& target, const struct stat& src, struct stat* existing, bool* exists);
// Takes the target name without replacing anything; sets errno when it fails.
int takeName(const QByteArray& from, const QByteArray& target);
// Frees the target name for the file about to take it: refuses when it is taken and nobody may clear it.
QString clearTargetName(const QByteArray& target, bool exists, const PlaceOptions& options, PlaceResult* r);
QString nameTakenError(int error, const char* what);
// Syncs a folder's entries; the errno of a failure, 0 when done or when its file system cannot.
int syncFolder(const QByteArray& folder);
// What every temporary name of one operation carries, so that start-up settling recognises them.
QByteArray tempNameTag(const PlaceOptions& options);

// Copies a link, or a regular file's bytes and attributes, into a temporary file beside the target, then
// gives it the target name.
PlaceResult copyLink(const QByteArray& source, const QByteArray& target, const struct stat& src,
                     const PlaceOptions& options, PlaceResult r);
PlaceResult copyRegular(const QByteArray& source, const QByteArray& target, const struct stat& src,
                        const PlaceOptions& options, const std::atomic<bool>* stop, PlaceResult r);

// Why the source cannot be removed after its copy (immutable, append-only, mounted over), or empty.
QString sourceRemovalRefusal(const QByteArray& source, const struct stat& src);
