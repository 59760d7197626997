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

FileIdentity identityOf(const struct stat& st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), true};
}

// Root ignores permission bits, so a file without any write bit counts as read-only whoever asks.
bool isReadOnly(const QByteArray& path, const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return false; // replacing a link leaves what it points to alone
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.constData(), W_OK) != 0;
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

// Removes the temporary file unless the copy took the target name.
struct TempFile
{
    QByteArray path;
    bool keep = false;
    ~TempFile()
    {
        if (!path.isEmpty() && !keep)
            ::unlink(path.constData());
    }
};

// Makes a finished copy durable ahead of the batch's sync: the earlier file of its name is about to go.
QString syncCopy(const QByteArray& path, const struct stat& src)
{
    int error = consultHook(CopyStep::Sync, qint64(src.st_size));
    if (!error && S_ISREG(src.st_mode)) {
        const UniqueFd fd(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.valid() || ::fsync(fd.get()) != 0)
            error = errno;
    }
    if (!error)
        error = syncFolder(parentFolder(path));
    return error ? failedBecause("could not write the copy", error) : QString();
}

// Gives the finished temporary file the target name, checking the target again first: it may have changed
// while the file was made. A file that holds the name is cleared only now, with the copy complete and
// durable. False with r->error set when the name stays as it was.
bool takeTargetName(TempFile& temp, const QByteArray& target, const struct stat& src,
                    const PlaceOptions& options, const char* what, PlaceResult* r)
{
    struct stat existing;
    bool exists = false;
    QString refusal = checkTarget(target, src, &existing, &exists);
    if (refusal.isEmpty() && exists && options.deferSync && options.clearTarget)
        refusal = syncCopy(temp.path, src);
    if (refusal.isEmpty())
        refusal = clearTargetName(target, exists, options, r);
    if (refusal.isEmpty() && takeName(temp.path, target) != 0)
        refusal = nameTakenError(errno, what);
    r->error = refusal;
    temp.keep = refusal.isEmpty();
    return temp.keep;
}

PlaceResult copyLink(const QByteArray& source, const QByteArray& target, const struct stat& src,
                     const PlaceOptions& options, PlaceResult r)
{
    QByteArray linkTarget(qsizetype(src.st_size > 0 ? src.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(source.constData(), linkTarget.data(), size_t(linkTarget.size()));
    if (n < 0 || n >= linkTarget.size()) {
        r.error = failedBecause("could not read the link", n < 0 ? errno : ENAMETOOLONG);
        return r;
    }
    linkTarget.truncate(n);
    TempFile temp;
    for (int attempt = 0; attempt < 100 && temp.path.isEmpty(); ++attempt) {
        const QByteArray candidate =
            parentFolder(target) + "/.lentrova-link-" + tempNameTag(options) + QByteArray::number(attempt);
        if (::symlink(linkTarget.constData(), candidate.constData()) == 0)
            temp.path = candidate;
        else if (errno != EEXIST) {
            r.error = failedBecause("could not create the link", errno);
            return r;
        }
    }
    if (temp.path.isEmpty()) {
        r.error = failedBecause("could not create the link", EEXIST);
        return r;
    }
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    ::utimensat(AT_FDCWD, temp.path.constData(), times, AT_SYMLINK_NOFOLLOW);
    if (!takeTargetName(temp, target, src, options, "could not place the link", &r))
        return r;
    r.placed = true;
    r.target = fileIdentity(target);
    return r;
}

PlaceResult copyRegular(const QByteArray& source, const QByteArray& target, const struct stat& src,
                        const PlaceOptions& options, const std::atomic<bool>* stop, PlaceResult r)
{
    const UniqueFd in(::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!in.valid()) {
        r.error = failedBecause("could not open the file", errno);
        return r;
    }
    struct stat opened;
    if (::fstat(in.get(), &opened) != 0 || identityOf(opened) != identityOf(src)) {
        r.error = QStringLiteral("the file changed while it was being copied");
        return r;
    }
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    TempFile temp;
    QByteArray pattern = parentFolder(target) + "/.lentrova-copy-" + tempNameTag(options) + "XXXXXX";
    UniqueFd out(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!out.valid()) {
        r.error = failedBecause("could not create the copy", errno);
        return r;
    }
    temp.path = pattern;

    const CopyOutcome copied = copyBytes(in.get(), out.get(), qint64(src.st_size), stop, options.onCopied);
    if (!copied.error.isEmpty()) {
        r.error = copied.error;
        return r;
    }
    struct stat after;
    if (!copied.complete || ::fstat(in.get(), &after) != 0 || after.st_size != src.st_size ||
        after.st_mtim.tv_sec != src.st_mtim.tv_sec || after.st_mtim.tv_nsec != src.st_mtim.tv_nsec) {
        r.error = QStringLiteral("the file changed while it was being copied");
        return r;
    }
    const qint64 total = qint64(src.st_size);

    // Owner first: changing it clears set-id bits, which the mode then restores. Only root may give a file
    // away; anyone else keeps the copy as their own, as any copy would be. The attributes come after the
    // mode, since an access ACL sets the group bits of the mode as it was at the source.
    // A file system without owners (FAT, exFAT) refuses even root: the copy then stays root's, as any is
    // there.
    if (::geteuid() == 0)
        (void)!::fchown(out.get(), src.st_uid, src.st_gid);
    if (::fchmod(out.get(), src.st_mode & 07777) != 0) {
        r.error = failedBecause("could not set the permissions of the copy", errno);
        return r;
    }
    r.lostAttributes = copyAttributes(in.get(), out.get());
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    if (::futimens(out.get(), times) != 0) {
        r.error = failedBecause("could not set the time of the copy", errno);
        return r;
    }
    if (!options.deferSync) {
        int error = consultHook(CopyStep::Sync, total);
        if (!error && ::fsync(out.get()) != 0)
            error = errno;
        if (error) {
            r.error = failedBecause("could not write the copy", error);
            return r;
        }
    }
    struct stat written;
    if (::fstat(out.get(), &written) != 0 || written.st_size != total) {
        r.error = QStringLiteral("the copy is incomplete");
        return r;
    }
    int error = consultHook(CopyStep::Close, total);
    const int closed = ::close(out.release());
    if (!error && closed != 0)
        error = errno;
    if (error) {
        r.error = failedBecause("could not write the copy", error);
        return r;
    }

    // The target may have changed while the bytes were copied.
    if (!takeTargetName(temp, target, src, options, "could not place the copy", &r))
        return r;
    if (!options.deferSync) {
        if (const int syncError = syncFolder(parentFolder(target))) {
            // The copy is in place but may not survive a crash: keep the source.
            r.error = failedBecause("could not write the target folder", syncError);
            return r;
        }
    }
    r.placed = true;
    r.target = fileIdentity(target);
    return r;
}

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
        staged =
            parentFolder(target) + "/.lentrova-moving-" + tempNameTag(options) + QByteArray::number(attempt);
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

QString removalRefusal(const QByteArray& path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return {}; // whoever reaches it next says why
    return sourceRemovalRefusal(path, st);
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
