// SPDX-License-Identifier: MIT
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
            r.error = trashFolderProblem(trash, "cannot be written", systemErrorText(errno));
            return r;
        }
    }
    r.error =
        trashFolderProblem(trash, "cannot take the file", QStringLiteral("it holds too many of that name"));
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

// Why a rename into the trash failed, naming whichever folder refused it.
QString renameRefusal(int error, const QByteArray& file, const QByteArray& trash)
{
    if (error == EACCES || error == EPERM || error == EROFS) {
        const QByteArray files = trash + "/files";
        if (::faccessat(AT_FDCWD, files.constData(), W_OK | X_OK, AT_EACCESS) != 0)
            return trashFolderProblem(trash, "cannot be written", systemErrorText(error));
        if (::faccessat(AT_FDCWD, parentFolder(file).constData(), W_OK | X_OK, AT_EACCESS) != 0)
            return QStringLiteral("the file's folder does not let it go: ") + systemErrorText(error);
    }
    return QStringLiteral("the file cannot be put in the trash: ") + systemErrorText(error);
}

// placeFile speaks of a move into a target folder; a trash's failure says so in its own words. Its first
// words are matched; any other mention of the target is then read as the trash.
QString inTrashWords(const QString& why, const QByteArray& trash)
{
    struct Rewording
    {
        QLatin1String placed;
        QString trashed;
    };
    const QString folder = QStringLiteral("the trash folder ") + shown(trash);
    const std::array<Rewording, 7> rewordings{{
        {QLatin1String("could not create the copy"), folder + QStringLiteral(" cannot be written")},
        {QLatin1String("could not create the link"), folder + QStringLiteral(" cannot be written")},
        {QLatin1String("could not write the target folder"), folder + QStringLiteral(" cannot be written")},
        {QLatin1String("could not write the copy"),
         QStringLiteral("its copy in ") + folder + QStringLiteral(" cannot be written")},
        {QLatin1String("could not place the copy"),
         QStringLiteral("its copy cannot take its name in ") + folder},
        {QLatin1String("could not move the file"), QStringLiteral("the file cannot be put in the trash")},
        // The copy is taken out of the trash again: nothing stays copied.
        {QLatin1String("copied, but the file could not be deleted"),
         QStringLiteral("the file cannot be deleted")},
    }};
    QString out = why;
    for (const Rewording& r : rewordings)
        if (out.startsWith(r.placed)) {
            out.replace(0, r.placed.size(), r.trashed);
            break;
        }
    return out.replace(QLatin1String("the target folder"), folder);
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
QString copyIntoTrash(const QByteArray& file, const QByteArray& trashed, const QByteArray& trash, int infoFd,
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
        return inTrashWords(placed.error, trash);
    }
    const auto removeCopy = [&] {
        if (fileIdentity(trashed) == placed.target)
            ::unlink(trashed.constData());
        ::unlink(infoPath.constData());
    };
    if (info.valid()) {
        if (QString why = writeInfo(info.release(), recorded, true); !why.isEmpty()) {
            removeCopy();
            return trashFolderProblem(trash, "cannot be written", why);
        }
    }
    // A source that stays takes its copy back out of the trash (removeCopiedSource); its entry goes too.
    const QString kept = removeCopiedSource(file, placed);
    if (kept.isEmpty())
        return {};
    removeCopy();
    return inTrashWords(kept, trash);
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
    QByteArray folder = realFolder(parentFolder(absolute));
    if (folder.isEmpty() && errno == ENAMETOOLONG)
        folder = realDeepFolder(parentFolder(absolute));
    const QByteArray file = folder.isEmpty() ? QByteArray() : joined(folder, name);
    // Beyond PATH_MAX the file is reached through its folder's descriptor, held until the file has moved.
    const ShortPath reach(file);
    const QByteArray& at = reach.path();
    struct stat src;
    if (folder.isEmpty() || reach.errnum() || ::lstat(at.constData(), &src) != 0) {
        const int error = folder.isEmpty() || !reach.errnum() ? errno : reach.errnum();
        r.error = (error == ENOENT || error == ENOTDIR ? QStringLiteral("the file cannot be found: ")
                                                       : QStringLiteral("the file cannot be reached: ")) +
                  systemErrorText(error);
        return r;
    }
    if (S_ISDIR(src.st_mode) || name.isEmpty() || name == "." || name == "..") {
        r.error = QStringLiteral("it is a folder, not a file");
        return r;
    }
    // Found out before anything goes into the trash: a file that cannot be deleted would stay beside its
    // entry there, or be copied and left in two places.
    if (QString refusal = removalRefusal(at); !refusal.isEmpty()) {
        r.error = refusal;
        return r;
    }

    Destination to = chooseTrash(parentFolder(at), file);
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
            r.error = trashFolderProblem(to.trash, "cannot be written", why);
            return r;
        }
        const RenameResult moved = renameNoReplace(at, r.trashedPath);
        // Another mount of the same device (a bind mount) cannot be renamed across: copy instead.
        to.byCopy = !moved.renamed && moved.errnum == EXDEV;
        if (!moved.renamed && !to.byCopy) {
            ::unlink(r.infoPath.constData());
            r.error = renameRefusal(moved.errnum, at, to.trash);
            return r;
        }
        if (to.byCopy && !record(true))
            return r;
    }
    if (to.byCopy) {
        if (QString why = copyIntoTrash(at, r.trashedPath, to.trash, infoFd.release(), r.infoPath,
                                        to.recorded, tempTag, stop);
            !why.isEmpty()) {
            r.error = why;
            return r;
        }
    }
    r.ok = true;
    return r;
}
