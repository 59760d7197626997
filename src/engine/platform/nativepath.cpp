// SPDX-License-Identifier: MIT
#include "platform/nativepath.h"

#include <QFile>

namespace {
constexpr QChar TextSeparator = QLatin1Char(PathSeparator);

QString collapsePairs(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        out.append(text.at(i));
        if (text.at(i) == TextSeparator && i + 1 < text.size() && text.at(i + 1) == TextSeparator)
            ++i; // the pair becomes one; scanning goes on after it, so runs are halved, not collapsed
    }
    return out;
}
} // namespace

QByteArray fileNameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf(PathSeparator) + 1);
}

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(TextSeparator) + 1);
}

QByteArray folderOf(const QByteArray& path)
{
    return path.left(path.lastIndexOf(PathSeparator) + 1);
}

QString folderOf(const QString& path)
{
    return path.left(path.lastIndexOf(TextSeparator) + 1);
}

QByteArray parentFolder(const QByteArray& path)
{
    const qsizetype at = path.lastIndexOf(PathSeparator);
    if (at < 0)
        return QByteArrayLiteral(".");
    return at == 0 ? QByteArrayLiteral("/") : path.left(at);
}

QByteArray joinPath(const QByteArray& folder, QByteArrayView name)
{
    QByteArray path = folder;
    if (!path.isEmpty() && !path.endsWith(PathSeparator))
        path += PathSeparator;
    return path.append(name);
}

QString toDisplay(const QByteArray& nativePath)
{
    return QFile::decodeName(nativePath);
}

QString toDisplay(std::string_view nativePath)
{
    return QFile::decodeName(QByteArray(nativePath.data(), qsizetype(nativePath.size())));
}

QByteArray fromDisplay(const QString& path)
{
    return QFile::encodeName(path);
}

QString collapseSeparators(const QString& path)
{
    if (!path.startsWith(TextSeparator))
        return collapsePairs(path);
    int run = 0;
    while (run < path.size() && path.at(run) == TextSeparator)
        ++run;
    return QString(TextSeparator) + collapsePairs(path.mid(run));
}
