// SPDX-License-Identifier: MIT
#include "platform/fileidentity.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

IdentityResult identityWithoutFollowing(const QByteArray& nativePath)
{
    IdentityResult result;
    struct stat st;
    if (::lstat(nativePath.constData(), &st) != 0) {
        result.errnum = errno;
        return result;
    }
    result.identity = {quint64(st.st_dev), quint64(st.st_ino), true};
    return result;
}

FolderLock::FolderLock(const QByteArray& folder)
{
    UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) {
        m_error = systemErrorText(errno);
        return;
    }
    int status;
    while ((status = ::flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (status != 0) {
        m_error = systemErrorText(errno);
        return;
    }
    m_fd = std::move(fd);
}

QString FolderLock::syncEntries() const
{
    return ::fsync(m_fd.get()) == 0 ? QString() : systemErrorText(errno);
}
