// SPDX-License-Identifier: MIT
#include "platform/posixfile.h"

#include "platform/dirlisting.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
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

OpenResult openParentOf(const QByteArray& nativePath, QByteArray* name)
{
    OpenResult result;
    const QByteArray folder = parentFolder(nativePath);
    *name = fileNameOf(nativePath);
    const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    if (folder.size() < PATH_MAX) {
        result.fd = UniqueFd(::open(folder.constData(), flags));
        result.errnum = result.fd.valid() ? 0 : errno;
        return result;
    }
    // Pieces that end at a separator and fit within PATH_MAX, each opened from the one before.
    UniqueFd at(::open(folder.startsWith('/') ? "/" : ".", flags));
    qsizetype from = folder.startsWith('/') ? 1 : 0;
    while (at.valid() && from < folder.size()) {
        if (folder.at(from) == '/') { // a doubled separator
            ++from;
            continue;
        }
        qsizetype end = folder.size();
        if (end - from >= PATH_MAX) {
            end = folder.lastIndexOf('/', from + PATH_MAX - 2);
            if (end <= from) {
                result.errnum = ENAMETOOLONG;
                return result;
            }
        }
        const QByteArray piece = folder.mid(from, end - from);
        at = UniqueFd(::openat(at.get(), piece.constData(), flags));
        from = end + 1;
    }
    result.errnum = at.valid() ? 0 : errno;
    result.fd = std::move(at);
    return result;
}

ShortPath::ShortPath(const QByteArray& nativePath) : m_path(nativePath)
{
    if (nativePath.size() < PATH_MAX)
        return;
    QByteArray name;
    OpenResult folder = openParentOf(nativePath, &name);
    m_errnum = folder.errnum;
    if (m_errnum)
        return;
    m_folder = std::move(folder.fd);
    // The "." keeps the folder's own spelling a path whose last part is not the descriptor's link.
    m_path = "/proc/self/fd/" + QByteArray::number(m_folder.get()) + "/./" + name;
}

Presence presenceWithoutFollowing(const QByteArray& nativePath)
{
    Presence presence;
    struct stat st;
    int error = 0;
    if (nativePath.isEmpty())
        error = ENOENT;
    else if (::lstat(nativePath.constData(), &st) != 0)
        error = errno;
    if (error == ENAMETOOLONG) {
        QByteArray name;
        const OpenResult folder = openParentOf(nativePath, &name);
        error = folder.errnum;
        if (!error && ::fstatat(folder.fd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            error = errno;
    }
    if (error == 0)
        presence.state = Presence::Present;
    else if (error == ENOENT || error == ENOTDIR)
        presence.state = Presence::Gone;
    else
        presence.errnum = error;
    return presence;
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
    const std::optional<fsys::FileIdentity> id = fsys::identityOf(fd);
    return id && id->device != device;
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
