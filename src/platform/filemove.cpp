// SPDX-License-Identifier: MIT
#include "platform/filemove.h"

#include <QMutex>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr qint64 ChunkSize = qint64(1) << 20;

QMutex hookMutex;
CopyFaultHook faultHook;

int consultHook(CopyStep step, qint64 offset)
{
    CopyFaultHook hook;
    {
        QMutexLocker lock(&hookMutex);
        hook = faultHook;
    }
    return hook ? hook(step, offset) : 0;
}

FileIdentity identityOf(const struct stat& st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), true};
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype at = path.lastIndexOf('/');
    if (at < 0)
        return QByteArrayLiteral(".");
    return at == 0 ? QByteArrayLiteral("/") : path.left(at);
}

// Root ignores permission bits, so a file without any write bit counts as read-only whoever asks.
bool isReadOnly(const QByteArray& path, const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return false; // replacing a link leaves what it points to alone
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.constData(), W_OK) != 0;
}

QString failedBecause(const char* what, int error)
{
    return QString::fromLatin1(what) + QStringLiteral(": ") + systemErrorText(error);
}

// Refusals that hold whether the move is a rename or a copy; empty when the target may take the file.
QString checkTarget(const QByteArray& target, const struct stat& src, struct stat* existing, bool* exists)
{
    struct stat folder;
    if (::stat(folderOf(target).constData(), &folder) != 0 || !S_ISDIR(folder.st_mode))
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
// read-only, perhaps another program's) is never overwritten.
int takeName(const QByteArray& from, const QByteArray& target)
{
    const int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // No such flag on this file system: a hard link fails on an existing name just the same.
        if (::link(from.constData(), target.constData()) != 0)
            return -1;
        ::unlink(from.constData());
        return 0;
    }
    return rc;
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

// Whether this user could delete the source afterwards: write and search permission on its folder, and in a
// sticky folder only the file's or the folder's owner (or root).
QString sourceRemovalRefusal(const QByteArray& source, const struct stat& src)
{
    const QByteArray folder = folderOf(source);
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

// Copies every extended attribute (ACLs included); returns the names the target refused.
QStringList copyAttributes(int in, int out)
{
    QStringList lost;
    QByteArray names(4096, Qt::Uninitialized);
    ssize_t n;
    while ((n = ::flistxattr(in, names.data(), size_t(names.size()))) < 0 && errno == ERANGE) {
        const ssize_t needed = ::flistxattr(in, nullptr, 0);
        if (needed < 0)
            return lost;
        names.resize(qsizetype(needed) + 1);
    }
    if (n <= 0)
        return lost;
    QByteArray value(4096, Qt::Uninitialized);
    for (const QByteArray& name : names.left(n).split('\0')) {
        if (name.isEmpty())
            continue;
        ssize_t size;
        while ((size = ::fgetxattr(in, name.constData(), value.data(), size_t(value.size()))) < 0 &&
               errno == ERANGE) {
            const ssize_t needed = ::fgetxattr(in, name.constData(), nullptr, 0);
            if (needed < 0)
                break;
            value.resize(qsizetype(needed) + 1);
        }
        if (size < 0 || ::fsetxattr(out, name.constData(), value.constData(), size_t(size), 0) != 0)
            lost.append(QString::fromUtf8(name));
    }
    return lost;
}

int syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error == EINVAL ? 0 : error; // some file systems cannot sync a folder; nothing more to do there
}

struct FdCloser
{
    int fd = -1;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
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
        const QByteArray candidate = folderOf(target) + "/.lentrova-link-" + QByteArray::number(::getpid()) +
                                     '-' + QByteArray::number(attempt);
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
    struct stat existing;
    bool exists = false;
    if (QString refusal = checkTarget(target, src, &existing, &exists); !refusal.isEmpty()) {
        r.error = refusal;
        return r;
    }
    if (QString refusal = clearTargetName(target, exists, options, &r); !refusal.isEmpty()) {
        r.error = refusal;
        return r;
    }
    if (takeName(temp.path, target) != 0) {
        r.error = nameTakenError(errno, "could not place the link");
        return r;
    }
    temp.keep = true;
    r.placed = true;
    r.target = fileIdentity(target);
    return r;
}

// Copies the bytes of in to out, data regions only, so that holes stay holes; in the kernel where it can
// (copy_file_range), else through a buffer. Returns false with *error set; *complete is false when the
// source ended early (it is being changed).
bool copyBytes(int in, int out, qint64 size, const PlaceOptions& options, const std::atomic<bool>* stop,
               QString* error, bool* complete)
{
    if (options.onCopied)
        options.onCopied(0, size);
    bool inKernel = true;
    std::unique_ptr<char[]> buffer;
    *complete = true;
    qint64 pos = 0;
    while (pos < size) {
        off_t data = ::lseek(in, off_t(pos), SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break;         // only a hole is left; the size is set below
            data = off_t(pos); // no hole finding here: copy everything
        }
        off_t end = ::lseek(in, data, SEEK_HOLE);
        if (end < 0 || end > size)
            end = off_t(size);
        for (qint64 at = data; at < end;) {
            if (stopped(stop)) {
                *error = QStringLiteral("stopped");
                return false;
            }
            if (const int injected = consultHook(CopyStep::Write, at)) {
                *error = failedBecause("could not write the copy", injected);
                return false;
            }
            const size_t want = size_t(std::min<qint64>(ChunkSize, end - at));
            ssize_t n;
            if (inKernel) {
                loff_t from = at, to = at;
                n = ::copy_file_range(in, &from, out, &to, want, 0);
                if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                              errno == EBADF || errno == EPERM)) {
                    inKernel = false; // not between these two file systems: copy through a buffer
                    continue;
                }
                if (n < 0 && errno != EINTR) {
                    *error = failedBecause("could not write the copy", errno);
                    return false;
                }
            } else {
                if (!buffer)
                    buffer.reset(new char[ChunkSize]);
                n = ::pread(in, buffer.get(), want, off_t(at));
                if (n < 0 && errno != EINTR) {
                    *error = failedBecause("could not read the file", errno);
                    return false;
                }
                for (ssize_t done = 0; n > 0 && done < n;) {
                    const ssize_t w = ::pwrite(out, buffer.get() + done, size_t(n - done), off_t(at + done));
                    if (w < 0 && errno != EINTR) {
                        *error = failedBecause("could not write the copy", errno);
                        return false;
                    }
                    done += std::max<ssize_t>(w, 0);
                }
            }
            if (n == 0) {
                *complete = false;
                return true;
            }
            at += std::max<ssize_t>(n, 0);
            if (options.onCopied)
                options.onCopied(at, size);
        }
        pos = end;
    }
    if (::ftruncate(out, off_t(size)) != 0) {
        *error = failedBecause("could not write the copy", errno);
        return false;
    }
    return true;
}

PlaceResult copyRegular(const QByteArray& source, const QByteArray& target, const struct stat& src,
                        const PlaceOptions& options, const std::atomic<bool>* stop, PlaceResult r)
{
    FdCloser in;
    in.fd = ::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in.fd < 0) {
        r.error = failedBecause("could not open the file", errno);
        return r;
    }
    struct stat opened;
    if (::fstat(in.fd, &opened) != 0 || identityOf(opened) != identityOf(src)) {
        r.error = QStringLiteral("the file changed while it was being copied");
        return r;
    }
    ::posix_fadvise(in.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    TempFile temp;
    QByteArray pattern = folderOf(target) + "/.lentrova-copy-XXXXXX";
    FdCloser out;
    out.fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (out.fd < 0) {
        r.error = failedBecause("could not create the copy", errno);
        return r;
    }
    temp.path = pattern;

    bool complete = true;
    if (!copyBytes(in.fd, out.fd, qint64(src.st_size), options, stop, &r.error, &complete))
        return r;
    struct stat after;
    if (!complete || ::fstat(in.fd, &after) != 0 || after.st_size != src.st_size ||
        after.st_mtim.tv_sec != src.st_mtim.tv_sec || after.st_mtim.tv_nsec != src.st_mtim.tv_nsec) {
        r.error = QStringLiteral("the file changed while it was being copied");
        return r;
    }
    const qint64 total = qint64(src.st_size);

    // Owner first: changing it clears set-id bits, which the mode then restores. Only root may give a file
    // away; anyone else keeps the copy as their own, as any copy would be. The attributes come after the
    // mode, since an access ACL sets the group bits of the mode as it was at the source.
    if (::geteuid() == 0)
        (void)::fchown(out.fd, src.st_uid, src.st_gid);
    if (::fchmod(out.fd, src.st_mode & 07777) != 0) {
        r.error = failedBecause("could not set the permissions of the copy", errno);
        return r;
    }
    r.lostAttributes = copyAttributes(in.fd, out.fd);
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    if (::futimens(out.fd, times) != 0) {
        r.error = failedBecause("could not set the time of the copy", errno);
        return r;
    }
    if (!options.deferSync) {
        int error = consultHook(CopyStep::Sync, total);
        if (!error && ::fsync(out.fd) != 0)
            error = errno;
        if (error) {
            r.error = failedBecause("could not write the copy", error);
            return r;
        }
    }
    struct stat written;
    if (::fstat(out.fd, &written) != 0 || written.st_size != total) {
        r.error = QStringLiteral("the copy is incomplete");
        return r;
    }
    int error = consultHook(CopyStep::Close, total);
    const int closed = ::close(out.fd);
    out.fd = -1;
    if (!error && closed != 0)
        error = errno;
    if (error) {
        r.error = failedBecause("could not write the copy", error);
        return r;
    }

    // The target may have changed while the bytes were copied.
    struct stat existing;
    bool exists = false;
    if (QString refusal = checkTarget(target, src, &existing, &exists); !refusal.isEmpty()) {
        r.error = refusal;
        return r;
    }
    if (QString refusal = clearTargetName(target, exists, options, &r); !refusal.isEmpty()) {
        r.error = refusal;
        return r;
    }
    if (takeName(temp.path, target) != 0) {
        r.error = nameTakenError(errno, "could not place the copy");
        return r;
    }
    temp.keep = true;
    if (!options.deferSync) {
        if (const int syncError = syncFolder(folderOf(target))) {
            // The copy is in place but may not survive a crash: keep the source.
            r.error = failedBecause("could not write the target folder", syncError);
            return r;
        }
    }
    r.placed = true;
    r.target = fileIdentity(target);
    return r;
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

bool entryExists(const QByteArray& nativePath)
{
    struct stat st;
    return !nativePath.isEmpty() && ::lstat(nativePath.constData(), &st) == 0;
}

QString systemErrorText(int error)
{
    char buffer[256];
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

void setCopyFaultHook(CopyFaultHook hook)
{
    QMutexLocker lock(&hookMutex);
    faultHook = std::move(hook);
}

PlaceResult placeFile(const QByteArray& source, const QByteArray& target, const PlaceOptions& options,
                      const std::atomic<bool>* stop)
{
    PlaceResult r;
    struct stat src;
    if (source.isEmpty() || ::lstat(source.constData(), &src) != 0) {
        r.error = failedBecause("the file cannot be found", source.isEmpty() ? ENOENT : errno);
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
    r.size = qint64(src.st_size);
    r.mtimeSec = qint64(src.st_mtim.tv_sec);
    r.mtimeNsec = qint64(src.st_mtim.tv_nsec);

    struct stat folder;
    if (options.allowRename && ::stat(folderOf(target).constData(), &folder) == 0 &&
        folder.st_dev == src.st_dev) {
        if (QString refusal = clearTargetName(target, exists, options, &r); !refusal.isEmpty()) {
            r.error = refusal;
            return r;
        }
        exists = false;
        if (takeName(source, target) == 0) {
            r.placed = true;
            r.renamed = true;
            r.target = r.source; // a rename is atomic: after a crash the file is at one name or the other
            return r;
        }
        if (errno != EXDEV && errno != EPERM) {
            r.error = nameTakenError(errno, "could not move the file");
            return r;
        }
        // Another mount of the same device, or a file system without links: copy instead.
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
    FdCloser fd;
    fd.fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd.fd < 0)
        return failedBecause("could not write the copy", errno);
    int error = consultHook(CopyStep::Sync, 0);
    if (!error && ::syncfs(fd.fd) != 0)
        error = errno;
    return error ? failedBecause("could not write the copy", error) : QString();
}

QString removeCopiedSource(const QByteArray& source, const PlaceResult& placed)
{
    if (!placed.placed)
        return placed.error.isEmpty() ? QStringLiteral("it was not copied") : placed.error;
    if (placed.renamed)
        return {};
    struct stat st;
    if (::lstat(source.constData(), &st) != 0)
        return errno == ENOENT ? QString() : failedBecause("the file cannot be checked", errno);
    if (identityOf(st) != placed.source || qint64(st.st_size) != placed.size ||
        qint64(st.st_mtim.tv_sec) != placed.mtimeSec || qint64(st.st_mtim.tv_nsec) != placed.mtimeNsec)
        return QStringLiteral("the file changed after it was copied, so it was left in place");
    if (::unlink(source.constData()) != 0)
        return failedBecause("copied, but the file could not be deleted", errno);
    return {};
}
