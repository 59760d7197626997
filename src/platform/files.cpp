// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include "platform/errorbox.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool fileExists(const QString& path)
{
    return !path.isEmpty() && fileExistsNative(QFile::encodeName(path));
}

bool fileExistsNative(const QByteArray& nativePath)
{
    struct stat st;
    return !nativePath.isEmpty() && ::stat(nativePath.constData(), &st) == 0;
}

QByteArray installFolderNative()
{
    QByteArray path(4096, Qt::Uninitialized);
    while (true) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), std::size_t(path.size()));
        if (n < 0)
            return QFile::encodeName(QCoreApplication::applicationDirPath());
        if (n < path.size()) {
            path.truncate(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QString installFolder()
{
    return QString::fromUtf8(installFolderNative());
}

QByteArray readFileNative(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw AppError(QStringLiteral("File not found: ") + QString::fromUtf8(path));
    QByteArray content;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            throw AppError(reason);
        }
        if (n == 0)
            break;
        content.append(buffer, n);
    }
    ::close(fd);
    return content;
}

bool isFileNative(const QByteArray& path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}
