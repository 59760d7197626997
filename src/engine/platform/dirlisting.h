// SPDX-License-Identifier: MIT
#pragma once

#include "platform/posixfile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include <sys/types.h>
#include <time.h>

// The directory listing under the search: raw getdents64 blocks read into one reused buffer, entry kinds from
// d_type with a stat only where the listing does not say. Names and paths are bytes throughout.
namespace fsys {

enum class Kind : std::uint8_t {
    File,   // a regular file, or a link to something that is not a folder
    Folder, // a real folder; links to folders are never reported as folders
    Skip,   // fifos, sockets, devices and links to folders: listed by nobody, opened by nobody
};

// Opens a folder the user named; a link there is followed, since the user chose it.
OpenResult openFolder(const char* path);
// Opens a sub-folder by name, relative to its parent; never follows a link.
OpenResult openSubFolder(int parentFd, const char* name);
// Opens a folder by a relative path below baseFd without following a link in any of its parts, so that a
// folder swapped for a link meanwhile is refused as openSubFolder refuses it. ENOSYS where the system cannot
// promise that.
OpenResult openBelow(int baseFd, const char* relativePath);
// Whether this system can openBelow at all; asked of the system once.
bool canOpenBelow();
// A second descriptor of an open folder, asking nothing of its file system (a share answers an open only
// after a round trip). It shares the folder's place in its listing: only for opening what lies below it.
OpenResult duplicateFolder(int folderFd);

// For tests: runs before every folder open and every folder check of this file, on the thread that makes it,
// with the path as given; a nonzero errno fails the call with it. A hook that sleeps stands for a dead mount.
using FolderOpenHook = int (*)(const char* path);
void setFolderOpenHook(FolderOpenHook hook);

struct RawEntry
{
    std::uint64_t ino;
    std::int64_t off;
    std::uint16_t reclen;
    std::uint8_t type;
    char name[1];
};

// Reads one folder after another through the same buffer.
class DirectoryReader
{
public:
    DirectoryReader();
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;

    // Reads the next block of entries: bytes > 0 when there are entries, 0 at the end or on failure (errnum).
    struct Block
    {
        int bytes = 0;
        int errnum = 0;
    };
    Block readBlock(int fd);

    // Calls f(name, kind) for each entry of the block just read ("." and ".." left out) until f returns
    // false. Returns false when f stopped it.
    template <class F> bool forEach(int fd, F&& f)
    {
        for (int pos = 0; pos < m_filled;) {
            const auto* e = reinterpret_cast<const RawEntry*>(m_buffer.get() + pos);
            pos += e->reclen;
            const char* name = e->name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            const Kind kind = kindOf(fd, name, e->type);
            if (!f(std::string_view(name, std::strlen(name)), kind))
                return false;
        }
        return true;
    }

    // Links met since the reader was made: what a link names can change while its folder does not.
    std::uint64_t linksMet() const { return m_linksMet; }

private:
    Kind kindOf(int fd, const char* name, std::uint8_t type)
    {
        if (type == TypeRegular)
            return Kind::File;
        if (type == TypeFolder)
            return Kind::Folder;
        if (type == TypeLink || type == TypeUnknown)
            return resolveKind(fd, name, type == TypeLink);
        return Kind::Skip;
    }
    Kind resolveKind(int fd, const char* name, bool knownLink);

    static constexpr std::uint8_t TypeUnknown = 0;
    static constexpr std::uint8_t TypeFolder = 4;
    static constexpr std::uint8_t TypeRegular = 8;
    static constexpr std::uint8_t TypeLink = 10;

    std::unique_ptr<char[]> m_buffer;
    int m_filled = 0;
    std::uint64_t m_linksMet = 0;
};

// What says whether a folder changed: a folder's names change its modification time, its permissions its
// change time.
struct FolderStamp
{
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FolderStamp& o) const
    {
        return device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};
// The stamp of the folder at a path relative to dirFd (a link there is not followed: its stamp is not a
// folder's, so it matches none), asked of a share's server. Empty when the system does not say or it is no
// folder.
std::optional<FolderStamp> folderStampAt(int dirFd, const char* relativePath);
// The stamp of an open folder as the system last had it, without asking a share's server again: never newer
// than the folder, possibly older. Not for telling whether a folder changed, only for keeping a listing read
// after it: an older stamp only has the folder listed again next time.
std::optional<FolderStamp> knownFolderStamp(int fd);
// The device and inode of what an open descriptor names, as the system has them: neither changes while it
// is open, so a share's server is not asked again.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
};
std::optional<FileIdentity> identityOf(int fd);
// A handle on a folder below dirFd that names it without opening it for reading (O_PATH: a share is asked
// one lookup, nothing more), no link followed in any part; sub-folders can be opened or asked from it.
OpenResult openFolderHandle(int dirFd, const char* relativePath);
// The stamp of a folder open or held by a handle, asked of a share's server.
std::optional<FolderStamp> folderStampOfHandle(int handle);

// True when the path leads to a folder, links followed.
bool isFolderFollowingLinks(const QByteArray& nativePath);
// Creates an empty file under the exact bytes given; for names that no text form can spell.
bool createEmptyFile(const QByteArray& nativePath);
bool removeFile(const QByteArray& nativePath);

} // namespace fsys
