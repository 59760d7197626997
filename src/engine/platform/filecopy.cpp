// SPDX-License-Identifier: MIT
#include "platform/filecopy.h"

#include <QMutex>

#include <algorithm>
#include <cerrno>
#include <memory>

#include <fcntl.h>
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
