// SPDX-License-Identifier: MIT
#include "platform/trash.h"
#include "support/filetree.h"
#include "support/testmain.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QUrl>

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
} // namespace

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
        OtherMount mount;
        if (!mount.usable())
            QSKIP("no second file system to test with");
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

    // An administrator's sticky .Trash on the mount holds a folder per user; a .Trash without the sticky bit
    // could be tampered with by others and is passed over.
    void sharedTrashOnMount_data()
    {
        QTest::addColumn<bool>("sticky");
        QTest::newRow("sticky") << true;
        QTest::newRow("not sticky") << false;
    }

    void sharedTrashOnMount()
    {
        QFETCH(bool, sticky);
        OtherMount mount(8 << 20, false);
        if (!mount.usable())
            QSKIP("cannot mount a file system of our own here");
        const QByteArray shared = mount.top() + "/.Trash";
        QVERIFY(FileTree::makeFolder(shared, 0777));
        QCOMPARE(::chmod(shared.constData(), sticky ? 01777 : 0777), 0);
        const QByteArray source = mount.path() + "/file.txt";
        QVERIFY(FileTree::write(source, "x"));
        const TrashResult result = moveToTrash(source);
        QVERIFY(result.ok);
        const QByteArray uid = QByteArray::number(::geteuid());
        const QByteArray expected = sticky ? shared + '/' + uid : mount.top() + "/.Trash-" + uid;
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
        const TrashResult result = moveToTrash(source);
        QProcess::execute("mount", {"-o", "remount,rw", QFile::decodeName(mount.top())});
        QVERIFY(!result.ok);
        QVERIFY(FileTree::exists(source));
    }
};

LENTROVA_TEST_MAIN(TestTrash)
#include "test_trash.moc"
