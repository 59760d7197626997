// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// True when the modification time of the named file or folder can be read; never fails.
bool fileExists(const QString& path);
bool fileExistsNative(const QByteArray& nativePath);

// The folder that holds the program file, without a closing separator, as the system spells it: taken from the
// bytes of the program's own path, so that a folder whose name is not valid UTF-8 is still reached.
QByteArray installFolderNative();
// The same folder as shown to the user (bytes that are not UTF-8 read as U+FFFD); not for opening files.
QString installFolder();

// A regular file's whole content, reached by its exact bytes; throws AppError when it cannot be read.
QByteArray readFileNative(const QByteArray& path);
bool isFileNative(const QByteArray& path);
