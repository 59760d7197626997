// SPDX-License-Identifier: MIT
#include "platform/filemove.h"

#include <QMutex>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
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

// Takes the target name: without replacing anything when the name was free at the check, so that a file
// that turned up meanwhile (perhaps read-only) is never overwritten unchecked.
int takeName(const QByteArray& from, const QByteArray& target, bool targetExisted)
{
    if (targetExisted)
        return ::rename(from.constData(), target.constData());
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

bool writeAll(int fd, const char* data, qint64 size, qint64 offset, int* error)
{
    qint64 done = 0;
    while (done < size) {
        if (const int injected = consultHook(CopyStep::Write, offset + done)) {
            *error = injected;
            return false;
        }
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        done += n;
    }
    return true;
}

PlaceResult copyLink(const QByteArray& source, const QByteArray& target, const struct stat& src,
                     bool targetExisted, PlaceResult r)
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
    if (takeName(temp.path, target, targetExisted) != 0) {
        r.error = errno == EEXIST ? QStringLiteral("a file of that name appeared in the target folder")
                                  : failedBecause("could not place the link", errno);
        return r;
    }
    temp.keep = true;
    r.placed = true;
    r.target = fileIdentity(target);
    return r;
}

PlaceResult copyRegular(const QByteArray& source, const QByteArray& target, const struct stat& src,
                        const std::atomic<bool>* stop, PlaceResult r)
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

    std::unique_ptr<char[]> buffer(new char[ChunkSize]);
    qint64 total = 0;
    for (;;) {
        if (stopped(stop)) {
            r.error = QStringLiteral("stopped");
            return r;
        }
        const ssize_t n = ::read(in.fd, buffer.get(), size_t(ChunkSize));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            r.error = failedBecause("could not read the file", errno);
            return r;
        }
        if (n == 0)
            break;
        int error = 0;
        if (!writeAll(out.fd, buffer.get(), n, total, &error)) {
            r.error = failedBecause("could not write the copy", error);
            return r;
        }
        total += n;
    }

    struct stat after;
    if (::fstat(in.fd, &after) != 0 || after.st_size != src.st_size || total != src.st_size ||
        after.st_mtim.tv_sec != src.st_mtim.tv_sec || after.st_mtim.tv_nsec != src.st_mtim.tv_nsec) {
        r.error = QStringLiteral("the file changed while it was being copied");
        return r;
    }

    // Owner first: changing it clears set-id bits, which the mode then restores. Only root may give a file
    // away; anyone else keeps the copy as their own, as any copy would be.
    if (::geteuid() == 0)
        (void)::fchown(out.fd, src.st_uid, src.st_gid);
    if (::fchmod(out.fd, src.st_mode & 07777) != 0) {
        r.error = failedBecause("could not set the permissions of the copy", errno);
        return r;
    }
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    if (::futimens(out.fd, times) != 0) {
        r.error = failedBecause("could not set the time of the copy", errno);
        return r;
    }
    int error = consultHook(CopyStep::Sync, total);
    if (!error && ::fsync(out.fd) != 0)
        error = errno;
    if (error) {
        r.error = failedBecause("could not write the copy", error);
        return r;
    }
    struct stat written;
    if (::fstat(out.fd, &written) != 0 || written.st_size != total) {
        r.error = QStringLiteral("the copy is incomplete");
        return r;
    }
    error = consultHook(CopyStep::Close, total);
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
    if (takeName(temp.path, target, exists) != 0) {
        r.error = errno == EEXIST ? QStringLiteral("a file of that name appeared in the target folder")
                                  : failedBecause("could not place the copy", errno);
        return r;
    }
    temp.keep = true;
    if (const int syncError = syncFolder(folderOf(target))) {
        // The copy is in place but may not survive a crash: keep the source.
        r.error = failedBecause("could not write the target folder", syncError);
        return r;
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
    if (::access(folderOf(source).constData(), W_OK) != 0) {
        r.error = failedBecause("the file's folder does not let it go", errno);
        return r;
    }
    r.source = identityOf(src);
    r.size = qint64(src.st_size);
    r.mtimeSec = qint64(src.st_mtim.tv_sec);
    r.mtimeNsec = qint64(src.st_mtim.tv_nsec);

    struct stat folder;
    if (options.allowRename && ::stat(folderOf(target).constData(), &folder) == 0 &&
        folder.st_dev == src.st_dev) {
        if (takeName(source, target, exists) == 0) {
            r.placed = true;
            r.renamed = true;
            r.target = r.source; // a rename is atomic: after a crash the file is at one name or the other
            return r;
        }
        if (errno == EEXIST) {
            r.error = QStringLiteral("a file of that name appeared in the target folder");
            return r;
        }
        if (errno != EXDEV && errno != EPERM) {
            r.error = failedBecause("could not move the file", errno);
            return r;
        }
        // Another mount of the same device, or a file system without links: copy instead.
    }
    if (S_ISLNK(src.st_mode))
        return copyLink(source, target, src, exists, r);
    if (!S_ISREG(src.st_mode)) {
        r.error = QStringLiteral("it is not a regular file");
        return r;
    }
    return copyRegular(source, target, src, stop, r);
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
