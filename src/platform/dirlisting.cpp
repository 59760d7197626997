// SPDX-License-Identifier: MIT
#include "platform/dirlisting.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

FolderFd& FolderFd::operator=(FolderFd&& other) noexcept
{
    if (this != &other) {
        reset();
        m_fd = other.release();
    }
    return *this;
}

void FolderFd::reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

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

FolderFd openFolder(const char* path, int& err)
{
    if ((err = hooked(path)) != 0)
        return FolderFd();
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    err = fd < 0 ? errno : 0;
    return FolderFd(fd);
}

FolderFd openSubFolder(int parentFd, const char* name, int& err)
{
    if ((err = hooked(name)) != 0)
        return FolderFd();
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    err = fd < 0 ? errno : 0;
    return FolderFd(fd);
}

FolderFd openBelow(int baseFd, const char* relativePath, int& err)
{
    if ((err = hooked(relativePath)) != 0)
        return FolderFd();
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const int fd = int(::syscall(SYS_openat2, baseFd, relativePath, &how, sizeof how));
    err = fd < 0 ? errno : 0;
    return FolderFd(fd);
}

QString errorDescription(int err)
{
    char buffer[256];
    // The GNU form returns the text, which may or may not be the buffer.
    const char* text = ::strerror_r(err, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

DirectoryReader::DirectoryReader() : m_buffer(new char[BufferSize]) {}

DirectoryReader::~DirectoryReader() = default;

int DirectoryReader::readBlock(int fd)
{
    const long n = ::syscall(SYS_getdents64, fd, m_buffer.get(), BufferSize);
    if (n < 0) {
        m_filled = 0;
        return -errno;
    }
    m_filled = int(n);
    return m_filled;
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
    // A link: what it points at decides, but it is never entered. A link that leads nowhere is still a name.
    if (::fstatat(fd, name, &st, 0) != 0)
        return Kind::File;
    const Kind target = kindOfMode(st.st_mode);
    return target == Kind::File ? Kind::File : Kind::Skip;
}

bool isFolder(const QByteArray& nativePath)
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
