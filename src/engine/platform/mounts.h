// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// One line of a mount table (/proc/self/mountinfo), its paths with their octal escapes decoded.
struct MountTableEntry
{
    quint64 id = 0;
    quint64 parentId = 0;
    QByteArray device; // "major:minor"
    QByteArray root;   // the part of the file system shown, as a path inside it
    QByteArray point;  // where it is shown
    QByteArray type;   // "ext4", "fuseblk", "fuse.bindfs", ...
    QByteArray source; // the device, image or share it comes from, as the file system names it
};

// The mounts of mountinfo text, in its order: a mount stacked on another comes after it.
std::vector<MountTableEntry> parseMountTable(QByteArrayView text);
// This process's mounts; none when the table cannot be read.
std::vector<MountTableEntry> readMountTable();

// Whether path is point or lies below it, whole names compared.
bool mountPointLeadsTo(QByteArrayView point, QByteArrayView path);

// One mount of this process's mount table. Overlay gives the files of each layer, and btrfs each subvolume, a
// device number of their own, so st_dev does not tell which mount holds a file: the mount id does.
struct MountPlace
{
    quint64 id = 0;
    QByteArray top; // the mount point, resolved, as /proc/self/mountinfo lists it
    QByteArray type;
    QByteArray source;
    bool known = false;
    bool sameMount(const MountPlace& other) const { return known && other.known && id == other.id; }
};

// The mount that holds a path, links followed (the path must exist). withTop false spares the reading of the
// mount table where only the id is wanted; the id then comes from statx (Linux 5.8 and later) alone, and
// from the table where the system has no mount ids.
MountPlace mountHolding(const QByteArray& path, bool withTop = true);

// The same from the mount table alone, as on systems without mount ids: the mount whose point is the longest
// leading part of the resolved path, the one mounted last where several share that point.
MountPlace mountHoldingByPath(const QByteArray& resolvedPath);
