// SPDX-License-Identifier: MIT
#include "platform/filecopy.h"
#include "platform/filemove.h"

#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The immutable and append-only flags, which forbid a rename or an unlink even to root; -1 when unknown.
// statx reports them without opening the file; a file system that leaves them out of its answer is asked
// through the flags ioctl, on regular files and folders (the only kinds it can be asked of without harm).
int removalFlags(const QByteArray& path, bool* mountRoot)
{
    struct statx sx;
    *mountRoot = false;
    if (::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE, &sx) != 0)
        return -1;
    *mountRoot =
        (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    constexpr quint64 wanted = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    if ((sx.stx_attributes_mask & wanted) == wanted) {
        int flags = 0;
        if (sx.stx_attributes & STATX_ATTR_IMMUTABLE)
            flags |= FS_IMMUTABLE_FL;
        if (sx.stx_attributes & STATX_ATTR_APPEND)
            flags |= FS_APPEND_FL;
        return flags;
    }
    if (!S_ISREG(sx.stx_mode) && !S_ISDIR(sx.stx_mode))
        return -1;
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    int flags = 0;
    if (!fd.valid() || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0)
        return -1;
    return flags & (FS_IMMUTABLE_FL | FS_APPEND_FL);
}

// Removes a copy whose source stays, so that the file is not left in two places; the words to add to the
// reason the source stays.
QString removeStaleCopy(const PlaceResult& placed)
{
    if (placed.targetPath.isEmpty() || fileIdentity(placed.targetPath) != placed.target)
        return {};
    if (::unlink(placed.targetPath.constData()) != 0)
        return QStringLiteral("; its copy at ") + QString::fromUtf8(placed.targetPath) +
               QStringLiteral(" could not be removed: ") + systemErrorText(errno);
    return QStringLiteral("; its copy was removed");
}

} // namespace

// Whether this user could delete the source afterwards: write and search permission on its folder, in a
// sticky folder only the file's or the folder's owner (or root), neither the file nor its folder immutable or
// append-only, and nothing mounted over the file (a bind-mounted file is busy).
QString sourceRemovalRefusal(const QByteArray& source, const struct stat& src)
{
    const QByteArray folder = parentFolder(source);
    bool mountRoot = false;
    const int fileFlags = removalFlags(source, &mountRoot);
    if (mountRoot)
        return QStringLiteral("it cannot be deleted: another file is mounted over it");
    if (fileFlags > 0 && (fileFlags & FS_IMMUTABLE_FL))
        return QStringLiteral("it cannot be deleted: the file is immutable");
    if (fileFlags > 0 && (fileFlags & FS_APPEND_FL))
        return QStringLiteral("it cannot be deleted: the file is append-only");
    bool folderMountRoot = false;
    const int folderFlags = removalFlags(folder, &folderMountRoot);
    if (folderFlags > 0 && (folderFlags & FS_IMMUTABLE_FL))
        return QStringLiteral("the file's folder does not let it go: the folder is immutable");
    if (folderFlags > 0 && (folderFlags & FS_APPEND_FL))
        return QStringLiteral("the file's folder does not let it go: the folder is append-only");
    struct stat dir;
    if (::stat(folder.constData(), &dir) != 0 ||
        ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return failedBecause("the file's folder does not let it go", errno);
    const uid_t me = ::geteuid();
    if ((dir.st_mode & S_ISVTX) && me != 0 && src.st_uid != me && dir.st_uid != me)
        return QStringLiteral(
            "the file's folder does not let it go: it is sticky and the file is someone else's");
    return {};
}

QString removalRefusal(const QByteArray& path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return {}; // whoever reaches it next says why
    return sourceRemovalRefusal(path, st);
}

QString removeCopiedSource(const QByteArray& source, const PlaceResult& placed)
{
    if (!placed.placed)
        return placed.error.isEmpty() ? QStringLiteral("it was not copied") : placed.error;
    if (placed.renamed)
        return {};
    // A source that stays keeps its place, and its copy goes: the file must not be left in two places, nor a
    // stale copy beside a newer file.
    struct stat st;
    if (::lstat(source.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {}; // gone meanwhile: the copy is now the only one
        return failedBecause("the file cannot be checked", errno) + removeStaleCopy(placed);
    }
    // The change time also catches a write that kept the size and set the modification time back.
    if (identityOf(st) != placed.source || qint64(st.st_size) != placed.size ||
        qint64(st.st_mtim.tv_sec) != placed.mtimeSec || qint64(st.st_mtim.tv_nsec) != placed.mtimeNsec ||
        qint64(st.st_ctim.tv_sec) != placed.ctimeSec || qint64(st.st_ctim.tv_nsec) != placed.ctimeNsec)
        return QStringLiteral("the file changed after it was copied, so it was left in place") +
               removeStaleCopy(placed);
    if (::unlink(source.constData()) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return {};
        return failedBecause("the file could not be deleted", error) + removeStaleCopy(placed);
    }
    return {};
}
