// SPDX-License-Identifier: MIT
#include "platform/mounts.h"
#include "platform/trash.h"
#include "support/diskmount.h"
#include "support/filehold.h"
#include "support/filetree.h"
#include "support/fixtures.h"
#include "support/testmain.h"
#include "support/unprivileged.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
struct TrashInfo
{
    QByteArray path; // decoded from Path=, the exact bytes to restore to
    QDateTime deleted;
    bool wellFormed = false;
};

TrashInfo parseInfo(const QByteArray& infoFile)
{
    TrashInfo info;
    const QList<QByteArray> lines = FileTree::read(infoFile).split('\n');
    if (lines.size() != 4 || lines[0] != "[Trash Info]" || !lines[1].startsWith("Path=") ||
        !lines[2].startsWith("DeletionDate=") || !lines[3].isEmpty())
        return info;
    const QByteArray encoded = lines[1].mid(5);
    // Every byte outside the unreserved set and "/" must be escaped.
    for (char c : encoded)
        if (!(QChar::isLetterOrNumber(uchar(c)) && uchar(c) < 0x80) && !QByteArray("-._~/%").contains(c))
            return info;
    info.path = QByteArray::fromPercentEncoding(encoded);
    info.deleted =
        QDateTime::fromString(QString::fromLatin1(lines[2].mid(13)), QStringLiteral("yyyy-MM-dd'T'hh:mm:ss"));
    info.wellFormed = info.deleted.isValid();
    return info;
}

QByteArray homeTrash()
{
    return qgetenv("XDG_DATA_HOME") + "/Trash";
}

bool deletedJustNow(const TrashInfo& info)
{
    return qAbs(info.deleted.secsTo(QDateTime::currentDateTime())) <= 120;
}

QByteArray uidText()
{
    return QByteArray::number(::geteuid());
}

QByteArray realPath(const QByteArray& path)
{
    char* real = ::realpath(path.constData(), nullptr);
    const QByteArray out = real ? QByteArray(real) : QByteArray();
    std::free(real);
    return out;
}

// Points the user's data folder elsewhere for one test step.
class DataHome
{
public:
    explicit DataHome(const QByteArray& folder) : m_old(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", folder);
    }
    ~DataHome() { qputenv("XDG_DATA_HOME", m_old); }

private:
    QByteArray m_old;
};

bool setImmutable(const QByteArray& path, bool on)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

} // namespace

// Trashes the file named by the first argument; prints where it went, or why not.
UNPRIVILEGED_STEP(trashOneFile)
{
    const TrashResult result = moveToTrash(QFile::encodeName(args.value(0)));
    std::printf("%s\n", result.ok ? result.trashedPath.constData() : result.error.toUtf8().constData());
    return result.ok ? 0 : 1;
}

class TestTrash : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { FileTree::removeTree(homeTrash()); }

    void entryWithInfo_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("plain") << QByteArray("report.txt");
        QTest::newRow("spaces and percent") << QByteArray("50% off & more.txt");
        QTest::newRow("utf-8") << QByteArray("K\xc3\xa4se \xf0\x9f\x98\x80.txt");
        QTest::newRow("invalid utf-8") << QByteArray("bad\xff\xfe name.txt");
        QTest::newRow("backslash and newline") << QByteArray("a\\b\nc");
        QTest::newRow("hidden") << QByteArray(".hidden");
    }

    // The file lands in the home trash under its name, and its .trashinfo restores it to the exact bytes.
    void entryWithInfo()
    {
        QFETCH(QByteArray, name);
        ScratchDir dir;
        const QByteArray source = dir.path() + '/' + name;
        QVERIFY(FileTree::write(source, "content of " + name));

        const TrashResult result = moveToTrash(source);
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(!FileTree::exists(source));
        QCOMPARE(result.trashedPath, homeTrash() + "/files/" + name);
        QCOMPARE(result.infoPath, homeTrash() + "/info/" + name + ".trashinfo");
        QCOMPARE(FileTree::read(result.trashedPath), "content of " + name);
        const TrashInfo info = parseInfo(result.infoPath);
        QVERIFY(info.wellFormed);
        QCOMPARE(info.path, source);
        QVERIFY(deletedJustNow(info));

        // Restoring is a rename back to the recorded path.
        QCOMPARE(::rename(result.trashedPath.constData(), info.path.constData()), 0);
        QCOMPARE(FileTree::read(source), "content of " + name);
        ::unlink(result.infoPath.constData());
    }

    void sameNameTwiceKeepsBoth()
    {
        ScratchDir a, b;
        const QByteArray first = a.path() + "/twin.txt";
        const QByteArray second = b.path() + "/twin.txt";
        QVERIFY(FileTree::write(first, "first"));
        QVERIFY(FileTree::write(second, "second"));
        const TrashResult r1 = moveToTrash(first);
        const TrashResult r2 = moveToTrash(second);
        QVERIFY(r1.ok && r2.ok);
        QVERIFY(r1.trashedPath != r2.trashedPath);
        QCOMPARE(FileTree::read(r1.trashedPath), QByteArray("first"));
        QCOMPARE(FileTree::read(r2.trashedPath), QByteArray("second"));
        QCOMPARE(parseInfo(r1.infoPath).path, first);
        QCOMPARE(parseInfo(r2.infoPath).path, second);
        QCOMPARE(r2.infoPath, QByteArray(r2.trashedPath).replace("/files/", "/info/") + ".trashinfo");
    }

    // The info file's name adds ten bytes, so the longest names must be shortened in the trash, not refused.
    void longestNameFits()
    {
        ScratchDir dir;
        const QByteArray name = QByteArray(120, 'x') + QByteArray("\xc3\xa4").repeated(67) + "y"; // 255 bytes
        QCOMPARE(name.size(), 255);
        const QByteArray source = dir.path() + '/' + name;
        QVERIFY(FileTree::write(source, "long"));
        const TrashResult result = moveToTrash(source);
        QVERIFY2(result.ok, qPrintable(result.error));
        const QByteArray trashedName = result.trashedPath.mid(result.trashedPath.lastIndexOf('/') + 1);
        QVERIFY(trashedName.size() <= 245);
        QVERIFY(name.startsWith(trashedName));
        QVERIFY(QString::fromUtf8(trashedName).toUtf8() == trashedName); // cut between characters
        QCOMPARE(parseInfo(result.infoPath).path, source);
    }

    // With no data folder yet, the trash is made there; nothing may land in a "files" folder of the cwd.
    void missingDataHomeIsCreated()
    {
        ScratchDir data, work, cwd;
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        const QString oldCwd = QDir::currentPath();
        const QByteArray fresh = data.path() + "/not/yet/there";
        qputenv("XDG_DATA_HOME", fresh);
        QDir::setCurrent(cwd.qpath());
        const QByteArray source = work.path() + "/f.txt";
        QVERIFY(FileTree::write(source, "x"));
        const TrashResult result = moveToTrash(source);
        qputenv("XDG_DATA_HOME", oldData);
        QDir::setCurrent(oldCwd);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.trashedPath, fresh + "/Trash/files/f.txt");
        QVERIFY(FileTree::exists(fresh + "/Trash/info/f.txt.trashinfo"));
        QVERIFY(FileTree::list(cwd.path()).isEmpty());
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::newRow("missing file") << QByteArray("missing");
        QTest::newRow("folder") << QByteArray("folder");
        QTest::newRow("trash blocked by a file") << QByteArray("blocked");
    }

    // A file that cannot go stays where it was and leaves no half entry in the trash.
    void refusals()
    {
        QFETCH(QByteArray, kind);
        ScratchDir dir, data;
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", data.path());
        QByteArray source = dir.path() + "/victim";
        if (kind == "folder")
            QVERIFY(FileTree::makeFolder(source));
        else if (kind == "blocked")
            QVERIFY(FileTree::write(source, "x") && FileTree::write(data.path() + "/Trash", "not a folder"));
        const TrashResult result = moveToTrash(source);
        qputenv("XDG_DATA_HOME", oldData);
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(FileTree::exists(source), kind != "missing");
        QVERIFY(FileTree::list(data.path() + "/Trash/info").isEmpty());
    }

    // A link goes to the trash itself; what it points to stays.
    void linkGoesNotItsTarget()
    {
        ScratchDir dir;
        const QByteArray target = dir.path() + "/target.txt";
        const QByteArray link = dir.path() + "/link.txt";
        QVERIFY(FileTree::write(target, "kept"));
        QCOMPARE(::symlink(target.constData(), link.constData()), 0);
        const TrashResult result = moveToTrash(link);
        QVERIFY(result.ok);
        QVERIFY(!FileTree::exists(link));
        QCOMPARE(FileTree::read(target), QByteArray("kept"));
        QVERIFY(S_ISLNK(FileTree::statOf(result.trashedPath).st_mode));
    }

    // A file on another mount goes to that mount's own trash, recorded relative to the mount's top.
    void otherMountUsesItsOwnTrash()
    {
        DiskMount mount;
        if (!mount.usable())
            QSKIP("cannot mount a file system of our own here");
        QVERIFY(FileTree::deviceOf(mount.path()) != FileTree::deviceOf(homeTrash()));
        const QByteArray name = "on mount \xff.txt";
        const QByteArray source = mount.path() + '/' + name;
        QVERIFY(FileTree::write(source, "mounted"));
        const QList<QByteArray> homeBefore = FileTree::list(homeTrash() + "/files");

        const TrashResult result = moveToTrash(source);
        QVERIFY2(result.ok, qPrintable(result.error));
        const QByteArray trash = mount.top() + "/.Trash-" + QByteArray::number(::geteuid());
        QVERIFY(result.trashedPath.startsWith(trash + "/files/"));
        QCOMPARE(FileTree::read(result.trashedPath), QByteArray("mounted"));
        QCOMPARE(FileTree::deviceOf(result.trashedPath), FileTree::deviceOf(mount.path()));
        QCOMPARE(FileTree::statOf(trash).st_mode & 0777, 0700u);
        const TrashInfo info = parseInfo(result.infoPath);
        QVERIFY(info.wellFormed);
        QCOMPARE(mount.top() + '/' + info.path, source);
        QVERIFY(deletedJustNow(info));
        QCOMPARE(FileTree::list(homeTrash() + "/files"), homeBefore);
    }

    void deepFileGoesToTheTrash_data()
    {
        QTest::addColumn<QByteArray>("place");
        QTest::newRow("home trash, by rename") << QByteArray("home");
        QTest::newRow("home trash, by rename, through a link") << QByteArray("link");
        QTest::newRow("home trash, copied from a tmpfs") << QByteArray("tmpfs");
        QTest::newRow("its own mount's trash") << QByteArray("mount");
    }

    // A file whose path is longer than PATH_MAX goes to the trash like any other, reached through its
    // folder's descriptor, and its entry restores it to the whole path, links before it resolved.
    void deepFileGoesToTheTrash()
    {
        QFETCH(QByteArray, place);
        ScratchDir dir;
        std::unique_ptr<OtherMount> tmpfs;
        std::unique_ptr<DiskMount> disk;
        QByteArray under = realPath(dir.path());
        QByteArray spelled = under;
        QByteArray top;
        if (place == "link") {
            QVERIFY(FileTree::makeFolder(under + "/real"));
            QCOMPARE(::symlink("real", (under + "/link").constData()), 0);
            spelled = under + "/link";
            under += "/real";
        } else if (place == "tmpfs") {
            tmpfs = std::make_unique<OtherMount>();
            if (!tmpfs->usable())
                QSKIP("no tmpfs to test with");
            under = spelled = realPath(tmpfs->path());
        } else if (place == "mount") {
            disk = std::make_unique<DiskMount>();
            SKIP_UNLESS_MOUNTED(*disk);
            under = spelled = realPath(disk->path());
            top = disk->top();
        }
        const DeepFile deep(spelled, "deep inside");
        QVERIFY(deep.usable());
        QVERIFY(deep.path().size() > PATH_MAX);
        const QByteArray restoredTo = under + deep.path().mid(spelled.size());

        const TrashResult result = moveToTrash(deep.path());
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(!deep.exists());
        const QByteArray trash = top.isEmpty() ? homeTrash() : top + "/.Trash-" + uidText();
        QVERIFY(result.trashedPath.startsWith(trash + "/files/"));
        QCOMPARE(FileTree::read(result.trashedPath), QByteArray("deep inside"));
        const TrashInfo info = parseInfo(result.infoPath);
        QVERIFY(info.wellFormed);
        QCOMPARE(top.isEmpty() ? info.path : top + '/' + info.path, restoredTo);
        ::unlink(result.trashedPath.constData());
        ::unlink(result.infoPath.constData());
    }

    // An administrator's sticky .Trash on the mount holds a folder per user; a .Trash without the sticky bit
    // could be tampered with by others and is passed over.
    void sharedTrashOnMount_data()
    {
        QTest::addColumn<bool>("sticky");
        QTest::addColumn<bool>("linked");
        QTest::newRow("sticky") << true << false;
        QTest::newRow("not sticky") << false << false;
        // Whoever can write the mount's top could point such a link anywhere.
        QTest::newRow("a link to a sticky folder") << true << true;
    }

    void sharedTrashOnMount()
    {
        QFETCH(bool, sticky);
        QFETCH(bool, linked);
        DiskMount mount;
        if (!mount.usable())
            QSKIP("cannot mount a file system of our own here");
        const QByteArray shared = mount.top() + "/.Trash";
        const QByteArray real = linked ? mount.top() + "/elsewhere" : shared;
        QVERIFY(FileTree::makeFolder(real, 0777));
        QCOMPARE(::chmod(real.constData(), sticky ? 01777 : 0777), 0);
        if (linked)
            QCOMPARE(::symlink("elsewhere", shared.constData()), 0);
        const QByteArray source = mount.path() + "/file.txt";
        QVERIFY(FileTree::write(source, "x"));
        const TrashResult result = moveToTrash(source);
        QVERIFY(result.ok);
        const QByteArray uid = QByteArray::number(::geteuid());
        const QByteArray expected = sticky && !linked ? shared + '/' + uid : mount.top() + "/.Trash-" + uid;
        QCOMPARE(result.trashedPath, expected + "/files/file.txt");
        QCOMPARE(parseInfo(result.infoPath).path, QByteArray("work/file.txt"));
    }

    void readOnlyMountKeepsFile()
    {
        OtherMount mount(8 << 20, false);
        if (!mount.usable())
            QSKIP("cannot mount a file system of our own here");
        const QByteArray source = mount.path() + "/file.txt";
        QVERIFY(FileTree::write(source, "x"));
        if (QProcess::execute("mount", {"-o", "remount,ro", QFile::decodeName(mount.top())}) != 0)
            QSKIP("cannot make the file system read-only here");
        const QList<QByteArray> homeBefore = FileTree::list(homeTrash() + "/info");
        const TrashResult result = moveToTrash(source);
        QProcess::execute("mount", {"-o", "remount,rw", QFile::decodeName(mount.top())});
        QVERIFY(!result.ok);
        QVERIFY(FileTree::exists(source));
        QCOMPARE(FileTree::list(homeTrash() + "/info"), homeBefore);
    }

    // The mount's top and the recorded path come from where the folder really is, however the path is
    // spelled: a trash made below the top is one that no desktop looks into.
    void mountTrashFromRealFolder_data()
    {
        QTest::addColumn<QByteArray>("spelling");
        QTest::newRow("through a link into the mount") << QByteArray("link");
        QTest::newRow("with .. in the path") << QByteArray("dotdot");
    }

    void mountTrashFromRealFolder()
    {
        QFETCH(QByteArray, spelling);
        DiskMount mount;
        if (!mount.usable())
            QSKIP("cannot mount a file system of our own here");
        ScratchDir here;
        const QByteArray sub = mount.top() + "/sub";
        QVERIFY(FileTree::makeFolder(sub) && FileTree::makeFolder(sub + "/deep"));
        QVERIFY(FileTree::write(sub + "/deep/f.txt", "deep"));
        QCOMPARE(::symlink(sub.constData(), (here.path() + "/lnk2").constData()), 0);
        const QByteArray spelled =
            spelling == "link" ? here.path() + "/lnk2/deep/f.txt" : sub + "/deep/../deep/f.txt";

        const TrashResult result = moveToTrash(spelled);
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(!FileTree::exists(sub + "/deep/f.txt"));
        QCOMPARE(result.trashedPath, mount.top() + "/.Trash-" + uidText() + "/files/f.txt");
        QCOMPARE(FileTree::read(result.trashedPath), QByteArray("deep"));
        QCOMPARE(parseInfo(result.infoPath).path, QByteArray("sub/deep/f.txt"));
        QVERIFY(!FileTree::exists(sub + "/.Trash-" + uidText()));
    }

    // Where the file's own file system would lose the trash at the next start (tmpfs), or its top cannot hold
    // one, the file is copied into the home trash and recorded by its absolute path.
    void homeTrashTakesWhatItsMountCannotKeep_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::newRow("tmpfs") << QByteArray("tmpfs");
        QTest::newRow("top cannot hold a trash") << QByteArray("blocked");
    }

    void homeTrashTakesWhatItsMountCannotKeep()
    {
        QFETCH(QByteArray, kind);
        std::unique_ptr<OtherMount> tmpfs;
        std::unique_ptr<DiskMount> disk;
        QByteArray folder, top;
        if (kind == "tmpfs") {
            tmpfs = std::make_unique<OtherMount>();
            if (!tmpfs->usable())
                QSKIP("no tmpfs to test with");
            folder = tmpfs->path();
            top = tmpfs->top();
        } else {
            disk = std::make_unique<DiskMount>();
            if (!disk->usable())
                QSKIP("cannot mount a file system of our own here");
            folder = disk->path();
            top = disk->top();
            QVERIFY(FileTree::write(top + "/.Trash-" + uidText(), "in the way"));
        }
        QVERIFY(FileTree::deviceOf(folder) != FileTree::deviceOf(homeTrash()));
        const QByteArray source = folder + "/kept \xff.txt";
        QVERIFY(FileTree::write(source, "keep me", 0640));
        QVERIFY(FileTree::setModified(source, 1600000000, 5));

        const TrashResult result = moveToTrash(source);
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(!FileTree::exists(source));
        QVERIFY(result.trashedPath.startsWith(homeTrash() + "/files/"));
        QCOMPARE(FileTree::read(result.trashedPath), QByteArray("keep me"));
        const struct stat copied = FileTree::statOf(result.trashedPath);
        QCOMPARE(copied.st_mode & 07777, 0640u);
        QCOMPARE(qint64(copied.st_mtim.tv_sec), qint64(1600000000));
        const TrashInfo info = parseInfo(result.infoPath);
        QVERIFY(info.wellFormed);
        QCOMPARE(info.path, source);
        if (kind == "tmpfs" && tmpfs->ownMount())
            QVERIFY(!FileTree::exists(top + "/.Trash-" + uidText()));
        for (const QByteArray& name : FileTree::list(homeTrash() + "/files"))
            QVERIFY2(FileTree::exists(homeTrash() + "/info/" + name + ".trashinfo"), name.constData());
        QVERIFY(FileTree::read(result.infoPath).startsWith("[Trash Info]\nPath=/"));
    }

    // Many files of one name each get a name of their own, and names that another program reserved or left in
    // the trash meanwhile are passed over.
    void sameNameManyTimes()
    {
        ScratchDir dir;
        QList<QByteArray> names;
        for (int i = 0; i < 6; ++i) {
            if (i == 3) {
                QVERIFY(FileTree::write(homeTrash() + "/info/Thumbs.db.4.trashinfo", "other program"));
                QVERIFY(FileTree::write(homeTrash() + "/files/Thumbs.db.5", "left over"));
            }
            QVERIFY(FileTree::makeFolder(dir.path() + '/' + QByteArray::number(i)));
            const QByteArray source = dir.path() + '/' + QByteArray::number(i) + "/Thumbs.db";
            QVERIFY(FileTree::write(source, QByteArray::number(i)));
            const TrashResult result = moveToTrash(source);
            QVERIFY2(result.ok, qPrintable(result.error));
            QCOMPARE(FileTree::read(result.trashedPath), QByteArray::number(i));
            QCOMPARE(parseInfo(result.infoPath).path, source);
            names.append(result.trashedPath.mid(result.trashedPath.lastIndexOf('/') + 1));
        }
        QCOMPARE(names, (QList<QByteArray>{"Thumbs.db", "Thumbs.db.2", "Thumbs.db.3", "Thumbs.db.6",
                                           "Thumbs.db.7", "Thumbs.db.8"}));
        QCOMPARE(FileTree::read(homeTrash() + "/files/Thumbs.db.5"), QByteArray("left over"));
    }

    // The usual disk: its top is the administrator's, the user owns a folder on it. No trash can be made at
    // the top, so the user's own trash takes the file.
    void userFileOnForeignMountGoesHome()
    {
        SKIP_UNLESS_UNPRIVILEGED_RUNS();
        DiskMount mount;
        if (!mount.usable())
            QSKIP("cannot mount a file system of our own here");
        ScratchDir data;
        const QByteArray source = mount.path() + "/mine.txt";
        QVERIFY(FileTree::write(source, "mine"));
        QVERIFY(Unprivileged::giveTree(mount.path()) && Unprivileged::giveTree(data.path()));
        QVERIFY(Unprivileged::openWayTo(source) && Unprivileged::openWayTo(data.path() + "/Trash"));
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_DATA_HOME"), QFile::decodeName(data.path()));
        const Unprivileged::Outcome outcome =
            Unprivileged::runStep(QStringLiteral("trashOneFile"), {QFile::decodeName(source)}, env);
        QVERIFY2(outcome.exitCode == 0, outcome.out.constData());
        QCOMPARE(outcome.out.trimmed(), data.path() + "/Trash/files/mine.txt");
        QVERIFY(!FileTree::exists(source));
        QCOMPARE(FileTree::read(data.path() + "/Trash/files/mine.txt"), QByteArray("mine"));
        QCOMPARE(parseInfo(data.path() + "/Trash/info/mine.txt.trashinfo").path, source);
        QVERIFY(!FileTree::exists(mount.top() + "/.Trash-" + QByteArray::number(Unprivileged::uid)));
    }

    void undeletableFileStaysOutOfTheTrash_data()
    {
        QTest::addColumn<FileHold::Kind>("hold");
        QTest::addColumn<bool>("onTmpfs");
        QTest::addColumn<QString>("reason");
        const struct
        {
            const char* name;
            FileHold::Kind hold;
            const char* reason;
        } holds[] = {
            {"immutable", FileHold::Kind::Immutable, "it cannot be deleted: the file is immutable"},
            {"append-only", FileHold::Kind::AppendOnly, "it cannot be deleted: the file is append-only"},
            {"bind-mounted file", FileHold::Kind::MountedOver,
             "it cannot be deleted: another file is mounted over it"},
        };
        for (const auto& h : holds) {
            QTest::addRow("%s, by rename", h.name) << h.hold << false << QString::fromLatin1(h.reason);
            QTest::addRow("%s, by copy from a tmpfs", h.name)
                << h.hold << true << QString::fromLatin1(h.reason);
        }
    }

    // A file that cannot be deleted gets no entry in the trash and no copy there: it stays, said why.
    void undeletableFileStaysOutOfTheTrash()
    {
        QFETCH(FileHold::Kind, hold);
        QFETCH(bool, onTmpfs);
        QFETCH(QString, reason);
        OtherMount mount;
        if (onTmpfs && !mount.usable())
            QSKIP("no tmpfs to test with");
        ScratchDir files;
        const QByteArray source = (onTmpfs ? mount.path() : files.path()) + "/held.txt";
        QVERIFY(FileTree::write(source, "held"));
        FileHold held(source, hold);
        if (!held.skipReason().isEmpty())
            QSKIP(qPrintable(held.skipReason()));
        const QList<QByteArray> before = FileTree::list(homeTrash() + "/files");
        const TrashResult result = moveToTrash(source);
        QVERIFY(!result.ok);
        QCOMPARE(result.error, reason);
        QCOMPARE(FileTree::list(homeTrash() + "/files"), before);
        QCOMPARE(FileTree::list(homeTrash() + "/info").size(), before.size());
        held.release();
        QCOMPARE(FileTree::read(source), QByteArray("held"));
    }

    // The reason given is the one that stopped the trash folder, not whatever failed after it.
    void unwritableDataHomeSaysWhy()
    {
        SKIP_UNLESS_UNPRIVILEGED_RUNS();
        ScratchDir files, data;
        const QByteArray source = files.path() + "/mine.txt";
        QVERIFY(FileTree::write(source, "x"));
        QVERIFY(Unprivileged::giveTree(files.path()));
        QVERIFY(Unprivileged::openWayTo(source));
        QVERIFY(Unprivileged::openWayTo(data.path() + "/share"));
        QCOMPARE(::chmod(data.path().constData(), 0755), 0); // root's: the user may look, not write
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_DATA_HOME"), QFile::decodeName(data.path() + "/share"));
        const Unprivileged::Outcome outcome =
            Unprivileged::runStep(QStringLiteral("trashOneFile"), {QFile::decodeName(source)}, env);
        QCOMPARE(outcome.exitCode, 1);
        QCOMPARE(outcome.out.trimmed(),
                 "the trash folder " + data.path() + "/share/Trash cannot be made: Permission denied");
        QVERIFY(FileTree::exists(source));
    }

    // A home trash that refuses the file is named, whichever of its folders refused.
    void readOnlyHomeTrashSaysSo_data()
    {
        QTest::addColumn<QList<QByteArray>>("readOnly");
        QTest::newRow("the trash folder, still empty") << QList<QByteArray>{""};
        QTest::newRow("the trash folder and its folders") << QList<QByteArray>{"", "/files", "/info"};
        QTest::newRow("the folder of trashed files") << QList<QByteArray>{"/files"};
    }

    void readOnlyHomeTrashSaysSo()
    {
        QFETCH(QList<QByteArray>, readOnly);
        SKIP_UNLESS_UNPRIVILEGED_RUNS();
        ScratchDir files, data;
        const QByteArray source = files.path() + "/mine.txt";
        const QByteArray trash = data.path() + "/Trash";
        QVERIFY(FileTree::write(source, "x"));
        QVERIFY(FileTree::makeFolder(trash, 0700));
        if (readOnly.size() != 1 || !readOnly[0].isEmpty())
            QVERIFY(FileTree::makeFolder(trash + "/files", 0700) &&
                    FileTree::makeFolder(trash + "/info", 0700));
        QVERIFY(Unprivileged::giveTree(files.path()) && Unprivileged::giveTree(data.path()));
        for (const QByteArray& folder : readOnly)
            QCOMPARE(::chmod((trash + folder).constData(), 0500), 0);
        QVERIFY(Unprivileged::openWayTo(source) && Unprivileged::openWayTo(trash));
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_DATA_HOME"), QFile::decodeName(data.path()));
        const Unprivileged::Outcome outcome =
            Unprivileged::runStep(QStringLiteral("trashOneFile"), {QFile::decodeName(source)}, env);
        QCOMPARE(outcome.exitCode, 1);
        QCOMPARE(outcome.out.trimmed(),
                 "the trash folder " + trash + " cannot be written: Permission denied");
        QCOMPARE(FileTree::read(source), QByteArray("x"));
        QVERIFY(FileTree::list(trash + "/info").isEmpty());
    }

    // A Trash that is a link is the user's choice of where the trash lives: files go where it leads, and a
    // file on the mount it leads to is renamed there.
    void homeTrashLinkIsFollowed_data()
    {
        QTest::addColumn<bool>("onOtherMount");
        QTest::newRow("to a folder beside it") << false;
        QTest::newRow("to a folder on another mount, with the file") << true;
    }

    void homeTrashLinkIsFollowed()
    {
        QFETCH(bool, onOtherMount);
        std::unique_ptr<DiskMount> mount;
        ScratchDir data, beside, files;
        QByteArray leadsTo = beside.path() + "/kept trash";
        QByteArray folder = files.path();
        if (onOtherMount) {
            mount = std::make_unique<DiskMount>();
            if (!mount->usable())
                QSKIP("cannot mount a file system of our own here");
            leadsTo = mount->top() + "/kept trash";
            folder = mount->path();
        }
        QVERIFY(FileTree::makeFolder(leadsTo, 0700));
        QCOMPARE(::symlink(leadsTo.constData(), (data.path() + "/Trash").constData()), 0);
        const QByteArray source = folder + "/f.txt";
        QVERIFY(FileTree::write(source, "linked"));
        const FileIdentity before = fileIdentity(source);
        const DataHome home(data.path());

        const TrashResult result = moveToTrash(source);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.trashedPath, realPath(leadsTo) + "/files/f.txt");
        QCOMPARE(FileTree::read(result.trashedPath), QByteArray("linked"));
        QCOMPARE(parseInfo(result.infoPath).path, source);
        QCOMPARE(fileIdentity(result.trashedPath), before); // renamed, not copied
        QVERIFY(S_ISLNK(FileTree::statOf(data.path() + "/Trash").st_mode));
        if (onOtherMount)
            QVERIFY(!FileTree::exists(mount->top() + "/.Trash-" + uidText()));
    }

    // Overlay gives a file the device number of its layer and btrfs that of its subvolume, neither the
    // mount's: the file still goes where the desktop looks, the home trash on the home's mount, else the
    // mount's top.
    void trashOfTheMountNotOfTheDevice_data()
    {
        QTest::addColumn<QByteArray>("fileSystem");
        QTest::addColumn<bool>("homeOnIt");
        QTest::newRow("overlay, home elsewhere") << QByteArray("overlay") << false;
        QTest::newRow("overlay, home on it") << QByteArray("overlay") << true;
        QTest::newRow("btrfs subvolume, home elsewhere") << QByteArray("btrfs") << false;
        QTest::newRow("btrfs subvolume, home on the mount") << QByteArray("btrfs") << true;
    }

    void trashOfTheMountNotOfTheDevice()
    {
        QFETCH(QByteArray, fileSystem);
        QFETCH(bool, homeOnIt);
        std::unique_ptr<OverlayMount> overlay;
        std::unique_ptr<BtrfsMount> btrfs;
        QByteArray top, folder;
        if (fileSystem == "overlay") {
            overlay = std::make_unique<OverlayMount>();
            if (!overlay->usable())
                QSKIP(qPrintable(overlay->skipReason()));
            top = overlay->top();
            folder = overlay->path();
        } else {
            btrfs = std::make_unique<BtrfsMount>();
            if (!btrfs->usable())
                QSKIP(qPrintable(btrfs->skipReason()));
            top = btrfs->top();
            folder = btrfs->subvolume() + "/deep";
            QVERIFY(FileTree::makeFolder(folder));
        }
        const QByteArray name = "f \xff.txt";
        const QByteArray source = folder + '/' + name;
        QVERIFY(FileTree::write(source, "layered"));
        QVERIFY(FileTree::deviceOf(source) != FileTree::deviceOf(top)); // what makes the case
        const QByteArray data = top + "/home/data";
        QVERIFY(FileTree::makeFolder(top + "/home"));
        const DataHome home(homeOnIt ? data : qgetenv("XDG_DATA_HOME"));

        const TrashResult result = moveToTrash(source);
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(!FileTree::exists(source));
        const QByteArray trash = homeOnIt ? data + "/Trash" : top + "/.Trash-" + uidText();
        QCOMPARE(result.trashedPath, trash + "/files/" + name);
        QCOMPARE(FileTree::read(result.trashedPath), QByteArray("layered"));
        QCOMPARE(parseInfo(result.infoPath).path, homeOnIt ? source : source.mid(top.size() + 1));
        for (QByteArray up = folder; up != top; up = up.left(up.lastIndexOf('/')))
            QVERIFY2(!FileTree::exists(up + "/.Trash-" + uidText()), up.constData());
        if (homeOnIt)
            QVERIFY(!FileTree::exists(top + "/.Trash-" + uidText()));
        // The same mount where the system gives no mount ids.
        const MountPlace byPath = mountHoldingByPath(realPath(folder));
        QCOMPARE(byPath.id, mountHolding(folder).id);
        QCOMPARE(byPath.top, realPath(top));
    }

    // Where the system gives no mount ids, the mount table names the same mount, its point read back exactly.
    void mountTableReadsEscapedMountPoints()
    {
        ScratchDir scratch;
        const QByteArray point = scratch.path() + "/a b\\c\td\ne";
        QVERIFY(FileTree::makeFolder(point));
        if (::mount("lentrova-test", point.constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("cannot mount a tmpfs here");
        const MountPlace byId = mountHolding(point);
        const MountPlace byPath = mountHoldingByPath(realPath(point));
        ::umount(point.constData());
        QVERIFY(byId.known && byPath.known);
        QCOMPARE(byPath.id, byId.id);
        QCOMPARE(byId.top, realPath(point));
        QCOMPARE(byPath.top, byId.top);
    }

    // A failure while the file is copied into the trash speaks of the trash, never of a move or its target,
    // and leaves the file where it was with nothing of it in the trash.
    void failedCopyIntoTrashSpeaksOfTheTrash_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("lockSource");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("words");
        const QString copyRefused = QStringLiteral("its copy in the trash folder %1 cannot be written");
        QTest::newRow("disk full while writing")
            << int(CopyStep::Write) << false << "No space left on device" << copyRefused;
        QTest::newRow("disk full at the sync")
            << int(CopyStep::Sync) << false << "No space left on device" << copyRefused;
        QTest::newRow("disk full at the close")
            << int(CopyStep::Close) << false << "No space left on device" << copyRefused;
        // Copied, then the file is made immutable, which changes it: it stays and the copy leaves the trash.
        QTest::newRow("file locked after its copy")
            << int(CopyStep::Close) << true << "it was left in place; its copy was removed" << QString();
    }

    void failedCopyIntoTrashSpeaksOfTheTrash()
    {
        QFETCH(int, step);
        QFETCH(bool, lockSource);
        QFETCH(QString, reason);
        QFETCH(QString, words);
        OtherMount volatileMount(8 << 20, false);
        if (!volatileMount.usable())
            QSKIP("no tmpfs of our own to test with");
        const QByteArray source = volatileMount.path() + "/kept.txt";
        QVERIFY(FileTree::write(source, QByteArray(200000, 'k')));
        const QList<QByteArray> filesBefore = FileTree::list(homeTrash() + "/files");
        const QList<QByteArray> infoBefore = FileTree::list(homeTrash() + "/info");
        FaultHookReset resetHook;
        bool locked = false;
        setCopyFaultHook([&](CopyStep at, qint64) {
            if (at != CopyStep(step))
                return 0;
            if (lockSource)
                return (locked = setImmutable(source, true)) ? 0 : EIO;
            return ENOSPC;
        });

        const TrashResult result = moveToTrash(source);
        if (locked)
            QVERIFY(setImmutable(source, false));
        if (lockSource && !locked)
            QSKIP("this file system cannot make a file immutable");
        QVERIFY(!result.ok);
        static const QRegularExpression movesWords(QStringLiteral("target|\\bmov(e|ed|ing)\\b|copied, but"));
        QVERIFY2(!result.error.contains(movesWords), qPrintable(result.error));
        QVERIFY2(result.error.endsWith(reason), qPrintable(result.error));
        if (!words.isEmpty())
            QCOMPARE(result.error, words.arg(QString::fromUtf8(homeTrash())) + ": " + reason);
        QCOMPARE(FileTree::read(source), QByteArray(200000, 'k'));
        QCOMPARE(FileTree::list(homeTrash() + "/files"), filesBefore);
        QCOMPARE(FileTree::list(homeTrash() + "/info"), infoBefore);
    }
};

LENTROVA_TEST_MAIN(TestTrash)
#include "test_trash.moc"
