// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

struct RenameResult
{
    bool renamed = false;
    bool nameTaken = false; // something already holds the new name; nothing changed
    QString error;          // why nothing changed, when not renamed
};

// Renames within the file system, never replacing what holds the new name, even when another program takes
// the name in the same instant.
RenameResult renameNoReplace(const QByteArray& from, const QByteArray& to);

// Makes what was written to an open file durable. Empty when done, else the system's text.
QString syncFileDescriptor(int fd);
