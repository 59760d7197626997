// SPDX-License-Identifier: MIT
#include "platform/dirlisting.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fsys {

namespace {
// Big enough for a few hundred entries a call; one buffer serves the whole walk.
constexpr int BufferSize = 64 * 1024;

Kind kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::File;
    if (S_ISDIR(mode))
        return Kind::Folder;
    return Kind::Skip;
}
} // namespace

namespace {
std::atomic<FolderOpenHook> openHook{nullptr};

// The hook's errno, or 0 to go on.
int hooked(const char* path)
{
    const FolderOpenHook hook = openHook.load(std::memory_order_acquire);
    return hook ? hook(path) : 0;
}
} // namespace

void setFolderOpenHook(FolderOpenHook hook)
{
    openHook.store(hook, std::memory_order_release);
}

namespace {
OpenResult opened(int fd)
{
    OpenResult r;
    r.fd = UniqueFd(fd);
    r.errnum = fd < 0 ? errno : 0;
    return r;
}

OpenResult refused(int errnum)
{
    OpenResult r;
    r.errnum = errnum;
    return r;
}
} // namespace

OpenResult openFolder(const char* path)
{
    if (const int err = hooked(path))
        return refused(err);
    return opened(::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

OpenResult openSubFolder(int parentFd, const char* name)
{
    if (const int err = hooked(name))
        return refused(err);
    return opened(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

OpenResult openBelow(int baseFd, const char* relativePath)
{
    if (const int err = hooked(relativePath))
        return refused(err);
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return opened(int(::syscall(SYS_openat2, baseFd, relativePath, &how, sizeof how)));
}

bool canOpenBelow()
{
    static const bool can = [] {
        open_how how{};
        how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        return opened(int(::syscall(SYS_openat2, AT_FDCWD, "/", &how, sizeof how))).fd.valid();
    }();
    return can;
}

OpenResult duplicateFolder(int folderFd)
{
    return opened(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
}

DirectoryReader::DirectoryReader() : m_buffer(new char[BufferSize]) {}

DirectoryReader::~DirectoryReader() = default;

DirectoryReader::Block DirectoryReader::readBlock(int fd)
{
    const long n = ::syscall(SYS_getdents64, fd, m_buffer.get(), BufferSize);
    if (n < 0) {
        m_filled = 0;
        return {0, errno};
    }
    m_filled = int(n);
    return {m_filled, 0};
}

Kind DirectoryReader::resolveKind(int fd, const char* name, bool knownLink)
{
    struct stat st;
    if (!knownLink) {
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Kind::Skip;
        if (!S_ISLNK(st.st_mode))
            return kindOfMode(st.st_mode);
    }
    ++m_linksMet;
    // A link: what it points at decides, but it is never entered. A link that leads nowhere is still a name.
    if (::fstatat(fd, name, &st, 0) != 0)
        return Kind::File;
    const Kind target = kindOfMode(st.st_mode);
    return target == Kind::File ? Kind::File : Kind::Skip;
}

namespace {
std::optional<FolderStamp> statxStamp(int dirFd, const char* relativePath, int flags)
{
    // Where the stamp tells whether a folder changed, flags force the question to a share's server: its
    // client may answer from times it keeps for a while.
    struct statx sx;
    constexpr unsigned Needed = STATX_TYPE | STATX_INO | STATX_MTIME | STATX_CTIME;
    if (::statx(dirFd, relativePath, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, Needed, &sx) != 0)
        return std::nullopt;
    if ((sx.stx_mask & Needed) != Needed || !S_ISDIR(sx.stx_mode))
        return std::nullopt;
    return FolderStamp{makedev(sx.stx_dev_major, sx.stx_dev_minor),
                       sx.stx_ino,
                       {sx.stx_mtime.tv_sec, long(sx.stx_mtime.tv_nsec)},
                       {sx.stx_ctime.tv_sec, long(sx.stx_ctime.tv_nsec)}};
}
} // namespace

std::optional<FolderStamp> folderStampAt(int dirFd, const char* relativePath)
{
    if (hooked(relativePath) != 0)
        return std::nullopt;
    return statxStamp(dirFd, relativePath, AT_STATX_FORCE_SYNC);
}

OpenResult openFolderHandle(int dirFd, const char* relativePath)
{
    if (const int err = hooked(relativePath))
        return refused(err);
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return opened(int(::syscall(SYS_openat2, dirFd, relativePath, &how, sizeof how)));
}

std::optional<FolderStamp> folderStampOfHandle(int handle)
{
    return statxStamp(handle, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC);
}

std::optional<FolderStamp> knownFolderStamp(int fd)
{
    // Opening the folder just now had a share's client ask for its attributes: one more question of the
    // server costs a round trip a folder.
    return statxStamp(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC);
}

std::optional<FileIdentity> identityOf(int fd)
{
    struct statx sx;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_INO, &sx) == 0 && (sx.stx_mask & STATX_INO))
        return FileIdentity{makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino};
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

bool isFolderFollowingLinks(const QByteArray& nativePath)
{
    if (nativePath.isEmpty() || hooked(nativePath.constData()) != 0)
        return false;
    struct stat st;
    return ::stat(nativePath.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createEmptyFile(const QByteArray& nativePath)
{
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool removeFile(const QByteArray& nativePath)
{
    return ::unlink(nativePath.constData()) == 0;
}

} // namespace fsys
