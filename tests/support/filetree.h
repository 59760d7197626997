// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QTemporaryDir>

#include <vector>

#include <sys/stat.h>

// Real files on byte paths, for tests that must reach names which are not valid UTF-8.
namespace FileTree {

bool write(const QByteArray& path, const QByteArray& content, mode_t mode = 0644);
QByteArray read(const QByteArray& path);
bool exists(const QByteArray& path);
struct stat statOf(const QByteArray& path);
bool setModified(const QByteArray& path, qint64 seconds, long nanoseconds);
bool makeFolder(const QByteArray& path, mode_t mode = 0755);
// Names in a folder, sorted, "." and ".." left out.
QList<QByteArray> list(const QByteArray& folder);
QByteArray native(const QTemporaryDir& dir);
dev_t deviceOf(const QByteArray& path);
// Removes a tree by its bytes (Qt cannot remove names that are not valid UTF-8), read-only parts included.
bool removeTree(const QByteArray& path);

} // namespace FileTree

// A temporary folder removed by its bytes, whatever names it ends up holding.
class ScratchDir
{
public:
    explicit ScratchDir(const QByteArray& parent = QByteArray());
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    QByteArray path() const { return m_path; }
    QString qpath() const;

private:
    QByteArray m_path;
};

// A file below so many folders that its path is longer than PATH_MAX, so that only descriptors reach it: made
// and removed through a chain of open folders.
class DeepFile
{
public:
    DeepFile(const QByteArray& under, const QByteArray& content);
    ~DeepFile();
    DeepFile(const DeepFile&) = delete;
    DeepFile& operator=(const DeepFile&) = delete;
    bool usable() const { return !m_folders.empty(); }
    QByteArray path() const { return m_path; }
    // Whether the file is still at its path; its content when it is.
    bool exists() const;
    QByteArray read() const;

private:
    std::vector<int> m_folders; // each opened from the one before, the deepest last
    QByteArray m_path;
};

// A folder on another file system than the temporary folder: a small tmpfs of its own where the system lets
// us mount one, else a private folder under /dev/shm when that is another file system; else unusable.
class OtherMount
{
public:
    explicit OtherMount(qint64 sizeBytes = 8 << 20, bool allowShared = true);
    ~OtherMount();
    bool usable() const { return !m_path.isEmpty(); }
    bool ownMount() const { return m_mounted; }
    // A folder of ours on that file system.
    QByteArray path() const { return m_path; }
    // The top of the mount, where its trash folders live.
    QByteArray top() const { return m_top; }

private:
    QTemporaryDir m_mountPoint;
    QByteArray m_path;
    QByteArray m_top;
    bool m_mounted = false;
    bool m_sharedTrashCreated = false;
};
