// SPDX-License-Identifier: MIT
#include "platform/trash.h"
#include "platform/trashfolders.h"

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
    const QByteArray name = fileNameOf(absolute);
    QByteArray folder = realFolder(parentFolder(absolute));
    if (folder.isEmpty() && errno == ENAMETOOLONG)
        folder = realDeepFolder(parentFolder(absolute));
    const QByteArray file = folder.isEmpty() ? QByteArray() : joinPath(folder, name);
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
    Reserved reserved = reserveName(to.trash, name, file, recording);
    if (reserved.fd < 0) {
        r.error = reserved.error;
        return r;
    }
    UniqueFd infoFd(reserved.fd);
    r.infoPath = to.trash + "/info/" + reserved.name + ".trashinfo";
    r.trashedPath = to.trash + "/files/" + reserved.name;
    // Before a copy, which takes time: what a power loss during it leaves must be recorded.
    const auto syncRecord = [&] {
        QString why;
        if (recording && recording->sync)
            why = recording->sync();
        if (!why.isEmpty()) {
            infoFd.reset();
            ::unlink(r.infoPath.constData());
            r.error = QStringLiteral("the record of the trash run cannot be written: ") + why;
        }
        return why.isEmpty();
    };
    if (to.byCopy && !syncRecord())
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
        if (to.byCopy && !syncRecord())
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
