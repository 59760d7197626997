// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include <QCoreApplication>
#include <QFile>

#include <sys/stat.h>

bool FileExists(const QString& path)
{
    return !path.isEmpty() && FileExistsNative(QFile::encodeName(path));
}

bool FileExistsNative(const QByteArray& nativePath)
{
    struct stat st;
    return !nativePath.isEmpty() && ::stat(nativePath.constData(), &st) == 0;
}

QString installFolder()
{
    return QCoreApplication::applicationDirPath();
}
