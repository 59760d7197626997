// SPDX-License-Identifier: MIT
#include "fileops/transferjournal.h"

#include "fileops/failurelist.h"
#include "platform/nativepath.h"
#include "platform/posixfile.h"
#include "platform/renamefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>
#include <random>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 CompareChunk = qint64(1) << 20;

FileIdentity identityFromText(const QByteArray& text)
{
    const qsizetype colon = text.indexOf(':');
    if (colon < 0)
        return {};
    bool okDevice = false;
    bool okInode = false;
    const FileIdentity id{text.left(colon).toULongLong(&okDevice), text.mid(colon + 1).toULongLong(&okInode),
                          true};
    return okDevice && okInode ? id : FileIdentity();
}

// Whether two paths hold the same file content: both regular files of one size and modification time
// (a copy keeps the time) and equal bytes, or both links to the same text.
bool sameContent(const QByteArray& a, const QByteArray& b)
{
    struct stat sa;
    struct stat sb;
    if (::lstat(a.constData(), &sa) != 0 || ::lstat(b.constData(), &sb) != 0)
        return false;
    if (S_ISLNK(sa.st_mode) && S_ISLNK(sb.st_mode)) {
        char la[4096];
        char lb[4096];
        const ssize_t na = ::readlink(a.constData(), la, sizeof la);
        const ssize_t nb = ::readlink(b.constData(), lb, sizeof lb);
        return na >= 0 && na == nb && std::equal(la, la + na, lb);
    }
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size ||
        sa.st_mtim.tv_sec != sb.st_mtim.tv_sec || sa.st_mtim.tv_nsec != sb.st_mtim.tv_nsec)
        return false;
    const UniqueFd fa(::open(a.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    const UniqueFd fb(::open(b.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fa.valid() || !fb.valid())
        return false;
    std::unique_ptr<char[]> ba(new char[CompareChunk]);
    std::unique_ptr<char[]> bb(new char[CompareChunk]);
    for (qint64 at = 0; at < qint64(sa.st_size);) {
        const ssize_t na = ::pread(fa.get(), ba.get(), size_t(CompareChunk), off_t(at));
        const ssize_t nb = ::pread(fb.get(), bb.get(), size_t(CompareChunk), off_t(at));
        if (na <= 0 || na != nb || !std::equal(ba.get(), ba.get() + na, bb.get()))
            return false;
        at += na;
    }
    return true;
}

bool fileHasContent(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && st.st_size > 0;
}

// Writes the entry that lets the trash restore a file whose own entry was claimed but not yet written.
QString writeTrashInfo(const QByteArray& info, const QByteArray& source)
{
    const QByteArray text =
        "[Trash Info]\nPath=" + source.toPercentEncoding("/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss")).toLatin1() + '\n';
    const UniqueFd fd(::open(info.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid())
        return systemErrorText(errno);
    if (QString why = writeAllAt(fd.get(), text.constData(), text.size(), 0); !why.isEmpty())
        return why;
    return syncFileDescriptor(fd.get());
}

struct Record
{
    TransferJournal::Kind kind = TransferJournal::Kind::Move;
    QByteArray tag;
    std::vector<TransferEntry> entries;
    QList<QByteArray> tempFolders;
};

// How old an unfinished record must be before it is removed: older than any record being made.
constexpr long UnfinishedRecordSeconds = 60;

bool parseRecord(const QByteArray& text, Record* record)
{
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty())
        return false;
    const QList<QByteArray> head = lines.first().split('\t');
    if (head.size() != 2 || head[1].isEmpty())
        return false;
    if (head[0] == "move")
        record->kind = TransferJournal::Kind::Move;
    else if (head[0] == "trash")
        record->kind = TransferJournal::Kind::Trash;
    else
        return false;
    record->tag = head[1];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        if (f.size() == 2 && f[0] == "temp")
            record->tempFolders.append(QByteArray::fromPercentEncoding(f[1]));
        // A line cut short by the kill was never followed by its file's placing. Records of older versions
        // have no entry identity.
        if ((f.size() != 5 && f.size() != 6) || f[0] != "file")
            continue;
        record->entries.push_back({QByteArray::fromPercentEncoding(f[1]),
                                   QByteArray::fromPercentEncoding(f[2]),
                                   QByteArray::fromPercentEncoding(f[3]), identityFromText(f[4]),
                                   f.size() == 6 ? identityFromText(f[5]) : FileIdentity{}});
    }
    return true;
}

// Removes the temporary files of the operation in a folder: they never took a name, so no file is only
// there.
void removePartials(const QByteArray& folder, const QByteArray& tag, SettledTransfers* settled)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const QByteArray copyPrefix = ".lentrova-copy-" + tag + '-';
    const QByteArray linkPrefix = ".lentrova-link-" + tag + '-';
    const QByteArray infoPrefix = ".lentrova-info-" + tag + '-';
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(copyPrefix) && !name.startsWith(linkPrefix) && !name.startsWith(infoPrefix))
            continue;
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++settled->removedPartials;
        else
            settled->failures.append(failureLine(
                QString::fromUtf8(folder + '/' + name),
                QStringLiteral("the unfinished copy could not be removed: ") + systemErrorText(errno)));
    }
    ::closedir(dir);
}

QList<QByteArray> namesStartingWith(const QByteArray& folder, const QByteArray& prefix)
{
    QList<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir))
        if (QByteArray name(entry->d_name); name.startsWith(prefix))
            names.append(name);
    ::closedir(dir);
    return names;
}

// The entry whose file a kill caught under a hidden name in folder, on its way to replace the file there: its
// source is gone, and its target is free or still the file recorded there before. Null when no entry, or more
// than one, fits.
const TransferEntry* entryInHand(const QByteArray& folder, const std::vector<TransferEntry>& entries)
{
    std::vector<const TransferEntry*> fits;
    for (const TransferEntry& e : entries) {
        if (parentFolder(e.target) != folder || presenceWithoutFollowing(e.source).state != Presence::Gone)
            continue;
        const FileIdentity now = fileIdentity(e.target);
        const bool free = !now.valid && presenceWithoutFollowing(e.target).state == Presence::Gone;
        if (!free && !(e.earlier.valid && now == e.earlier))
            continue;
        const auto same = [&](const TransferEntry* f) {
            return f->source == e.source && f->target == e.target;
        };
        if (std::none_of(fits.begin(), fits.end(), same))
            fits.push_back(&e);
    }
    // A file is staged only where a name was taken: an entry recorded with a file at its name tells more.
    if (fits.size() > 1)
        fits.erase(std::remove_if(fits.begin(), fits.end(),
                                  [](const TransferEntry* e) { return !e->earlier.valid; }),
                   fits.end());
    return fits.size() == 1 ? fits.front() : nullptr;
}

void settleStaged(const QByteArray& folder, const Record& record, SettledTransfers* s)
{
    for (const QByteArray& name : namesStartingWith(folder, ".lentrova-moving-" + record.tag + '-')) {
        const QByteArray staged = folder + '/' + name;
        const TransferEntry* e = entryInHand(folder, record.entries);
        if (!e) {
            s->failures.append(
                failureLine(QString::fromUtf8(staged),
                            QStringLiteral("it was left under this name, since the record does "
                                           "not tell which file it is")));
            continue;
        }
        // The earlier file has gone (the target free): the move had got past its point of no return.
        if (presenceWithoutFollowing(e->target).state == Presence::Gone) {
            const ShortPath target(e->target);
            if (renameNoReplace(staged, target.path()).renamed) {
                s->completedMoves.append(QString::fromUtf8(e->target));
                continue;
            }
        }
        const ShortPath source(e->source);
        if (const RenameResult back = renameNoReplace(staged, source.path()); back.renamed)
            s->returnedMoves.append(QString::fromUtf8(e->source));
        else
            s->failures.append(failureLine(QString::fromUtf8(e->source),
                                           QStringLiteral("it could not be put back, and was left at ") +
                                               QString::fromUtf8(staged) + QStringLiteral(": ") +
                                               back.error));
    }
}

void settleEntry(const TransferEntry& e, bool trash, SettledTransfers* s)
{
    // A name tried while another program held its entry was never ours, nor is anything under it.
    if (e.entry.valid && fileIdentity(e.info) != e.entry)
        return;
    const QString target = QString::fromUtf8(e.target);
    struct stat st;
    if (::lstat(e.target.constData(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            s->failures.append(failureLine(target, systemErrorText(errno)));
            return;
        }
        // Nothing took the name: an entry claimed for it names no file.
        if (!e.info.isEmpty() && ::unlink(e.info.constData()) == 0)
            ++s->removedTrashEntries;
        return;
    }
    if (e.earlier.valid && FileIdentity{quint64(st.st_dev), quint64(st.st_ino), true} == e.earlier)
        return; // the file that was there before, untouched
    // A source beyond PATH_MAX is reached through its folder's descriptor.
    const ShortPath source(e.source);
    struct stat src;
    const bool sourceThere = ::lstat(source.path().constData(), &src) == 0;
    if (!sourceThere && errno != ENOENT && errno != ENOTDIR) {
        s->failures.append(failureLine(QString::fromUtf8(e.source), systemErrorText(errno)));
        return;
    }
    if (sourceThere && sameContent(source.path(), e.target)) {
        if (::unlink(e.target.constData()) != 0) {
            s->failures.append(failureLine(target, QStringLiteral("the copy could not be removed: ") +
                                                       systemErrorText(errno)));
            return;
        }
        if (!e.info.isEmpty())
            ::unlink(e.info.constData());
        s->removedCopies.append(target);
        return;
    }
    if (sourceThere)
        s->keptBoth.append(QString::fromUtf8(e.source) + QStringLiteral(" and ") + target);
    // The file is in the trash and stays there: it must be restorable.
    if (trash && !e.info.isEmpty() && !fileHasContent(e.info)) {
        if (QString why = writeTrashInfo(e.info, e.source); why.isEmpty())
            s->completedTrash.append(target);
        else
            s->failures.append(
                failureLine(target, QStringLiteral("its trash entry could not be written: ") + why));
    }
}

} // namespace

bool SettledTransfers::empty() const
{
    return removedCopies.isEmpty() && keptBoth.isEmpty() && completedTrash.isEmpty() &&
           completedMoves.isEmpty() && returnedMoves.isEmpty() && failures.isEmpty() &&
           removedPartials == 0 && removedTrashEntries == 0;
}

QString SettledTransfers::message() const
{
    if (empty())
        return {};
    QStringList parts{QStringLiteral("A move or a trash run was cut off when the program last ended. "
                                     "Its files have been put in order:")};
    if (!removedCopies.isEmpty())
        parts.append(failureListText(
            QStringLiteral("These copies were removed, since their files are still where they were:"),
            removedCopies));
    if (!completedTrash.isEmpty())
        parts.append(failureListText(QStringLiteral("These files in the trash can be restored again:"),
                                     completedTrash));
    if (!completedMoves.isEmpty())
        parts.append(failureListText(
            QStringLiteral("These files have taken the place of the files they were replacing:"),
            completedMoves));
    if (!returnedMoves.isEmpty())
        parts.append(failureListText(
            QStringLiteral(
                "These files were put back, since the files they were to replace are still there:"),
            returnedMoves));
    if (!keptBoth.isEmpty())
        parts.append(failureListText(
            QStringLiteral("These files and their copies differ, so both were kept:"), keptBoth));
    if (removedPartials > 0)
        parts.append(removedPartials == 1
                         ? QStringLiteral("1 unfinished copy was removed.")
                         : QStringLiteral("%1 unfinished copies were removed.").arg(removedPartials));
    if (removedTrashEntries > 0)
        parts.append(removedTrashEntries == 1
                         ? QStringLiteral("1 trash entry without its file was removed.")
                         : QStringLiteral("%1 trash entries without their files were removed.")
                               .arg(removedTrashEntries));
    if (!failures.isEmpty())
        parts.append(failureListText(QStringLiteral("These could not be put in order:"), failures));
    return parts.join(QStringLiteral("\n\n"));
}

SettledTransfers settleInterruptedTransfers()
{
    SettledTransfers settled;
    const QByteArray dir = TransferJournal::folder();
    DIR* listing = ::opendir(dir.constData());
    if (!listing)
        return settled;
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name.endsWith(".tsv"))
            names.append(name);
    }
    ::closedir(listing);
    for (const QByteArray& name : names) {
        const QByteArray path = dir + name;
        const UniqueFd fd(::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        if (!fd.valid())
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // a running operation's own
        QByteArray text;
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(fd.get(), buffer, sizeof buffer)) > 0)
            text.append(buffer, n);
        // A record whose first line was never finished was cut short as it was made, before any file was
        // named in it: nothing was done under it. Gone once old enough not to be another start's in the
        // making.
        if (n == 0 && !text.contains('\n')) {
            struct stat st;
            if (::fstat(fd.get(), &st) == 0 && ::time(nullptr) - st.st_mtime > UnfinishedRecordSeconds)
                ::unlink(path.constData());
            continue;
        }
        Record record;
        if (n < 0 || !parseRecord(text, &record)) {
            settled.failures.append(failureLine(toDisplay(path), QStringLiteral("it cannot be read")));
            continue;
        }
        QSet<QByteArray> folders;
        for (const TransferEntry& e : record.entries)
            folders.insert(parentFolder(e.target));
        for (const QByteArray& folder : std::as_const(folders))
            settleStaged(folder, record, &settled);
        for (const QByteArray& folder : std::as_const(record.tempFolders))
            folders.insert(folder);
        QSet<QByteArray> seen;
        for (const TransferEntry& e : record.entries) {
            if (seen.contains(e.target))
                continue;
            seen.insert(e.target);
            settleEntry(e, record.kind == TransferJournal::Kind::Trash, &settled);
        }
        for (const QByteArray& folder : std::as_const(folders))
            removePartials(folder, record.tag, &settled);
        ::unlink(path.constData());
    }
    return settled;
}
