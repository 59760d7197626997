// SPDX-License-Identifier: MIT
#include "platform/filemove.h"
#include "support/attributes.h"
#include "support/filehold.h"
#include "support/filetree.h"
#include "support/fixtures.h"
#include "support/testmain.h"
#include "support/unprivileged.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <cerrno>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

// Moves args[0] to args[1] as the unprivileged user would: place, then remove the source; prints the outcome.
UNPRIVILEGED_STEP(moveOneFile)
{
    const QByteArray source = QFile::encodeName(args.value(0));
    const PlaceResult placed = placeFile(source, QFile::encodeName(args.value(1)), {}, nullptr);
    const QString removal = removeCopiedSource(source, placed);
    std::printf("%s\n", qPrintable(placed.placed ? QStringLiteral("placed; ") + removal : placed.error));
    return 0;
}

namespace {
QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator gen(42);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(gen.generate() & 0xff);
    return bytes;
}

// Anything the copy leaves behind besides the target shows up here.
QList<QByteArray> leftovers(const QByteArray& folder, const QByteArray& except = QByteArray())
{
    QList<QByteArray> names = FileTree::list(folder);
    names.removeAll(except);
    return names;
}
} // namespace

class TestFileMove : public QObject
{
    Q_OBJECT

private slots:
    void keepsContentBitsAndTimes_data()
    {
        QTest::addColumn<bool>("allowRename");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("rename, read-only source") << true << 0444u << qsizetype(10);
        QTest::newRow("copy, read-only source") << false << 0444u << qsizetype(10);
        QTest::newRow("copy, private") << false << 0600u << qsizetype(0);
        QTest::newRow("copy, executable, several chunks") << false << 0750u << qsizetype((3 << 20) + 17);
        QTest::newRow("copy, set-gid") << false << 02755u << qsizetype(100);
    }

    void keepsContentBitsAndTimes()
    {
        QFETCH(bool, allowRename);
        QFETCH(uint, mode);
        QFETCH(qsizetype, size);
        ScratchDir from, to;
        const QByteArray source = from.path() + "/data\xff.bin";
        const QByteArray target = to.path() + "/data\xff.bin";
        const QByteArray content = randomBytes(size);
        QVERIFY(FileTree::write(source, content, mode));
        QVERIFY(FileTree::setModified(source, 981173106, 123456789));

        const PlaceResult placed = placeFile(source, target, PlaceOptions{allowRename, false, {}}, nullptr);
        QVERIFY2(placed.placed, qPrintable(placed.error));
        QCOMPARE(placed.renamed, allowRename);
        QCOMPARE(removeCopiedSource(source, placed), QString());
        QVERIFY(!FileTree::exists(source));
        QCOMPARE(FileTree::read(target), content);
        const struct stat st = FileTree::statOf(target);
        QCOMPARE(st.st_mode & 07777, mode);
        QCOMPARE(qint64(st.st_mtim.tv_sec), qint64(981173106));
        QCOMPARE(qint64(st.st_mtim.tv_nsec), qint64(123456789));
        QCOMPARE(leftovers(to.path(), "data\xff.bin"), QList<QByteArray>());
    }

    void replacesWritableFile_data()
    {
        QTest::addColumn<bool>("allowRename");
        QTest::addColumn<bool>("mayClear");
        QTest::newRow("rename") << true << true;
        QTest::newRow("copy") << false << true;
        QTest::newRow("rename, nobody clears the name") << true << false;
        QTest::newRow("copy, nobody clears the name") << false << false;
    }

    // A file holding the target name is handed over to be cleared just before the name is taken, never
    // overwritten; without anyone to clear it, nothing changes.
    void replacesWritableFile()
    {
        QFETCH(bool, allowRename);
        QFETCH(bool, mayClear);
        ScratchDir from, to, aside;
        QVERIFY(FileTree::write(from.path() + "/f", "new"));
        QVERIFY(FileTree::write(to.path() + "/f", "old and longer"));
        PlaceOptions options{allowRename, false, {}};
        if (mayClear)
            options.clearTarget = [&](const QByteArray& target) {
                return ::rename(target.constData(), (aside.path() + "/f").constData()) == 0
                           ? QString()
                           : QStringLiteral("could not");
            };
        const PlaceResult placed = placeFile(from.path() + "/f", to.path() + "/f", options, nullptr);
        QCOMPARE(placed.placed, mayClear);
        QCOMPARE(placed.clearedTarget, mayClear);
        if (!mayClear) {
            QCOMPARE(placed.error, QStringLiteral("a file of that name is in the target folder"));
            QCOMPARE(FileTree::read(to.path() + "/f"), QByteArray("old and longer"));
            QCOMPARE(FileTree::read(from.path() + "/f"), QByteArray("new"));
            return;
        }
        QCOMPARE(removeCopiedSource(from.path() + "/f", placed), QString());
        QCOMPARE(FileTree::read(to.path() + "/f"), QByteArray("new"));
        QCOMPARE(FileTree::read(aside.path() + "/f"), QByteArray("old and longer"));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("situation");
        QTest::addColumn<bool>("allowRename");
        QTest::addColumn<QString>("reason");
        for (bool rename : {true, false}) {
            const char* how = rename ? "rename" : "copy";
            QTest::addRow("read-only target, %s", how)
                << QByteArray("read-only target") << rename
                << "a read-only file of that name is in the target folder";
            QTest::addRow("folder of that name, %s", how) << QByteArray("folder of that name") << rename
                                                          << "a folder of that name is in the target folder";
            QTest::addRow("own folder, %s", how)
                << QByteArray("own folder") << rename << "the file is already in the target folder";
            QTest::addRow("target folder gone, %s", how)
                << QByteArray("target folder gone") << rename << "the target folder does not exist";
            QTest::addRow("hard link in target, %s", how)
                << QByteArray("hard link in target") << rename << "the file is already in the target folder";
        }
    }

    // Every refusal leaves the source and anything in the target exactly as they were.
    void refusals()
    {
        QFETCH(QByteArray, situation);
        QFETCH(bool, allowRename);
        QFETCH(QString, reason);
        ScratchDir from, to;
        QByteArray source = from.path() + "/f.txt";
        QByteArray target = to.path() + "/f.txt";
        QVERIFY(FileTree::write(source, "source"));
        if (situation == "read-only target")
            QVERIFY(FileTree::write(target, "read-only", 0444));
        else if (situation == "folder of that name")
            QVERIFY(FileTree::makeFolder(target));
        else if (situation == "own folder")
            target = source;
        else if (situation == "target folder gone")
            target = to.path() + "/gone/f.txt";
        else if (situation == "hard link in target")
            QCOMPARE(::link(source.constData(), target.constData()), 0);
        const QList<QByteArray> before = FileTree::list(to.path());

        const PlaceResult placed = placeFile(source, target, PlaceOptions{allowRename, false, {}}, nullptr);
        QVERIFY(!placed.placed);
        QCOMPARE(placed.error, reason);
        QVERIFY(!removeCopiedSource(source, placed).isEmpty());
        QCOMPARE(FileTree::read(source), QByteArray("source"));
        QCOMPARE(FileTree::list(to.path()), before);
        if (situation == "read-only target")
            QCOMPARE(FileTree::read(target), QByteArray("read-only"));
    }

    void faults_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk full midway")
            << int(CopyStep::Write) << ENOSPC << "could not write the copy: No space left on device";
        QTest::newRow("sync fails") << int(CopyStep::Sync) << EIO
                                    << "could not write the copy: Input/output error";
        QTest::newRow("close fails") << int(CopyStep::Close) << EDQUOT
                                     << "could not write the copy: Disk quota exceeded";
    }

    // A copy that did not complete leaves no trace in the target, and the file it would replace is intact.
    void faults()
    {
        QFETCH(int, step);
        QFETCH(int, error);
        QFETCH(QString, reason);
        FaultHookReset reset;
        setCopyFaultHook([&](CopyStep at, qint64 offset) {
            return int(at) == step && (at != CopyStep::Write || offset >= (1 << 20)) ? error : 0;
        });
        ScratchDir from, to;
        const QByteArray content = randomBytes((2 << 20) + 5);
        QVERIFY(FileTree::write(from.path() + "/big", content));
        QVERIFY(FileTree::write(to.path() + "/big", "previous"));
        const PlaceResult placed =
            placeFile(from.path() + "/big", to.path() + "/big", PlaceOptions{false, false, {}}, nullptr);
        QVERIFY(!placed.placed);
        QCOMPARE(placed.error, reason);
        QVERIFY(!removeCopiedSource(from.path() + "/big", placed).isEmpty());
        QCOMPARE(FileTree::read(from.path() + "/big"), content);
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>{"big"});
        QCOMPARE(FileTree::read(to.path() + "/big"), QByteArray("previous"));
    }

    // The same on a real file system that runs out of space.
    void fullFileSystem()
    {
        OtherMount small(1 << 20, false);
        if (!small.usable())
            QSKIP("cannot mount a small file system here; the fault seam covers this");
        ScratchDir from;
        const QByteArray content = randomBytes(3 << 20);
        QVERIFY(FileTree::write(from.path() + "/big", content));
        const PlaceResult placed = placeFile(from.path() + "/big", small.path() + "/big", {}, nullptr);
        QVERIFY(!placed.placed);
        QVERIFY2(placed.error.contains("No space left on device"), qPrintable(placed.error));
        QCOMPARE(FileTree::read(from.path() + "/big"), content);
        QCOMPARE(FileTree::list(small.path()), QList<QByteArray>());
    }

    // A source that could not be deleted afterwards is not copied at all, so a move never ends as a copy.
    void sourceThatCannotGoIsNotCopied()
    {
        OtherMount mount(8 << 20, false);
        if (!mount.usable())
            QSKIP("cannot mount a file system of our own here");
        const QByteArray source = mount.path() + "/f";
        QVERIFY(FileTree::write(source, "stays"));
        if (QProcess::execute("mount", {"-o", "remount,ro", QFile::decodeName(mount.top())}) != 0)
            QSKIP("cannot make the file system read-only here");
        ScratchDir to;
        const PlaceResult placed = placeFile(source, to.path() + "/f", {}, nullptr);
        QProcess::execute("mount", {"-o", "remount,rw", QFile::decodeName(mount.top())});
        QVERIFY(!placed.placed);
        QCOMPARE(placed.error, QStringLiteral("the file's folder does not let it go: Read-only file system"));
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
        QCOMPARE(FileTree::read(source), QByteArray("stays"));
    }

    // Another file system: a rename cannot work there, so the verified copy must.
    void otherMountCopies()
    {
        OtherMount mount;
        if (!mount.usable())
            QSKIP("no second file system to test with");
        ScratchDir from;
        const QByteArray content = randomBytes(100000);
        QVERIFY(FileTree::write(from.path() + "/f", content, 0640));
        QVERIFY(FileTree::setModified(from.path() + "/f", 1000000000, 5));
        const PlaceResult placed = placeFile(from.path() + "/f", mount.path() + "/f", {}, nullptr);
        QVERIFY2(placed.placed, qPrintable(placed.error));
        QVERIFY(!placed.renamed);
        QCOMPARE(removeCopiedSource(from.path() + "/f", placed), QString());
        QCOMPARE(FileTree::read(mount.path() + "/f"), content);
        QCOMPARE(FileTree::statOf(mount.path() + "/f").st_mode & 07777, 0640u);
        QCOMPARE(qint64(FileTree::statOf(mount.path() + "/f").st_mtim.tv_nsec), qint64(5));
    }

    void sourceChangedDuringCopy_data()
    {
        QTest::addColumn<bool>("keepTime");
        QTest::newRow("appended") << false;
        QTest::newRow("cut short, time set back") << true;
    }

    // A file written to while it is copied must not be deleted on the strength of an older copy, even when
    // the writer puts the modification time back.
    void sourceChangedDuringCopy()
    {
        QFETCH(bool, keepTime);
        FaultHookReset reset;
        ScratchDir from, to;
        const QByteArray source = from.path() + "/changing";
        QVERIFY(FileTree::write(source, randomBytes(3 << 20)));
        QVERIFY(FileTree::setModified(source, 1500000000, 0));
        setCopyFaultHook([&](CopyStep at, qint64 offset) {
            if (at == CopyStep::Write && offset == 0) {
                if (keepTime) {
                    (void)!::truncate(source.constData(), 1 << 20);
                    FileTree::setModified(source, 1500000000, 0);
                } else {
                    const int fd = ::open(source.constData(), O_WRONLY | O_APPEND);
                    (void)!::write(fd, "more", 4);
                    ::close(fd);
                }
            }
            return 0;
        });
        const PlaceResult placed =
            placeFile(source, to.path() + "/changing", PlaceOptions{false, false, {}}, nullptr);
        QVERIFY(!placed.placed);
        QCOMPARE(placed.error, QStringLiteral("the file changed while it was being copied"));
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
        QVERIFY(FileTree::exists(source));
    }

    void sourceChangedAfterCopy_data()
    {
        QTest::addColumn<bool>("sameSizeAndTime");
        QTest::newRow("rewritten longer") << false;
        QTest::newRow("same size, time set back") << true;
    }

    // A source changed between its copy and the removal stays, and the now stale copy goes: never an older
    // copy beside a newer file. The change time tells even when size and modification time were kept.
    void sourceChangedAfterCopy()
    {
        QFETCH(bool, sameSizeAndTime);
        ScratchDir from, to;
        const QByteArray source = from.path() + "/f";
        QVERIFY(FileTree::write(source, "v1"));
        QVERIFY(FileTree::setModified(source, 1500000000, 0));
        const PlaceResult placed =
            placeFile(source, to.path() + "/f", PlaceOptions{false, true, {}}, nullptr);
        QVERIFY(placed.placed);
        const QByteArray newer = sameSizeAndTime ? "v2" : "version 2";
        QVERIFY(FileTree::write(source, newer));
        if (sameSizeAndTime)
            QVERIFY(FileTree::setModified(source, 1500000000, 0));
        QCOMPARE(removeCopiedSource(source, placed),
                 QStringLiteral("the file changed after it was copied, so it was left in place; its copy was "
                                "removed"));
        QCOMPARE(FileTree::read(source), newer);
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
    }

    void undeletableSourceIsRefused_data()
    {
        QTest::addColumn<FileHold::Kind>("hold");
        QTest::addColumn<bool>("allowRename");
        QTest::addColumn<QString>("reason");
        const struct
        {
            const char* name;
            FileHold::Kind hold;
            const char* reason;
        } holds[] = {
            {"immutable", FileHold::Kind::Immutable, "it cannot be deleted: the file is immutable"},
            {"append-only", FileHold::Kind::AppendOnly, "it cannot be deleted: the file is append-only"},
            {"folder immutable", FileHold::Kind::FolderImmutable,
             "the file's folder does not let it go: the folder is immutable"},
            {"folder append-only", FileHold::Kind::FolderAppendOnly,
             "the file's folder does not let it go: the folder is append-only"},
            {"bind-mounted file", FileHold::Kind::MountedOver,
             "it cannot be deleted: another file is mounted over it"},
        };
        for (const auto& h : holds) {
            QTest::addRow("%s, one file system", h.name) << h.hold << true << QString::fromLatin1(h.reason);
            QTest::addRow("%s, by copy", h.name) << h.hold << false << QString::fromLatin1(h.reason);
        }
    }

    // A source that cannot be deleted is refused before anything is placed, whether the move would rename or
    // copy: otherwise the file would end up in two places.
    void undeletableSourceIsRefused()
    {
        QFETCH(FileHold::Kind, hold);
        QFETCH(bool, allowRename);
        QFETCH(QString, reason);
        ScratchDir from, to;
        const QByteArray source = from.path() + "/f";
        QVERIFY(FileTree::write(source, "stays"));
        FileHold held(source, hold);
        if (!held.skipReason().isEmpty())
            QSKIP(qPrintable(held.skipReason()));
        const QByteArray before = FileTree::read(source);
        const PlaceResult placed =
            placeFile(source, to.path() + "/f", PlaceOptions{allowRename, false, {}}, nullptr);
        QVERIFY(!placed.placed);
        QCOMPARE(placed.error, reason);
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
        QCOMPARE(FileTree::read(source), before);
        held.release();
        QCOMPARE(FileTree::read(source), QByteArray("stays"));
    }

    // A source that became undeletable after its copy was placed keeps its place, and the copy goes.
    void sourceHeldAfterCopyLosesItsCopy_data()
    {
        QTest::addColumn<FileHold::Kind>("hold");
        QTest::addColumn<QString>("reason");
        const QString refused =
            QStringLiteral("the file could not be deleted: Operation not permitted; its copy was removed");
        QTest::newRow("folder immutable") << FileHold::Kind::FolderImmutable << refused;
        QTest::newRow("folder append-only") << FileHold::Kind::FolderAppendOnly << refused;
        // The path now leads to the file mounted over it, and the flag itself changes the file's change time.
        const QString changed = QStringLiteral(
            "the file changed after it was copied, so it was left in place; its copy was removed");
        QTest::newRow("bind-mounted") << FileHold::Kind::MountedOver << changed;
        QTest::newRow("immutable") << FileHold::Kind::Immutable << changed;
    }

    void sourceHeldAfterCopyLosesItsCopy()
    {
        QFETCH(FileHold::Kind, hold);
        QFETCH(QString, reason);
        ScratchDir from, to;
        const QByteArray source = from.path() + "/f";
        QVERIFY(FileTree::write(source, "stays"));
        const PlaceResult placed =
            placeFile(source, to.path() + "/f", PlaceOptions{false, true, {}}, nullptr);
        QVERIFY2(placed.placed, qPrintable(placed.error));
        FileHold held(source, hold);
        if (!held.skipReason().isEmpty())
            QSKIP(qPrintable(held.skipReason()));
        QCOMPARE(removeCopiedSource(source, placed), reason);
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
        held.release();
        QCOMPARE(FileTree::read(source), QByteArray("stays"));
    }

    void stopAbandonsCopy()
    {
        ScratchDir from, to;
        QVERIFY(FileTree::write(from.path() + "/f", randomBytes(1000)));
        const std::atomic<bool> stop{true};
        const PlaceResult placed =
            placeFile(from.path() + "/f", to.path() + "/f", PlaceOptions{false, false, {}}, &stop);
        QVERIFY(!placed.placed);
        QVERIFY(FileTree::exists(from.path() + "/f"));
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
    }

    // Someone else's file in a sticky folder (as /tmp) may not be removed by this user: refused before any
    // copy, so it never ends up twice with whatever its copy replaced gone.
    void othersFileInStickyFolderIsRefused()
    {
        SKIP_UNLESS_UNPRIVILEGED_RUNS();
        ScratchDir shared, mine;
        QVERIFY(::chmod(shared.path().constData(), 01777) == 0);
        const QByteArray source = shared.path() + "/theirs.txt";
        QVERIFY(FileTree::write(source, "owned by root"));
        QVERIFY(Unprivileged::giveTree(mine.path()));
        QVERIFY(Unprivileged::openWayTo(source) && Unprivileged::openWayTo(mine.path() + "/x"));

        const Unprivileged::Outcome outcome =
            Unprivileged::runStep("moveOneFile", {QFile::decodeName(source), mine.qpath() + "/theirs.txt"});
        QVERIFY2(outcome.exitCode == 0, outcome.err.constData());
        QCOMPARE(
            outcome.out.trimmed(),
            QByteArray("the file's folder does not let it go: it is sticky and the file is someone else's"));
        QCOMPARE(FileTree::read(source), QByteArray("owned by root"));
        QCOMPARE(FileTree::list(mine.path()), QList<QByteArray>());
    }

    // Tags, the "where from" address and an ACL travel with the file to another file system, as with mv.
    void keepsExtendedAttributesAcrossFileSystems()
    {
        OtherMount mount;
        if (!mount.usable())
            QSKIP("no second file system to test with");
        ScratchDir from;
        const QByteArray source = from.path() + "/tagged.txt";
        QVERIFY(FileTree::write(source, "tagged", 0664));
        const QMap<QByteArray, QByteArray> wanted{{"user.xdg.tags", "invoices,2026"},
                                                  {"user.xdg.origin.url", "https://quenlor.example.com/f"},
                                                  {"system.posix_acl_access", Attributes::accessAcl(4242)}};
        for (auto it = wanted.begin(); it != wanted.end(); ++it)
            if (!Attributes::set(source, it.key(), it.value()))
                QSKIP(qPrintable("this file system refuses the attribute " + it.key()));
        const QMap<QByteArray, QByteArray> before = Attributes::of(source);

        const PlaceResult placed = placeFile(source, mount.path() + "/tagged.txt", {}, nullptr);
        QVERIFY2(placed.placed, qPrintable(placed.error));
        QCOMPARE(removeCopiedSource(source, placed), QString());
        const QMap<QByteArray, QByteArray> after = Attributes::of(mount.path() + "/tagged.txt");
        for (auto it = before.begin(); it != before.end(); ++it)
            QCOMPARE(after.value(it.key()), it.value());
    }

    // A file system that keeps no extended attributes still takes the file; the caller learns which were
    // lost.
    void refusedAttributesAreReported()
    {
        RamfsMount bare;
        if (!bare.usable())
            QSKIP("cannot mount a ramfs here, which keeps no extended attributes");
        ScratchDir from;
        const QByteArray source = from.path() + "/f";
        QVERIFY(FileTree::write(source, "content"));
        if (!Attributes::set(source, "user.xdg.comment", "keep me"))
            QSKIP("this file system refuses user attributes");
        const PlaceResult placed = placeFile(source, bare.path() + "/f", {}, nullptr);
        QVERIFY2(placed.placed, qPrintable(placed.error));
        QCOMPARE(placed.lostAttributes, QStringList{"user.xdg.comment"});
        QCOMPARE(removeCopiedSource(source, placed), QString());
        QCOMPARE(FileTree::read(bare.path() + "/f"), QByteArray("content"));
    }

    // A sparse file stays sparse on the other side, byte for byte the same.
    void keepsHoles()
    {
        OtherMount mount(64 << 20);
        if (!mount.usable())
            QSKIP("no second file system to test with");
        ScratchDir from;
        const QByteArray source = from.path() + "/disk.img";
        const qint64 size = qint64(48) << 20;
        {
            const int fd = ::open(source.constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::pwrite(fd, "head", 4, 0), ssize_t(4));
            QCOMPARE(::pwrite(fd, "middle", 6, size / 2), ssize_t(6));
            QCOMPARE(::ftruncate(fd, size), 0);
            ::close(fd);
        }
        if (FileTree::statOf(source).st_blocks * 512 >= size)
            QSKIP("this file system keeps no holes");
        const QByteArray content = FileTree::read(source);
        const PlaceResult placed = placeFile(source, mount.path() + "/disk.img", {}, nullptr);
        QVERIFY2(placed.placed, qPrintable(placed.error));
        const struct stat copied = FileTree::statOf(mount.path() + "/disk.img");
        QCOMPARE(qint64(copied.st_size), size);
        QVERIFY2(qint64(copied.st_blocks) * 512 < (1 << 20), qPrintable(QString::number(copied.st_blocks)));
        QVERIFY(FileTree::read(mount.path() + "/disk.img") == content);
    }

    // A link is moved as a link: what it points to is neither copied nor touched.
    void linkStaysALink()
    {
        ScratchDir from, to;
        QVERIFY(FileTree::write(from.path() + "/target", "pointed at"));
        QCOMPARE(::symlink("target", (from.path() + "/link").constData()), 0);
        const PlaceResult placed =
            placeFile(from.path() + "/link", to.path() + "/link", PlaceOptions{false, false, {}}, nullptr);
        QVERIFY2(placed.placed, qPrintable(placed.error));
        QCOMPARE(removeCopiedSource(from.path() + "/link", placed), QString());
        QVERIFY(S_ISLNK(FileTree::statOf(to.path() + "/link").st_mode));
        char buffer[64] = {};
        QCOMPARE(::readlink((to.path() + "/link").constData(), buffer, sizeof buffer - 1), ssize_t(6));
        QCOMPARE(QByteArray(buffer), QByteArray("target"));
        QCOMPARE(FileTree::read(from.path() + "/target"), QByteArray("pointed at"));
    }
};

LENTROVA_TEST_MAIN(TestFileMove)
#include "test_filemove.moc"
