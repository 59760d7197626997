// SPDX-License-Identifier: MIT
#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include <sys/types.h>

// For each device met during one walk, asked once each of its file system:
// - whether it is trusted: whether the file system changes a folder's times whenever a name in it is added,
//   removed or renamed, so that a listing kept from before can stand for the folder while its times stay.
//   The kernel's own file systems of Linux disks and shares do; of those through FUSE, measured here, bindfs
//   and ntfs-3g do, exfat-fuse and fusefat do not. Anything not known to is listed every time. A device that
//   comes without a folder open on it is not trusted until one is.
// - whether it asks per name: each step of a path costs a request (a share, FUSE), so a folder is better
// asked
//   by name from a handle on its parent than by its path, which on a disk costs less than the handle.
class ListingTrust
{
public:
    bool trusts(dev_t device, int folderFdOnIt);
    // For a device trusts met with a folder; false for one not met.
    bool asksPerName(dev_t device);

private:
    struct Known
    {
        dev_t device;
        bool trusted;
        bool perName;
    };
    std::mutex m_mutex;
    std::vector<Known> m_known;
};
