// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QTemporaryDir>

// A small ext2 file system of our own on a loop device: another file system that keeps its files across a
// restart, as a disk or a stick does (a tmpfs does not). Unusable where the system does not let us mount one.
class DiskMount
{
public:
    explicit DiskMount(qint64 sizeBytes = 8 << 20);
    ~DiskMount();
    DiskMount(const DiskMount&) = delete;
    DiskMount& operator=(const DiskMount&) = delete;
    bool usable() const { return !m_top.isEmpty(); }
    // The mount point, where its trash folders live; owned by root, mode 0755.
    QByteArray top() const { return m_top; }
    // A folder of ours on it.
    QByteArray path() const { return m_top + "/work"; }

private:
    QTemporaryDir m_dir; // holds the image and the mount point
    QByteArray m_top;
};
