// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include <QCoreApplication>
#include <QFile>

#include <sys/stat.h>

bool fileExists(const QString& path)
{
    return !path.isEmpty() && fileExistsNative(QFile::encodeName(path));
}

bool fileExistsNative(const QByteArray& nativePath)
{
    struct stat st;
    return !nativePath.isEmpty() && ::stat(nativePath.constData(), &st) == 0;
}

QString installFolder()
{
    return QCoreApplication::applicationDirPath();
}
