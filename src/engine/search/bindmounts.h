// SPDX-License-Identifier: MIT
#pragma once

#include "platform/mounts.h"

#include <string>
#include <string_view>
#include <vector>

// Whether a walk can meet one folder twice. Without folder links that takes one file system shown at two
// places within reach (a bind mount) with overlapping parts; where none is, the walk need not ask each folder
// its device and inode.

// True when two of the mounts that show folders at or below realRoot (a path with no links in it) show
// overlapping parts of one file system, or when the table does not show the mount that holds realRoot.
bool mountsOverlapBelow(const std::vector<MountTableEntry>& mounts, std::string_view realRoot);

// The same for the folder open at rootFd, read from this process's mount table; true when that cannot be
// read, so that the walk then asks every folder.
bool foldersMayRepeat(int rootFd);
