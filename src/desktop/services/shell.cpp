// SPDX-License-Identifier: MIT
#include "services/shell.h"

#include "platform/nativepath.h"
#include "platform/posixfile.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
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
        absolute = fromDisplay(QDir::currentPath()) + '/' + absolute;
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
    const QByteArray folder = parentFolder(nativePath);
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
    // A file manager that is not running yet may still be started by the bus on the call.
    const bool available = daemon && (daemon->isServiceRegistered(service).value() ||
                                      daemon->activatableServiceNames().value().contains(service));
    if (!available) {
        open(urlForNativePath(folder));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/FileManager1"), service, QStringLiteral("ShowItems"));
    call << QStringList{urlForNativePath(nativePath).toString(QUrl::FullyEncoded)} << QString();
    // Not waited for: a file manager that takes seconds to start must not freeze the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 10000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [folder](QDBusPendingCallWatcher* finished) {
                         if (finished->isError())
                             open(urlForNativePath(folder));
                         finished->deleteLater();
                     });
}

} // namespace Shell

int SystemRandom::draw1to100()
{
    return static_cast<int>(QRandomGenerator::global()->generateDouble() * 100) + 1;
}
