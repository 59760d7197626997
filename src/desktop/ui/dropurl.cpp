// SPDX-License-Identifier: MIT
#include "ui/dropurl.h"

#include <QSysInfo>
#include <QUrl>

namespace {

bool isThisMachine(const QString& host)
{
    return host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
}

// The leading run of separators becomes one; further doubled separators are halved, as for picked folders.
QByteArray normalized(const QByteArray& path)
{
    qsizetype run = 0;
    while (run < path.size() && path[run] == '/')
        ++run;
    QByteArray out("/");
    for (qsizetype i = run; i < path.size(); ++i) {
        out.append(path[i]);
        if (path[i] == '/' && i + 1 < path.size() && path[i + 1] == '/')
            ++i;
    }
    return out;
}

} // namespace

std::optional<DropFolderRow> folderRowFromDropUrl(const QUrl& url)
{
    if (!url.isValid() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0 ||
        !isThisMachine(url.host()))
        return std::nullopt;
    // The encoded path keeps the name's bytes even where they are not UTF-8.
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!path.startsWith('/'))
        return std::nullopt;
    QByteArray native = normalized(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    return DropFolderRow{QString::fromUtf8(native), native};
}
