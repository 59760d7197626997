// SPDX-License-Identifier: MIT
#pragma once

#include "platform/nativepath.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// The POSIX file toolkit under the platform layer: one owned descriptor, one errno text, one parent-folder
// rule, one write loop, existence tests that say whether they follow links. Failures come back as results
// that carry the system's text; nothing here throws.

// The system's text for an errno value, e.g. "Permission denied"; thread-safe.
QString systemErrorText(int error);

// An owned descriptor, closed when it goes.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset();

private:
    int m_fd = -1;
};

// A descriptor just opened, or why not: the errno (callers decide by it) and its text.
struct OpenResult
{
    UniqueFd fd;
    int errnum = 0;
    QString error() const { return errnum ? systemErrorText(errnum) : QString(); }
};

// A file's whole content, or why it could not be read.
struct ReadResult
{
    QByteArray bytes;
    QString error; // empty when read
};

// Writes every byte at offset on, going on after interruptions; empty when done, else the system's text.
QString writeAllAt(int fd, const char* data, qint64 size, qint64 offset);

// True when a file system entry is at the path itself: a dangling link counts.
bool existsWithoutFollowing(const QByteArray& nativePath);

// A spelling of a path that the system takes however long the path is: where the path is longer than
// PATH_MAX, its folder is held open and named through /proc/self/fd. Valid while this lives.
class ShortPath
{
public:
    explicit ShortPath(const QByteArray& nativePath);
    const QByteArray& path() const { return m_path; }
    // Why the folder could not be opened (the path is then left as it was); 0 when it is usable.
    int errnum() const { return m_errnum; }
    bool holdsFolder() const { return m_folder.valid(); }

private:
    UniqueFd m_folder;
    QByteArray m_path;
    int m_errnum = 0;
};

// Whether an entry is at a path itself (a dangling link counts). Only ENOENT and ENOTDIR mean it is gone; any
// other failure (a folder on the way without search permission, a dead share) leaves it unknown, with the
// reason. Paths longer than PATH_MAX are looked at through their folders' descriptors.
struct Presence
{
    enum State { Present, Gone, Unknown };
    State state = Unknown;
    int errnum = 0; // why it is unknown
    QString error() const { return errnum ? systemErrorText(errnum) : QString(); }
};
Presence presenceWithoutFollowing(const QByteArray& nativePath);

// The folder that holds a path, opened (O_PATH) by walking down its folders in pieces the system accepts, so
// that a path longer than PATH_MAX can still be reached; name gets the last part. Links on the way are
// followed, as a path lookup would.
OpenResult openParentOf(const QByteArray& nativePath, QByteArray* name);
// True when the path leads to something, links followed: a dangling link does not count.
bool existsFollowingLinks(const QByteArray& nativePath);
// True when the path leads to a regular file, links followed.
bool isFileFollowingLinks(const QByteArray& nativePath);
// True when the open descriptor is on another file system than device.
bool onOtherDevice(int fd, dev_t device);
// How many blocks the calling thread has had to read from storage so far; 0 where the system does not say.
qint64 threadBlockReads();
