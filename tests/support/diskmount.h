// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A file system of our own for the test's life, on a loop device or through FUSE: another file system that
// keeps its files across a restart, as a disk or a stick does (a tmpfs does not), or one with the manners of
// a stick or a share. Unusable where the system does not let us mount one; skipReason() then says why.
class DiskMount
{
public:
    enum class Kind {
        Ext2,   // the kernel's own, on a loop device
        Exfat,  // exfat-fuse on a loop device: no hard links, no RENAME_NOREPLACE, names without case
        Bindfs, // bindfs over a temporary folder: links work, RENAME_NOREPLACE is refused with EINVAL
        Ntfs,   // ntfs-3g on an image, with windows_names
        Fat,    // fusefat on a FAT32 image: ASCII names only, no 0x7F, names without case
    };
    explicit DiskMount(qint64 sizeBytes = 8 << 20, Kind kind = Kind::Ext2);
    explicit DiskMount(Kind kind) : DiskMount(kind == Kind::Ext2 ? 8 << 20 : 64 << 20, kind) {}
    ~DiskMount();
    DiskMount(const DiskMount&) = delete;
    DiskMount& operator=(const DiskMount&) = delete;
    bool usable() const { return !m_top.isEmpty(); }
    // Why the mount could not be made, for QSKIP; empty when usable.
    QString skipReason() const { return m_skipReason; }
    // The mount point, where its trash folders live; owned by root.
    QByteArray top() const { return m_top; }
    // A folder of ours on it.
    QByteArray path() const { return m_top + "/work"; }
    // Bindfs: where path() lies in the folder it shows, to change it without passing through the mount.
    QByteArray beneath() const;

private:
    bool mount(Kind kind, const QString& image, const QString& point);
    QTemporaryDir m_dir; // holds the image and the mount point
    QByteArray m_top;
    QString m_loopDevice;
    bool m_fuse = false;
    QString m_skipReason;
};

// Skips the test with the reason when the mount could not be made.
#define SKIP_UNLESS_MOUNTED(mount)                                                                           \
    do {                                                                                                     \
        if (!(mount).usable())                                                                               \
            QSKIP(qPrintable((mount).skipReason()));                                                         \
    } while (false)

// A btrfs file system on a loop device with a subvolume, "sub": btrfs gives the files of each subvolume a
// device number other than the mount's. Unusable without root, the kernel's btrfs or mkfs.btrfs
// (btrfs-progs); skipReason() says which.
class BtrfsMount
{
public:
    BtrfsMount();
    ~BtrfsMount();
    BtrfsMount(const BtrfsMount&) = delete;
    BtrfsMount& operator=(const BtrfsMount&) = delete;
    bool usable() const { return !m_top.isEmpty(); }
    QString skipReason() const { return m_reason; }
    QByteArray top() const { return m_top; }
    QByteArray subvolume() const { return m_top + "/sub"; }

private:
    QTemporaryDir m_dir;
    QByteArray m_top;
    QString m_reason;
};

// An overlay whose layers lie on two file systems, as on a live system or in a container: the lower layer on
// a tmpfs of its own, the upper one in the temporary folder. Its folders show the overlay's device number and
// its files that of their layer. Unusable without root or the kernel's overlay; skipReason() says which.
class OverlayMount
{
public:
    OverlayMount();
    ~OverlayMount();
    OverlayMount(const OverlayMount&) = delete;
    OverlayMount& operator=(const OverlayMount&) = delete;
    bool usable() const { return !m_top.isEmpty(); }
    QString skipReason() const { return m_reason; }
    // The merged view's mount point.
    QByteArray top() const { return m_top; }
    // A folder that was in the lower layer before the overlay was mounted.
    QByteArray path() const { return m_top + "/work"; }

private:
    QTemporaryDir m_dir; // the layers and the mount point
    QByteArray m_lower;
    QByteArray m_top;
    QString m_reason;
};

// Why a file system of this type cannot be mounted here, or empty: not root, or not in the kernel.
QString mountUnavailableReason(const QByteArray& fileSystemType);
