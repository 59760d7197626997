// SPDX-License-Identifier: MIT
#include "platform/renamefile.h"

#include "platform/posixfile.h"

#include <QMutex>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QMutex hookMutex;
RenameFaultHook faultHook;

int consultHook(RenameStep step, const QByteArray& toName)
{
    RenameFaultHook hook;
    {
        QMutexLocker lock(&hookMutex);
        hook = faultHook;
    }
    return hook ? hook(step, toName) : 0;
}

RenameResult failed(int error)
{
    RenameResult result;
    result.errnum = error;
    result.nameTaken = error == EEXIST;
    result.error = systemErrorText(error);
    return result;
}

RenameResult done()
{
    RenameResult result;
    result.renamed = true;
    return result;
}

// The file system has no RENAME_NOREPLACE (or the kernel none at all): the answers that mean "try otherwise".
bool flagRefused(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Answers of link() that say this file system (or its mount options, or protected_hardlinks) makes no hard
// link here, while a rename might still work.
bool linkRefused(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL || error == EMLINK ||
           error == EACCES;
}

RenameResult byLink(int fromFolder, const QByteArray& fromName, int toFolder, const QByteArray& toName,
                    bool* refused)
{
    *refused = false;
    int error = consultHook(RenameStep::Link, toName);
    if (!error && ::linkat(fromFolder, fromName.constData(), toFolder, toName.constData(), 0) != 0)
        error = errno;
    if (error) {
        *refused = linkRefused(error);
        return failed(error);
    }
    if (::unlinkat(fromFolder, fromName.constData(), 0) != 0) {
        // Two names for one file would be a copy that no one asked for: take the new one back.
        const int unlinkError = errno;
        ::unlinkat(toFolder, toName.constData(), 0);
        return failed(unlinkError);
    }
    return done();
}

// The name is claimed by an exclusive create, which every file system can do, and only that placeholder,
// still ours just before, is renamed over. Another program taking the name after the check is the one window
// left, and it would have to replace our placeholder first.
RenameResult byPlaceholder(int fromFolder, const QByteArray& fromName, int toFolder, const QByteArray& toName)
{
    struct stat source;
    if (::fstatat(fromFolder, fromName.constData(), &source, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(errno);
    struct stat made;
    if (S_ISDIR(source.st_mode)) {
        // A folder can be renamed only over an empty folder.
        if (::mkdirat(toFolder, toName.constData(), 0700) != 0 ||
            ::fstatat(toFolder, toName.constData(), &made, AT_SYMLINK_NOFOLLOW) != 0)
            return failed(errno);
    } else {
        const UniqueFd fd(::openat(toFolder, toName.constData(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid() || ::fstat(fd.get(), &made) != 0)
            return failed(errno);
    }
    const auto stillOurs = [&] {
        struct stat now;
        return ::fstatat(toFolder, toName.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
               now.st_dev == made.st_dev && now.st_ino == made.st_ino &&
               (S_ISDIR(now.st_mode) || now.st_size == 0) &&
               (now.st_mode & S_IFMT) == (made.st_mode & S_IFMT);
    };
    const auto removePlaceholder = [&] {
        if (stillOurs())
            ::unlinkat(toFolder, toName.constData(), S_ISDIR(made.st_mode) ? AT_REMOVEDIR : 0);
    };
    int error = consultHook(RenameStep::Placeholder, toName);
    if (!error && !stillOurs())
        return failed(EEXIST); // someone else's file holds the name now: not ours to remove
    if (!error && ::renameat(fromFolder, fromName.constData(), toFolder, toName.constData()) != 0)
        error = errno;
    if (error) {
        removePlaceholder();
        return failed(error);
    }
    return done();
}

} // namespace

RenameResult renameNoReplaceAt(int fromFolder, const QByteArray& fromName, int toFolder,
                               const QByteArray& toName)
{
    if (fromName.isEmpty() || toName.isEmpty())
        return failed(ENOENT);
    int error = consultHook(RenameStep::NoReplace, toName);
    if (!error &&
        ::renameat2(fromFolder, fromName.constData(), toFolder, toName.constData(), RENAME_NOREPLACE) == 0)
        return done();
    if (!error)
        error = errno;
    if (!flagRefused(error))
        return failed(error);
    bool linkRefusedHere = false;
    RenameResult linked = byLink(fromFolder, fromName, toFolder, toName, &linkRefusedHere);
    if (linked.renamed || !linkRefusedHere)
        return linked;
    return byPlaceholder(fromFolder, fromName, toFolder, toName);
}

RenameResult renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    return renameNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
}

QString syncFileDescriptor(int fd)
{
    return ::fdatasync(fd) == 0 ? QString() : systemErrorText(errno);
}

void setRenameFaultHook(RenameFaultHook hook)
{
    QMutexLocker lock(&hookMutex);
    faultHook = std::move(hook);
}
