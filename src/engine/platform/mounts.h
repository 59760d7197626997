// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

// One mount of this process's mount table. Overlay gives the files of each layer, and btrfs each subvolume, a
// device number of their own, so st_dev does not tell which mount holds a file: the mount id does.
struct MountPlace
{
    quint64 id = 0;
    QByteArray top; // the mount point, resolved, as /proc/self/mountinfo lists it
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
