// SPDX-License-Identifier: MIT
#include "platform/shell.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

namespace Shell {

QUrl urlForNativePath(const QByteArray& nativePath)
{
    // Build the URL from the bytes so that names that are not valid UTF-8 still reach the very file.
    QByteArray absolute = nativePath;
    if (!absolute.startsWith('/'))
        absolute = QFile::encodeName(QDir::currentPath()) + '/' + absolute;
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(QString::fromLatin1(absolute.toPercentEncoding("/")), QUrl::TolerantMode);
    return url;
}

void open(const QUrl& url)
{
    QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}

void reveal(const QByteArray& nativePath)
{
    const QUrl url = urlForNativePath(nativePath);
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service).value()) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                                           service, QStringLiteral("ShowItems"));
        call << QStringList{url.toString(QUrl::FullyEncoded)} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return;
    }
    const int slash = nativePath.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? nativePath.left(slash) : QByteArray("/");
    open(urlForNativePath(folder));
}

} // namespace Shell

int SystemRandom::draw1to100()
{
    return static_cast<int>(QRandomGenerator::global()->generateDouble() * 100) + 1;
}
