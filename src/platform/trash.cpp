// SPDX-License-Identifier: MIT
#include "platform/trash.h"

#include "platform/filemove.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

// A trash name plus ".trashinfo" must still fit in one file name.
constexpr qsizetype MaxTrashedName = 255 - 10;
// Free names are looked for this many times at most, so that a broken trash cannot hold a file up for long.
constexpr int MaxNameAttempts = 100000;

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray absolutePath(const QByteArray& path)
{
    if (path.startsWith('/'))
        return path;
    QByteArray cwd(4096, '\0');
    if (!::getcwd(cwd.data(), size_t(cwd.size())))
        return path;
    cwd.truncate(qsizetype(qstrlen(cwd.constData())));
    return joined(cwd, path);
}

// The folder with every link and "." or ".." resolved, so that the mount and the recorded path are those of
// the folder itself, however it was spelled. Sets errno when it fails.
QByteArray realFolder(const QByteArray& folder)
{
    char* resolved = ::realpath(folder.constData(), nullptr);
    if (!resolved)
        return {};
    QByteArray real(resolved);
    std::free(resolved);
    return real;
}

// 0 when the folder exists or was made with every missing folder above it; else the errno that stopped it.
int makeFolders(const QByteArray& path)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    if (path != "/")
        if (const int error = makeFolders(parentFolder(path)))
            return error;
    return ::mkdir(path.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

// A trash folder must be a real folder of ours: never a link that could send files elsewhere. Empty when it
// is (made now if missing); else why not.
QString ensureOwnFolder(const QByteArray& path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return systemErrorText(errno);
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return systemErrorText(errno);
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("it is a link");
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("it is not a folder");
    if (st.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user");
    return {};
}

QString prepareTrash(const QByteArray& trash)
{
    for (const QByteArray& folder : {trash, trash + "/files", trash + "/info"})
        if (QString why = ensureOwnFolder(folder); !why.isEmpty())
            return why;
    return {};
}

// The top folder of the mount that holds a folder: the last folder upward still on the device. The folder
// must be resolved, or a link in its path would end the walk at the link.
QByteArray mountTop(const QByteArray& resolvedFolder, dev_t device)
{
    QByteArray top = resolvedFolder;
    while (top != "/") {
        const QByteArray up = parentFolder(top);
        struct stat st;
        if (::stat(up.constData(), &st) != 0 || st.st_dev != device)
            break;
        top = up;
    }
    return top;
}

// The administrator's shared .Trash (a sticky folder, not a link) with a folder per user, else .Trash-<uid>.
// Empty when the mount's top cannot hold either.
QByteArray mountTrash(const QByteArray& top)
{
    const QByteArray uid = QByteArray::number(qulonglong(::geteuid()));
    const QByteArray shared = joined(top, ".Trash");
    struct stat st;
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray mine = shared + '/' + uid;
        if (prepareTrash(mine).isEmpty())
            return mine;
    }
    const QByteArray own = joined(top, ".Trash-" + uid);
    return prepareTrash(own).isEmpty() ? own : QByteArray();
}

// Files there are gone at the next start, and so would be a trash kept beside them.
bool isVolatileFileSystem(const QByteArray& folder)
{
    struct statfs fs;
    if (::statfs(folder.constData(), &fs) != 0)
        return false;
    return fs.f_type == TMPFS_MAGIC || fs.f_type == static_cast<decltype(fs.f_type)>(RAMFS_MAGIC);
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
        path = parentFolder(path);
    }
    return st.st_dev;
}

// For each trash folder and name that was already taken there, the number this process tries first next
// time. Without it the thousandth "Thumbs.db" would try every taken number from 2 again. Another program may
// take numbers meanwhile: the exclusive create of the .trashinfo still decides.
class NextNumbers
{
public:
    int first(const QByteArray& key)
    {
        QMutexLocker lock(&m_mutex);
        return m_next.value(key, 1);
    }
    void taken(const QByteArray& key, int number)
    {
        QMutexLocker lock(&m_mutex);
        int& next = m_next[key];
        next = std::max(next, number + 1);
    }

private:
    QMutex m_mutex;
    QHash<QByteArray, int> m_next;
};

NextNumbers& nextNumbers()
{
    static NextNumbers numbers;
    return numbers;
}

struct Reserved
{
    QByteArray name; // the name in files/ and, with ".trashinfo", in info/
    int fd = -1;     // the .trashinfo, created exclusively
    QString error;
};

// Claims a free name in the trash by creating its .trashinfo exclusively, as every trash user must.
Reserved reserveName(const QByteArray& trash, const QByteArray& name)
{
    Reserved r;
    const QByteArray key = trash + '\0' + name;
    const int start = nextNumbers().first(key);
    for (int n = start; n < start + MaxNameAttempts; ++n) {
        const QByteArray suffix = n == 1 ? QByteArray() : '.' + QByteArray::number(n);
        const QByteArray chosen = fitName(name, MaxTrashedName - suffix.size()) + suffix;
        if (existsWithoutFollowing(trash + "/files/" + chosen))
            continue;
        const QByteArray info = trash + "/info/" + chosen + ".trashinfo";
        r.fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (r.fd >= 0) {
            if (n > 1)
                nextNumbers().taken(key, n);
            r.name = chosen;
            return r;
        }
        if (errno != EEXIST) {
            r.error = QStringLiteral("the trash cannot be written: ") + systemErrorText(errno);
            return r;
        }
    }
    r.error = QStringLiteral("the trash holds too many files of that name");
    return r;
}

// Where a file goes: the trash folder, the Path= value, and whether it must be copied there.
struct Destination
{
    QByteArray trash;
    QByteArray recorded; // absolute in the home trash, relative to the mount's top in a mount's trash
    bool byCopy = false;
    QString error;
};

Destination chooseTrash(const QByteArray& folder, const QByteArray& file, dev_t device)
{
    Destination d;
    const QByteArray home = homeTrashFolder();
    // Made before anything else can touch errno, so that a failure names its own reason.
    QString homeProblem;
    if (const int error = makeFolders(parentFolder(home)))
        homeProblem = systemErrorText(error);
    else
        homeProblem = prepareTrash(home);

    if (device != deviceOf(home)) {
        if (!isVolatileFileSystem(folder)) {
            const QByteArray top = mountTop(folder, device);
            d.trash = mountTrash(top);
            if (!d.trash.isEmpty()) {
                d.recorded = file.mid(top == "/" ? 1 : top.size() + 1);
                return d;
            }
        }
        // A trash on the file's own file system would vanish or cannot be made: the home trash keeps it, as
        // a durable copy.
        d.byCopy = true;
    }
    if (!homeProblem.isEmpty()) {
        d.error = QStringLiteral("the trash folder cannot be made: ") + homeProblem;
        return d;
    }
    d.trash = home;
    d.recorded = file;
    return d;
}

// Gives a claimed entry its text and makes it durable; closes fd. Empty when done.
QString writeInfo(int fd, const QByteArray& recorded, bool durable)
{
    const QByteArray info =
        "[Trash Info]\nPath=" + recorded.toPercentEncoding("/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss")).toLatin1() + '\n';
    QString why = writeAllAt(fd, info.constData(), info.size(), 0);
    if (why.isEmpty() && durable && ::fsync(fd) != 0)
        why = systemErrorText(errno);
    if (::close(fd) != 0 && why.isEmpty())
        why = systemErrorText(errno);
    return why;
}

// Copies the file into the trash, durably, writes its entry and only then removes the original; empty when
// done. On failure the original stays and nothing of it is left in the trash. Closes infoFd.
QString copyIntoTrash(const QByteArray& file, const QByteArray& trashed, int infoFd,
                      const QByteArray& infoPath, const QByteArray& recorded, const QByteArray& tempTag,
                      const std::atomic<bool>* stop)
{
    UniqueFd info(infoFd);
    PlaceOptions byCopy;
    byCopy.allowRename = false;
    byCopy.tempTag = tempTag;
    const PlaceResult placed = placeFile(file, trashed, byCopy, stop);
    if (!placed.placed) {
        ::unlink(infoPath.constData());
        return placed.error;
    }
    const auto removeCopy = [&] {
        if (fileIdentity(trashed) == placed.target)
            ::unlink(trashed.constData());
        ::unlink(infoPath.constData());
    };
    if (info.valid()) {
        if (QString why = writeInfo(info.release(), recorded, true); !why.isEmpty()) {
            removeCopy();
            return QStringLiteral("the trash cannot be written: ") + why;
        }
    }
    const QString kept = removeCopiedSource(file, placed);
    if (kept.isEmpty() || !existsWithoutFollowing(file))
        return {};
    removeCopy();
    return kept;
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
    return moveToTrash(nativePath, nullptr);
}

TrashResult moveToTrash(const QByteArray& nativePath, const std::atomic<bool>* stop)
{
    return moveToTrash(nativePath, stop, nullptr);
}

TrashResult moveToTrash(const QByteArray& nativePath, const std::atomic<bool>* stop,
                        const TrashRecording* recording)
{
    TrashResult r;
    if (nativePath.isEmpty()) {
        r.error = QStringLiteral("the file cannot be found: ") + systemErrorText(ENOENT);
        return r;
    }
    const QByteArray absolute = absolutePath(nativePath);
    const QByteArray name = absolute.mid(absolute.lastIndexOf('/') + 1);
    const QByteArray folder = realFolder(parentFolder(absolute));
    struct stat src;
    if (folder.isEmpty() || ::lstat(joined(folder, name).constData(), &src) != 0) {
        const int error = errno;
        r.error = QStringLiteral("the file cannot be found: ") + systemErrorText(error);
        return r;
    }
    if (S_ISDIR(src.st_mode) || name.isEmpty() || name == "." || name == "..") {
        r.error = QStringLiteral("it is a folder, not a file");
        return r;
    }
    const QByteArray file = joined(folder, name);

    Destination to = chooseTrash(folder, file, src.st_dev);
    if (!to.error.isEmpty()) {
        r.error = to.error;
        return r;
    }
    Reserved reserved = reserveName(to.trash, name);
    if (reserved.fd < 0) {
        r.error = reserved.error;
        return r;
    }
    UniqueFd infoFd(reserved.fd);
    r.infoPath = to.trash + "/info/" + reserved.name + ".trashinfo";
    r.trashedPath = to.trash + "/files/" + reserved.name;
    const auto record = [&](bool durable) {
        QString why;
        if (recording && recording->record)
            why = recording->record(file, r.trashedPath, r.infoPath, durable);
        if (!why.isEmpty()) {
            infoFd.reset();
            ::unlink(r.infoPath.constData());
            r.error = QStringLiteral("the record of the trash run cannot be written: ") + why;
        }
        return why.isEmpty();
    };
    if (!record(to.byCopy))
        return r;
    const QByteArray tempTag = recording ? recording->tempTag : QByteArray();
    if (!to.byCopy) {
        // A rename takes no time: the entry comes first, as the trash's readers expect.
        if (QString why = writeInfo(infoFd.release(), to.recorded, false); !why.isEmpty()) {
            ::unlink(r.infoPath.constData());
            r.error = QStringLiteral("the trash cannot be written: ") + why;
            return r;
        }
        int moved =
            ::renameat2(AT_FDCWD, file.constData(), AT_FDCWD, r.trashedPath.constData(), RENAME_NOREPLACE);
        if (moved != 0 && (errno == EINVAL || errno == ENOSYS))
            moved = ::rename(file.constData(), r.trashedPath.constData()); // the name was checked free above
        // Another mount of the same device (a bind mount) cannot be renamed across: copy instead.
        to.byCopy = moved != 0 && errno == EXDEV;
        if (moved != 0 && !to.byCopy) {
            const int error = errno;
            ::unlink(r.infoPath.constData());
            r.error = systemErrorText(error);
            return r;
        }
        if (to.byCopy && !record(true))
            return r;
    }
    if (to.byCopy) {
        if (QString why =
                copyIntoTrash(file, r.trashedPath, infoFd.release(), r.infoPath, to.recorded, tempTag, stop);
            !why.isEmpty()) {
            r.error = why;
            return r;
        }
    }
    r.ok = true;
    return r;
}
