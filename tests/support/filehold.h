// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Keeps a file from being deleted for the test's life, as the system can: the immutable or append-only inode
// flag (chattr +i, +a) on the file or on its folder, or another file bind-mounted over it. Let go when it
// goes.
class FileHold
{
public:
    enum class Kind { Immutable, AppendOnly, FolderImmutable, FolderAppendOnly, MountedOver };
    FileHold(const QByteArray& file, Kind kind);
    ~FileHold();
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;
    // Why the hold could not be taken here, for QSKIP; empty when it holds.
    QString skipReason() const { return m_skipReason; }
    void release();

private:
    QByteArray m_held; // the file or folder whose flags were set, or the mount point
    int m_flag = 0;
    bool m_mounted = false;
    QTemporaryDir m_dir; // holds the file mounted over
    QString m_skipReason;
};
