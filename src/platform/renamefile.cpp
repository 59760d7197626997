// SPDX-License-Identifier: MIT
#include "platform/renamefile.h"

#include "platform/posixfile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

RenameResult renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    RenameResult result;
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        result.renamed = true;
        return result;
    }
    const int error = errno;
    result.nameTaken = error == EEXIST;
    result.error = systemErrorText(error);
    return result;
}

QString syncFileDescriptor(int fd)
{
    return ::fdatasync(fd) == 0 ? QString() : systemErrorText(errno);
}
