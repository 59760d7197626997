// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// True when the modification time of the named file or folder can be read; never fails.
bool fileExists(const QString& path);
bool fileExistsNative(const QByteArray& nativePath);

// The folder that holds the program file, without a closing separator.
QString installFolder();
