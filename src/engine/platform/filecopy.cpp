// SPDX-License-Identifier: MIT
#include "platform/filecopy.h"

#include <QMutex>

#include <algorithm>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr qint64 ChunkSize = qint64(1) << 20;

QMutex hookMutex;
CopyFaultHook faultHook;

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

} // namespace

int consultHook(CopyStep step, qint64 offset)
{
    CopyFaultHook hook;
    {
        QMutexLocker lock(&hookMutex);
        hook = faultHook;
    }
    return hook ? hook(step, offset) : 0;
}

void setCopyFaultHook(CopyFaultHook hook)
{
    QMutexLocker lock(&hookMutex);
    faultHook = std::move(hook);
}

QString failedBecause(const char* what, int error)
{
    return QString::fromLatin1(what) + QStringLiteral(": ") + systemErrorText(error);
}

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

// Copies the bytes of in to out, data regions only, so that holes stay holes; in the kernel where it can
// (copy_file_range), else through a buffer.
CopyOutcome copyBytes(int in, int out, qint64 size, const std::atomic<bool>* stop,
                      const std::function<void(qint64 copied, qint64 size)>& onCopied)
{
    if (onCopied)
        onCopied(0, size);
    CopyOutcome r;
    bool inKernel = true;
    std::unique_ptr<char[]> buffer;
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
                r.error = QStringLiteral("stopped");
                return r;
            }
            if (const int injected = consultHook(CopyStep::Write, at)) {
                r.error = failedBecause("could not write the copy", injected);
                return r;
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
                    r.error = failedBecause("could not write the copy", errno);
                    return r;
                }
            } else {
                if (!buffer)
                    buffer.reset(new char[ChunkSize]);
                n = ::pread(in, buffer.get(), want, off_t(at));
                if (n < 0 && errno != EINTR) {
                    r.error = failedBecause("could not read the file", errno);
                    return r;
                }
                if (QString why = n > 0 ? writeAllAt(out, buffer.get(), n, at) : QString(); !why.isEmpty()) {
                    r.error = QStringLiteral("could not write the copy: ") + why;
                    return r;
                }
            }
            if (n == 0) {
                r.complete = false;
                return r;
            }
            at += std::max<ssize_t>(n, 0);
            if (onCopied)
                onCopied(at, size);
        }
        pos = end;
    }
    if (::ftruncate(out, off_t(size)) != 0) {
        r.error = failedBecause("could not write the copy", errno);
        return r;
    }
    return r;
}

namespace {

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

} // namespace

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
        const QByteArray candidate = joinPath(parentFolder(target), ".lentrova-link-" + tempNameTag(options) +
                                                                        QByteArray::number(attempt));
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
    QByteArray pattern = joinPath(parentFolder(target), ".lentrova-copy-" + tempNameTag(options) + "XXXXXX");
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
