// SPDX-License-Identifier: MIT
#include "platform/filemove.h"

#include "platform/filecopy.h"
#include "platform/renamefile.h"

#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Root ignores permission bits, so a file without any write bit counts as read-only whoever asks.
bool isReadOnly(const QByteArray& path, const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return false; // replacing a link leaves what it points to alone
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.constData(), W_OK) != 0;
}

} // namespace

FileIdentity identityOf(const struct stat& st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), true};
}

// Refusals that hold whether the move is a rename or a copy; empty when the target may take the file.
QString checkTarget(const QByteArray& target, const struct stat& src, struct stat* existing, bool* exists)
{
    struct stat folder;
    if (::stat(parentFolder(target).constData(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return QStringLiteral("the target folder does not exist");
    *exists = ::lstat(target.constData(), existing) == 0;
    if (!*exists)
        return {};
    if (existing->st_dev == src.st_dev && existing->st_ino == src.st_ino)
        return QStringLiteral("the file is already in the target folder");
    if (S_ISDIR(existing->st_mode))
        return QStringLiteral("a folder of that name is in the target folder");
    if (isReadOnly(target, *existing))
        return QStringLiteral("a read-only file of that name is in the target folder");
    return {};
}

// Takes the target name without replacing anything: a file that turned up there after the checks (perhaps
// read-only, perhaps another program's) is never overwritten. Sets errno when it fails.
int takeName(const QByteArray& from, const QByteArray& target)
{
    const RenameResult renamed = renameNoReplace(from, target);
    errno = renamed.errnum;
    return renamed.renamed ? 0 : -1;
}

// Frees the target name for the file about to take it: refuses when it is taken and nobody may clear it.
QString clearTargetName(const QByteArray& target, bool exists, const PlaceOptions& options, PlaceResult* r)
{
    if (!exists)
        return {};
    if (!options.clearTarget)
        return QStringLiteral("a file of that name is in the target folder");
    if (QString why = options.clearTarget(target); !why.isEmpty())
        return why;
    r->clearedTarget = true;
    return {};
}

QString nameTakenError(int error, const char* what)
{
    return error == EEXIST ? QStringLiteral("a file of that name appeared in the target folder")
                           : failedBecause(what, error);
}

int syncFolder(const QByteArray& folder)
{
    const UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return errno;
    const int error = ::fsync(fd.get()) == 0 ? 0 : errno;
    return error == EINVAL ? 0 : error; // some file systems cannot sync a folder; nothing more to do there
}

QByteArray tempNameTag(const PlaceOptions& options)
{
    return (options.tempTag.isEmpty() ? QByteArray::number(::getpid()) : options.tempTag) + '-';
}

namespace {

// Moves the file within one file system. A file that holds the name goes only once the moving file lies in
// the target folder under a hidden name: taking the name is then a rename within one folder, which has just
// been seen to work there. False with r->error set, or with *error for the caller to judge (EXDEV).
bool renameInto(const QByteArray& source, const QByteArray& target, bool exists, const PlaceOptions& options,
                PlaceResult* r, int* error)
{
    *error = 0;
    if (!exists) {
        if (takeName(source, target) == 0)
            return true;
        *error = errno;
        return false;
    }
    if (!options.clearTarget) {
        r->error = QStringLiteral("a file of that name is in the target folder");
        return false;
    }
    QByteArray staged;
    RenameResult moved;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Tagged, so that the record of the operation finds a file that a kill left under this name.
        staged = joinPath(parentFolder(target),
                          ".lentrova-moving-" + tempNameTag(options) + QByteArray::number(attempt));
        moved = renameNoReplace(source, staged);
        if (!moved.nameTaken)
            break;
    }
    if (!moved.renamed) {
        *error = moved.errnum;
        return false;
    }
    QString refusal = clearTargetName(target, true, options, r);
    if (refusal.isEmpty()) {
        moved = renameNoReplace(staged, target);
        if (moved.renamed)
            return true;
        refusal = nameTakenError(moved.errnum, "could not move the file");
    }
    if (const RenameResult back = renameNoReplace(staged, source); !back.renamed)
        refusal += QStringLiteral("; the file was left at ") + QString::fromUtf8(staged) +
                   QStringLiteral(" (") + back.error + QLatin1Char(')');
    r->error = refusal;
    return false;
}

} // namespace

FileIdentity fileIdentity(const QByteArray& nativePath)
{
    struct stat st;
    if (nativePath.isEmpty() || ::lstat(nativePath.constData(), &st) != 0)
        return {};
    return identityOf(st);
}

FileIdentity folderIdentity(const QByteArray& nativePath)
{
    struct stat st;
    if (nativePath.isEmpty() || ::stat(nativePath.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return identityOf(st);
}

PlaceResult placeFile(const QByteArray& source, const QByteArray& target, const PlaceOptions& options,
                      const std::atomic<bool>* stop)
{
    PlaceResult r;
    struct stat src;
    if (source.isEmpty() || ::lstat(source.constData(), &src) != 0) {
        const int error = source.isEmpty() ? ENOENT : errno;
        r.error = failedBecause(error == ENOENT || error == ENOTDIR ? "the file cannot be found"
                                                                    : "the file cannot be reached",
                                error);
        return r;
    }
    if (S_ISDIR(src.st_mode)) {
        r.error = QStringLiteral("it is a folder, not a file");
        return r;
    }
    struct stat existing;
    bool exists = false;
    if (QString refusal = checkTarget(target, src, &existing, &exists); !refusal.isEmpty()) {
        r.error = refusal;
        return r;
    }
    // Without leave to remove the source the move would end as a copy; find out before copying anything.
    if (QString refusal = sourceRemovalRefusal(source, src); !refusal.isEmpty()) {
        r.error = refusal;
        return r;
    }
    r.source = identityOf(src);
    r.targetPath = target;
    r.size = qint64(src.st_size);
    r.mtimeSec = qint64(src.st_mtim.tv_sec);
    r.mtimeNsec = qint64(src.st_mtim.tv_nsec);
    r.ctimeSec = qint64(src.st_ctim.tv_sec);
    r.ctimeNsec = qint64(src.st_ctim.tv_nsec);

    struct stat folder;
    if (options.allowRename && ::stat(parentFolder(target).constData(), &folder) == 0 &&
        folder.st_dev == src.st_dev) {
        int error = 0;
        if (renameInto(source, target, exists, options, &r, &error)) {
            r.placed = true;
            r.renamed = true;
            r.target = r.source; // a rename is atomic: after a crash the file is at one name or the other
            return r;
        }
        if (!r.error.isEmpty())
            return r;
        // Another mount of the same device: copy instead. A file system that refuses renames altogether
        // is copied onto only while the source is still known to be removable afterwards; an EPERM for the
        // source itself must not turn a move into a copy.
        const bool refusedHere = error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
        if (refusedHere) {
            if (QString refusal = sourceRemovalRefusal(source, src); !refusal.isEmpty()) {
                r.error = refusal;
                return r;
            }
        }
        if (error != EXDEV && !refusedHere) {
            r.error = nameTakenError(error, "could not move the file");
            return r;
        }
    }
    if (S_ISLNK(src.st_mode))
        return copyLink(source, target, src, options, r);
    if (!S_ISREG(src.st_mode)) {
        r.error = QStringLiteral("it is not a regular file");
        return r;
    }
    return copyRegular(source, target, src, options, stop, r);
}

QString makeDurable(const QByteArray& folder)
{
    const UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return failedBecause("could not write the copy", errno);
    int error = consultHook(CopyStep::Sync, 0);
    if (!error && ::syncfs(fd.get()) != 0)
        error = errno;
    return error ? failedBecause("could not write the copy", error) : QString();
}
