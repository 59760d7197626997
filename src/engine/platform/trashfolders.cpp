// SPDX-License-Identifier: MIT
#include "platform/trashfolders.h"
#include "platform/trash.h"

#include "platform/filemove.h"
#include "platform/mounts.h"
#include "platform/renamefile.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>

#include <array>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

using namespace trashfolders;

namespace {

// A trash name plus ".trashinfo" must still fit in one file name.
constexpr qsizetype MaxTrashedName = 255 - 10;

// Free names are looked for this many times at most, so that a broken trash cannot hold a file up for long.
constexpr int MaxNameAttempts = 100000;

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
// is (made now if missing); else why not, naming the trash.
QString ensureOwnFolder(const QByteArray& trash, const QByteArray& path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return trashFolderProblem(trash, path == trash ? "cannot be made" : "cannot be written",
                                  systemErrorText(errno));
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return trashFolderProblem(path, "cannot be used", systemErrorText(errno));
    if (S_ISLNK(st.st_mode))
        return trashFolderProblem(path, "cannot be used", QStringLiteral("it is a link"));
    if (!S_ISDIR(st.st_mode))
        return trashFolderProblem(path, "cannot be used", QStringLiteral("it is not a folder"));
    if (st.st_uid != ::geteuid())
        return trashFolderProblem(path, "cannot be used", QStringLiteral("it belongs to another user"));
    return {};
}

QString prepareTrash(const QByteArray& trash)
{
    for (const QByteArray& folder : {trash, trash + "/files", trash + "/info"})
        if (QString why = ensureOwnFolder(trash, folder); !why.isEmpty())
            return why;
    return {};
}

// The administrator's shared .Trash (a sticky folder, not a link) with a folder per user, else .Trash-<uid>.
// Empty when the mount's top cannot hold either.
QByteArray mountTrash(const QByteArray& top)
{
    const QByteArray uid = QByteArray::number(qulonglong(::geteuid()));
    const QByteArray shared = joinPath(top, ".Trash");
    struct stat st;
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray mine = joinPath(shared, uid);
        if (prepareTrash(mine).isEmpty())
            return mine;
    }
    const QByteArray own = joinPath(top, ".Trash-" + uid);
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

// The mount of a path, or of its nearest existing folder upward.
MountPlace mountOfNearest(QByteArray path)
{
    while (!existsFollowingLinks(path) && path != "/")
        path = parentFolder(path);
    return mountHolding(path, false);
}

// The user's trash with its own link followed: a user may keep the trash elsewhere through a link named
// Trash. Only a mount's .Trash must not be a link, since whoever can write the mount's top could plant one
// there.
QByteArray followedHomeTrash()
{
    const QByteArray home = homeTrashFolder();
    struct stat st;
    if (::lstat(home.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return home;
    const QByteArray real = realFolder(home);
    return real.isEmpty() ? home : real;
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

} // namespace

namespace trashfolders {

QByteArray absolutePath(const QByteArray& path)
{
    if (path.startsWith('/'))
        return path;
    QByteArray cwd(4096, '\0');
    if (!::getcwd(cwd.data(), size_t(cwd.size())))
        return path;
    cwd.truncate(qsizetype(qstrlen(cwd.constData())));
    return joinPath(cwd, path);
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

// A folder too deep for realpath: its longest leading part that realpath takes, resolved, and the rest as
// spelled, which still leads to the folder through whatever links it holds. Sets errno when it fails.
QByteArray realDeepFolder(const QByteArray& folder)
{
    for (qsizetype cut = folder.lastIndexOf('/', PATH_MAX - 1); cut > 0;
         cut = folder.lastIndexOf('/', cut - 1)) {
        const QByteArray real = realFolder(folder.left(cut));
        if (!real.isEmpty())
            return (real == "/" ? QByteArray() : real) + folder.mid(cut);
        if (errno != ENAMETOOLONG)
            return {};
    }
    errno = ENAMETOOLONG;
    return {};
}

QString shown(const QByteArray& path)
{
    return QString::fromUtf8(path);
}

// Every failure of the trash names the trash folder, so that it never reads like a failure of the file.
QString trashFolderProblem(const QByteArray& trash, const char* what, const QString& why)
{
    return QStringLiteral("the trash folder ") + shown(trash) + QLatin1Char(' ') + QLatin1String(what) +
           QStringLiteral(": ") + why;
}

namespace {

QString unrecorded(const QString& why)
{
    return QStringLiteral("the record of the trash run cannot be written: ") + why;
}

} // namespace

Reserved reserveName(const QByteArray& trash, const QByteArray& name, const QByteArray& file,
                     const TrashRecording* recording)
{
    Reserved r;
    const QByteArray infoFolder = trash + "/info/";
    const QByteArray tag = recording ? recording->tempTag : QByteArray();
    if (recording && recording->useFolder) {
        if (QString why = recording->useFolder(trash + "/info"); !why.isEmpty()) {
            r.error = unrecorded(why);
            return r;
        }
    }
    QByteArray temp = infoFolder + ".lentrova-info-" + tag + "-XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.valid()) {
        r.error = trashFolderProblem(trash, "cannot be written", systemErrorText(errno));
        return r;
    }
    const auto fail = [&](QString error) {
        ::unlink(temp.constData());
        r.error = std::move(error);
        return r;
    };
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return fail(trashFolderProblem(trash, "cannot be written", systemErrorText(errno)));
    const FileIdentity entry{quint64(st.st_dev), quint64(st.st_ino), true};
    const QByteArray key = trash + '\0' + name;
    const int start = nextNumbers().first(key);
    for (int n = start; n < start + MaxNameAttempts; ++n) {
        const QByteArray suffix = n == 1 ? QByteArray() : '.' + QByteArray::number(n);
        const QByteArray chosen = fitName(name, MaxTrashedName - suffix.size()) + suffix;
        if (existsWithoutFollowing(trash + "/files/" + chosen))
            continue;
        const QByteArray info = infoFolder + chosen + ".trashinfo";
        if (recording && recording->claim) {
            if (QString why = recording->claim(file, trash + "/files/" + chosen, info, entry); !why.isEmpty())
                return fail(unrecorded(why));
        }
        const RenameResult claimed = renameNoReplace(temp, info);
        if (claimed.renamed) {
            if (n > 1)
                nextNumbers().taken(key, n);
            r.name = chosen;
            r.fd = fd.release();
            return r;
        }
        if (!claimed.nameTaken)
            return fail(trashFolderProblem(trash, "cannot be written", claimed.error));
    }
    return fail(
        trashFolderProblem(trash, "cannot take the file", QStringLiteral("it holds too many of that name")));
}

// The folder is resolved, or spelled through its descriptor where its path is too long to name; file is the
// whole path. The home trash takes files of its own mount; a file elsewhere goes to the trash at the top of
// its mount, found by the mount's id: overlay and btrfs subvolumes give files device numbers that differ from
// their mount's, and a trash made where the device number changes is one no desktop looks into.
Destination chooseTrash(const QByteArray& folder, const QByteArray& file)
{
    Destination d;
    const QByteArray home = followedHomeTrash();
    // Made before anything else can touch errno, so that a failure names its own reason.
    QString homeProblem;
    if (const int error = makeFolders(parentFolder(home)))
        homeProblem = trashFolderProblem(home, "cannot be made", systemErrorText(error));
    else
        homeProblem = prepareTrash(home);

    const MountPlace homeMount = mountOfNearest(home);
    const MountPlace fileMount = mountHolding(folder, false);
    // A mount that cannot be told goes to the home trash: renamed there if it can be, else copied.
    if (fileMount.known && homeMount.known && !fileMount.sameMount(homeMount)) {
        const MountPlace mount = mountHolding(folder);
        const bool below = mount.top == "/" || file.startsWith(mount.top + '/');
        if (mount.known && below && !isVolatileFileSystem(folder)) {
            d.trash = mountTrash(mount.top);
            if (!d.trash.isEmpty()) {
                d.recorded = file.mid(mount.top == "/" ? 1 : mount.top.size() + 1);
                return d;
            }
        }
        // A trash on the file's own file system would vanish or cannot be made: the home trash keeps it, as
        // a durable copy.
        d.byCopy = true;
    }
    if (!homeProblem.isEmpty()) {
        d.error = homeProblem;
        return d;
    }
    d.trash = home;
    d.recorded = file;
    return d;
}

} // namespace trashfolders

QByteArray homeTrashFolder()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (!data.startsWith('/'))
        data = qgetenv("HOME") + "/.local/share";
    while (data.size() > 1 && data.endsWith('/'))
        data.chop(1);
    return data + "/Trash";
}
