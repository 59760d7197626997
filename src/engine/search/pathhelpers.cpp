// SPDX-License-Identifier: MIT
#include "search/pathhelpers.h"

#include <QDir>

namespace {
QChar separator()
{
    return QDir::separator();
}

QString collapsePairs(const QString& text, QChar sep)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        out.append(text.at(i));
        if (text.at(i) == sep && i + 1 < text.size() && text.at(i + 1) == sep)
            ++i; // the pair becomes one; scanning goes on after it, so runs are halved, not collapsed
    }
    return out;
}
} // namespace

QString fileNameOfPath(const QString& path)
{
    const int at = path.lastIndexOf(separator());
    return at < 0 ? path : path.mid(at + 1);
}

QByteArray fileNameOfPath(const QByteArray& nativePath)
{
    const int at = int(nativePath.lastIndexOf('/'));
    return at < 0 ? nativePath : nativePath.mid(at + 1);
}

QString folderOfPath(const QString& path)
{
    const int at = path.lastIndexOf(separator());
    return at < 0 ? QString() : path.left(at + 1);
}

QByteArray folderOfPath(const QByteArray& nativePath)
{
    const int at = int(nativePath.lastIndexOf('/'));
    return at < 0 ? QByteArray() : nativePath.left(at + 1);
}

QString collapseSeparators(const QString& path)
{
    const QChar sep = separator();
    if (!path.startsWith(sep))
        return collapsePairs(path, sep);
    int run = 0;
    while (run < path.size() && path.at(run) == sep)
        ++run;
    return QString(sep) + collapsePairs(path.mid(run), sep);
}
