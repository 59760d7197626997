// SPDX-License-Identifier: MIT
#include "platform/posixfile.h"

#include <cerrno>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

QString systemErrorText(int error)
{
    char buffer[256];
    // The GNU form returns the text, which may or may not be the buffer.
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        reset();
        m_fd = other.release();
    }
    return *this;
}

void UniqueFd::reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QByteArray parentFolder(const QByteArray& path)
{
    const qsizetype at = path.lastIndexOf('/');
    if (at < 0)
        return QByteArrayLiteral(".");
    return at == 0 ? QByteArrayLiteral("/") : path.left(at);
}

QString writeAllAt(int fd, const char* data, qint64 size, qint64 offset)
{
    for (qint64 done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size_t(size - done), off_t(offset + done));
        if (n < 0 && errno != EINTR)
            return systemErrorText(errno);
        done += n > 0 ? n : 0;
    }
    return {};
}

bool existsWithoutFollowing(const QByteArray& nativePath)
{
    struct stat st;
    return !nativePath.isEmpty() && ::lstat(nativePath.constData(), &st) == 0;
}

bool existsFollowingLinks(const QByteArray& nativePath)
{
    struct stat st;
    return !nativePath.isEmpty() && ::stat(nativePath.constData(), &st) == 0;
}

bool isFileFollowingLinks(const QByteArray& nativePath)
{
    struct stat st;
    return !nativePath.isEmpty() && ::stat(nativePath.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool onOtherDevice(int fd, dev_t device)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && st.st_dev != device;
}

qint64 threadBlockReads()
{
#ifdef RUSAGE_THREAD
    struct rusage usage;
    if (::getrusage(RUSAGE_THREAD, &usage) == 0)
        return usage.ru_inblock;
#endif
    return 0;
}
