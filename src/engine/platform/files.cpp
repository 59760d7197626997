// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include "platform/nativepath.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray installFolderNative()
{
    QByteArray path(4096, Qt::Uninitialized);
    while (true) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), std::size_t(path.size()));
        if (n < 0)
            return fromDisplay(QCoreApplication::applicationDirPath());
        if (n < path.size()) {
            path.truncate(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return parentFolder(path);
}

QString installFolder()
{
    return QString::fromUtf8(installFolderNative());
}

ReadResult readFileNative(const QByteArray& path)
{
    ReadResult r;
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        r.error = QStringLiteral("File not found: ") + QString::fromUtf8(path);
        return r;
    }
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            r.error = systemErrorText(errno);
            r.bytes.clear();
            return r;
        }
        if (n == 0)
            return r;
        r.bytes.append(buffer, n);
    }
}
