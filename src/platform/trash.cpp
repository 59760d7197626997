// SPDX-License-Identifier: MIT
#include "platform/trash.h"

#include "platform/filemove.h"

#include <QDateTime>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A trash name plus ".trashinfo" must still fit in one file name.
constexpr qsizetype MaxTrashedName = 255 - 10;

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype at = path.lastIndexOf('/');
    return at <= 0 ? QByteArrayLiteral("/") : path.left(at);
}

QByteArray absolutePath(const QByteArray& path)
{
    if (path.startsWith('/'))
        return path;
    QByteArray cwd(4096, '\0');
    if (!::getcwd(cwd.data(), size_t(cwd.size())))
        return path;
    cwd.truncate(qsizetype(qstrlen(cwd.constData())));
    return cwd + '/' + path;
}

bool makeFolders(const QByteArray& path)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (path != "/" && !makeFolders(parentOf(path)))
        return false;
    return ::mkdir(path.constData(), 0700) == 0 || errno == EEXIST;
}

// A trash folder must be a real folder of ours: never a link that could send files elsewhere.
bool isOwnFolder(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

bool ensureOwnFolder(const QByteArray& path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return isOwnFolder(path);
}

bool prepareTrash(const QByteArray& trash)
{
    return ensureOwnFolder(trash) && ensureOwnFolder(trash + "/files") && ensureOwnFolder(trash + "/info");
}

// The top folder of the mount that holds a file: the last folder upward still on the file's device.
QByteArray mountTop(const QByteArray& absolute, dev_t device)
{
    QByteArray top = parentOf(absolute);
    while (top != "/") {
        const QByteArray up = parentOf(top);
        struct stat st;
        if (::stat(up.constData(), &st) != 0 || st.st_dev != device)
            break;
        top = up;
    }
    return top;
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The administrator's shared .Trash (a sticky folder, not a link) with a folder per user, else .Trash-<uid>.
QByteArray mountTrash(const QByteArray& top)
{
    const QByteArray uid = QByteArray::number(qulonglong(::geteuid()));
    const QByteArray shared = joined(top, ".Trash");
    struct stat st;
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray mine = shared + '/' + uid;
        if (prepareTrash(mine))
            return mine;
    }
    const QByteArray own = joined(top, ".Trash-" + uid);
    return prepareTrash(own) ? own : QByteArray();
}

// Shortens a name to the byte limit without splitting a UTF-8 sequence.
QByteArray fitName(const QByteArray& name, qsizetype limit)
{
    if (name.size() <= limit)
        return name;
    qsizetype cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(name.at(cut)) & 0xC0) == 0x80)
        --cut;
    return name.left(cut);
}

// The device of a path, or of its nearest existing folder upward.
dev_t deviceOf(QByteArray path)
{
    struct stat st;
    while (::stat(path.constData(), &st) != 0) {
        if (path == "/")
            return 0;
        path = parentOf(path);
    }
    return st.st_dev;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

QByteArray homeTrashFolder()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (!data.startsWith('/'))
        data = qgetenv("HOME") + "/.local/share";
    while (data.size() > 1 && data.endsWith('/'))
        data.chop(1);
    return data + "/Trash";
}

TrashResult moveToTrash(const QByteArray& nativePath)
{
    TrashResult r;
    const QByteArray absolute = absolutePath(nativePath);
    struct stat src;
    if (nativePath.isEmpty() || ::lstat(absolute.constData(), &src) != 0) {
        r.error = QStringLiteral("the file cannot be found: ") +
                  systemErrorText(nativePath.isEmpty() ? ENOENT : errno);
        return r;
    }
    if (S_ISDIR(src.st_mode)) {
        r.error = QStringLiteral("it is a folder, not a file");
        return r;
    }

    const QByteArray home = homeTrashFolder();
    const bool homeReady = makeFolders(parentOf(home)) && prepareTrash(home);
    QByteArray trash;
    QByteArray recorded; // the Path= value: absolute in the home trash, relative to the mount's top otherwise
    if (src.st_dev == deviceOf(home)) {
        if (!homeReady) {
            r.error = QStringLiteral("the trash folder cannot be made: ") + systemErrorText(errno);
            return r;
        }
        trash = home;
        recorded = absolute;
    } else {
        const QByteArray top = mountTop(absolute, src.st_dev);
        trash = mountTrash(top);
        recorded = absolute.mid(top == "/" ? 1 : top.size() + 1);
    }
    if (trash.isEmpty()) {
        r.error = QStringLiteral("there is no trash folder on its file system");
        return r;
    }

    QByteArray name = absolute.mid(absolute.lastIndexOf('/') + 1);
    QByteArray chosen;
    int fd = -1;
    for (int n = 1; fd < 0; ++n) {
        if (n > 100000) {
            r.error = QStringLiteral("the trash holds too many files of that name");
            return r;
        }
        const QByteArray suffix = n == 1 ? QByteArray() : '.' + QByteArray::number(n);
        chosen = fitName(name, MaxTrashedName - suffix.size()) + suffix;
        if (entryExists(trash + "/files/" + chosen))
            continue;
        r.infoPath = trash + "/info/" + chosen + ".trashinfo";
        fd = ::open(r.infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            r.error = QStringLiteral("the trash cannot be written: ") + systemErrorText(errno);
            return r;
        }
    }
    const QByteArray info =
        "[Trash Info]\nPath=" + recorded.toPercentEncoding("/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss")).toLatin1() + '\n';
    const bool written = writeAll(fd, info);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        r.error = QStringLiteral("the trash cannot be written: ") + systemErrorText(errno);
        ::unlink(r.infoPath.constData());
        return r;
    }

    r.trashedPath = trash + "/files/" + chosen;
    int moved =
        ::renameat2(AT_FDCWD, absolute.constData(), AT_FDCWD, r.trashedPath.constData(), RENAME_NOREPLACE);
    if (moved != 0 && (errno == EINVAL || errno == ENOSYS))
        moved = ::rename(absolute.constData(), r.trashedPath.constData()); // the name was checked free above
    if (moved != 0) {
        const int error = errno;
        ::unlink(r.infoPath.constData());
        r.error = systemErrorText(error);
        return r;
    }
    r.ok = true;
    return r;
}
