// SPDX-License-Identifier: MIT
#include "search/listingtrust.h"

#include "platform/mounts.h"
#include "platform/posixfile.h"
#include "target/targetpath.h"

#include <algorithm>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace {

constexpr unsigned long FuseMagic = 0x65735546;
constexpr unsigned long XfsMagic = 0x58465342;
constexpr unsigned long F2fsMagic = 0xF2F52010;
constexpr unsigned long ZfsMagic = 0x2FC12FC1;
constexpr unsigned long Ntfs3Magic = 0x7366746E;
constexpr unsigned long CifsMagic = 0xFF534D42;
constexpr unsigned long Smb2Magic = 0xFE534D42;

bool showsNameChanges(int folderFd, int depth);
bool typeShowsNameChanges(unsigned long type, dev_t device, int depth);
bool typeAsksPerName(unsigned long type);

// A FUSE file system is trusted where it was measured: ntfs-3g (on a device or an image), bindfs and our
// benchmark's share (mirrors of a folder, which pass its times on, so trusted as far as that folder is).
bool fuseShowsNameChanges(dev_t device, int depth)
{
    const QByteArray id = QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    for (const MountTableEntry& m : readMountTable()) {
        if (m.device != id)
            continue;
        // Our benchmark's share passes on the times of the folder it mirrors, as a share's server does.
        if (m.type == "fuse.latencyfs")
            return true;
        if (!m.source.startsWith('/') || depth > 2)
            return false;
        if (m.type == "fuseblk" || m.type == "fuse") {
            if (fileSystemOfDevice(m.source) == "ntfs")
                return true;
        }
        if (m.type == "fuse" || m.type == "fuse.bindfs") {
            const UniqueFd mirrored(
                ::open(m.source.constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
            return mirrored.valid() && showsNameChanges(mirrored.get(), depth + 1);
        }
        return false;
    }
    return false;
}

bool showsNameChanges(int folderFd, int depth)
{
    struct statfs fs;
    struct stat st;
    return ::fstatfs(folderFd, &fs) == 0 && ::fstat(folderFd, &st) == 0 &&
           typeShowsNameChanges(static_cast<unsigned long>(fs.f_type), st.st_dev, depth);
}

bool typeShowsNameChanges(unsigned long type, dev_t device, int depth)
{
    switch (type) {
    case EXT4_SUPER_MAGIC: // ext2 and ext3 too
    case XfsMagic:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2fsMagic:
    case ZfsMagic:
    case Ntfs3Magic:
    case NFS_SUPER_MAGIC:
    case CifsMagic:
    case Smb2Magic:
        return true;
    case FuseMagic:
        return fuseShowsNameChanges(device, depth);
    default:
        return false;
    }
}

bool typeAsksPerName(unsigned long type)
{
    switch (type) {
    case FuseMagic:
    case NFS_SUPER_MAGIC:
    case CifsMagic:
    case Smb2Magic:
        return true;
    default:
        return false;
    }
}

} // namespace

bool ListingTrust::trusts(dev_t device, int folderFdOnIt)
{
    std::lock_guard lock(m_mutex);
    const auto known =
        std::find_if(m_known.begin(), m_known.end(), [&](const Known& k) { return k.device == device; });
    if (known != m_known.end())
        return known->trusted;
    if (folderFdOnIt < 0)
        return false;
    // Asked holding the lock: a device is met for the first time once or twice a walk. One question of the
    // file system answers both: on a share each costs a round trip.
    struct statfs fs;
    const bool answered = ::fstatfs(folderFdOnIt, &fs) == 0;
    const auto type = answered ? static_cast<unsigned long>(fs.f_type) : 0;
    const bool trusted = answered && typeShowsNameChanges(type, device, 0);
    m_known.push_back({device, trusted, !answered || typeAsksPerName(type)});
    return trusted;
}

bool ListingTrust::asksPerName(dev_t device)
{
    std::lock_guard lock(m_mutex);
    const auto known =
        std::find_if(m_known.begin(), m_known.end(), [&](const Known& k) { return k.device == device; });
    return known != m_known.end() && known->perName;
}
