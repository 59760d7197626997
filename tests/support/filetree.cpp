// SPDX-License-Identifier: MIT
#include "support/filetree.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileTree {

bool write(const QByteArray& path, const QByteArray& content, mode_t mode)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::fchmod(fd, mode) == 0 && ::close(fd) == 0 && ok;
}

QByteArray read(const QByteArray& path)
{
    QByteArray out;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return out;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    ::close(fd);
    return out;
}

bool exists(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

struct stat statOf(const QByteArray& path)
{
    struct stat st = {};
    ::lstat(path.constData(), &st);
    return st;
}

bool setModified(const QByteArray& path, qint64 seconds, long nanoseconds)
{
    const struct timespec times[2] = {{time_t(seconds), nanoseconds}, {time_t(seconds), nanoseconds}};
    return ::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool makeFolder(const QByteArray& path, mode_t mode)
{
    return ::mkdir(path.constData(), mode) == 0;
}

QList<QByteArray> list(const QByteArray& folder)
{
    QList<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray native(const QTemporaryDir& dir)
{
    return QFile::encodeName(dir.path());
}

dev_t deviceOf(const QByteArray& path)
{
    return statOf(path).st_dev;
}

namespace {
// Names in the folder open at fd, "." and ".." left out, each with whether it is a folder (links are not).
std::vector<std::pair<std::string, bool>> entriesAt(int fd)
{
    std::vector<std::pair<std::string, bool>> out;
    const int listed = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!dir) {
        if (listed >= 0)
            ::close(listed);
        return out;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st;
        out.emplace_back(name,
                         ::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode));
    }
    ::closedir(dir);
    return out;
}
} // namespace

// One descriptor at a time, down by name and back up by "..": a chain deeper than the longest path, or
// than the descriptors a process may hold, goes too.
bool removeTree(const QByteArray& path)
{
    int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return ::unlink(path.constData()) == 0;
    std::vector<std::string> down;
    bool ok = true;
    for (;;) {
        bool descended = false;
        for (const auto& [name, folder] : entriesAt(fd)) {
            if (!folder) {
                ok = ::unlinkat(fd, name.c_str(), 0) == 0 && ok;
                continue;
            }
            if (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0)
                continue;
            const int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) {
                ok = false;
                continue;
            }
            ::close(fd);
            fd = sub;
            down.push_back(name);
            descended = true;
            break;
        }
        if (descended)
            continue;
        if (down.empty())
            break;
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (up < 0)
            return false;
        fd = up;
        // A folder that cannot go would be entered again and again: stop there.
        if (::unlinkat(fd, down.back().c_str(), AT_REMOVEDIR) != 0) {
            ::close(fd);
            return false;
        }
        down.pop_back();
    }
    ::close(fd);
    return ::rmdir(path.constData()) == 0 && ok;
}

} // namespace FileTree

ScratchDir::ScratchDir(const QByteArray& parent)
{
    QByteArray pattern =
        (parent.isEmpty() ? QFile::encodeName(QDir::tempPath()) : parent) + "/lentrova-test-XXXXXX";
    if (::mkdtemp(pattern.data()))
        m_path = pattern;
}

ScratchDir::~ScratchDir()
{
    if (!m_path.isEmpty())
        FileTree::removeTree(m_path);
}

QString ScratchDir::qpath() const
{
    return QFile::decodeName(m_path);
}

OtherMount::OtherMount(qint64 sizeBytes, bool allowShared)
{
    const QByteArray point = FileTree::native(m_mountPoint);
    if (::geteuid() == 0 &&
        QProcess::execute(QStringLiteral("mount"),
                          {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                           QStringLiteral("size=%1").arg(sizeBytes), QStringLiteral("tmpfs"),
                           m_mountPoint.path()}) == 0 &&
        FileTree::deviceOf(point) != FileTree::deviceOf(QFile::encodeName(QDir::tempPath()))) {
        m_mounted = true;
        m_top = point;
        m_path = point + "/work";
        FileTree::makeFolder(m_path);
        return;
    }
    // /dev/shm is shared: work in a private folder there and leave only what we made.
    if (allowShared && FileTree::exists("/dev/shm") &&
        FileTree::deviceOf("/dev/shm") != FileTree::deviceOf(QFile::encodeName(QDir::tempPath()))) {
        const QByteArray trash = "/dev/shm/.Trash-" + QByteArray::number(::geteuid());
        m_sharedTrashCreated = !FileTree::exists(trash);
        char pattern[] = "/dev/shm/lentrova-test-XXXXXX";
        if (::mkdtemp(pattern)) {
            m_path = pattern;
            m_top = "/dev/shm";
        }
    }
}

OtherMount::~OtherMount()
{
    if (m_mounted) {
        QProcess::execute(QStringLiteral("umount"), {m_mountPoint.path()});
        return;
    }
    if (m_path.isEmpty())
        return;
    FileTree::removeTree(m_path);
    // Trash entries that point into our folder are ours to remove, and the trash itself if we made it.
    const QByteArray trash = m_top + "/.Trash-" + QByteArray::number(::geteuid());
    const QByteArray prefix = "Path=" + m_path.mid(m_top.size() + 1).toPercentEncoding("/") + '/';
    for (const QByteArray& info : FileTree::list(trash + "/info")) {
        if (!FileTree::read(trash + "/info/" + info).contains(prefix))
            continue;
        const QByteArray name = info.chopped(int(qstrlen(".trashinfo")));
        ::unlink((trash + "/files/" + name).constData());
        ::unlink((trash + "/info/" + info).constData());
    }
    if (m_sharedTrashCreated) {
        ::rmdir((trash + "/files").constData());
        ::rmdir((trash + "/info").constData());
        ::rmdir(trash.constData());
    }
}

namespace {
const QByteArray deepName(200, 'd');
const QByteArray deepFileName = "deep.txt";
} // namespace

DeepFile::DeepFile(const QByteArray& under, const QByteArray& content)
{
    int at = ::open(under.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (at < 0)
        return;
    m_folders.push_back(at);
    m_path = under;
    while (m_path.size() <= PATH_MAX + 100) {
        const int parent = m_folders.back();
        if (::mkdirat(parent, deepName.constData(), 0755) != 0)
            break;
        const int next = ::openat(parent, deepName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (next < 0)
            break;
        m_folders.push_back(next);
        m_path += '/' + deepName;
    }
    const int fd =
        ::openat(m_folders.back(), deepFileName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (m_path.size() <= PATH_MAX || fd < 0 ||
        ::write(fd, content.constData(), size_t(content.size())) != content.size()) {
        if (fd >= 0)
            ::close(fd);
        m_path.clear();
        return;
    }
    ::close(fd);
    m_path += '/' + deepFileName;
}

DeepFile::~DeepFile()
{
    if (!m_folders.empty())
        ::unlinkat(m_folders.back(), deepFileName.constData(), 0);
    for (std::size_t i = m_folders.size(); i-- > 0;) {
        if (i + 1 < m_folders.size())
            ::unlinkat(m_folders[i], deepName.constData(), AT_REMOVEDIR);
        ::close(m_folders[i]);
    }
}

bool DeepFile::exists() const
{
    struct stat st;
    return !m_folders.empty() &&
           ::fstatat(m_folders.back(), deepFileName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

QByteArray DeepFile::read() const
{
    if (m_folders.empty())
        return {};
    const int fd = ::openat(m_folders.back(), deepFileName.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray bytes(4096, '\0');
    const ssize_t n = ::read(fd, bytes.data(), size_t(bytes.size()));
    ::close(fd);
    bytes.truncate(n > 0 ? n : 0);
    return bytes;
}
