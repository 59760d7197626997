// SPDX-License-Identifier: MIT
#pragma once

#include "platform/posixfile.h"

#include <QByteArray>
#include <QString>

// The folder that holds the program file, without a closing separator, as the system spells it: taken from
// the bytes of the program's own path, so that a folder whose name is not valid UTF-8 is still reached.
QByteArray installFolderNative();
// The same folder as shown to the user (bytes that are not UTF-8 read as U+FFFD); not for opening files.
QString installFolder();

// A regular file's whole content, reached by its exact bytes, or why it cannot be read.
ReadResult readFileNative(const QByteArray& path);
