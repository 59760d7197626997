// SPDX-License-Identifier: MIT
#pragma once

// The byte and attribute copying under placeFile.

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
