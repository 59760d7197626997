// SPDX-License-Identifier: MIT
#include "fileops/failurelist.h"
#include "fileops/fileworker.h"
#include "fileops/moveoperation.h"
#include "fileops/trashoperation.h"
#include "platform/trash.h"
#include "results/prune.h"
#include "results/resultmodel.h"
#include "services/errorbox.h"
#include "support/attributes.h"
#include "support/diskmount.h"
#include "support/filetree.h"
#include "support/fixtures.h"
#include "support/testmain.h"
#include "support/unprivileged.h"

#include <QProcess>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace {
// A result list over real files: one row per name, checked where the mask says so.
struct Rows
{
    ResultModel model;
    QList<QByteArray> paths;

    void add(const QByteArray& path, bool checked)
    {
        model.appendRow(std::string_view(path.constData(), size_t(path.size())), 1);
        model.setChecked(model.rowCount() - 1, checked);
        paths.append(path);
    }
    QList<QByteArray> listed() const
    {
        QList<QByteArray> out;
        for (int r = 0; r < model.rowCount(); ++r)
            out.append(model.nativePath(r));
        return out;
    }
};

QByteArray trashInfoPath(const QByteArray& infoFile)
{
    for (const QByteArray& line : FileTree::read(infoFile).split('\n'))
        if (line.startsWith("Path="))
            return QByteArray::fromPercentEncoding(line.mid(5));
    return {};
}

// The trash entries (name -> restore path) made for paths under a folder.
QMap<QByteArray, QByteArray> trashedFrom(const QByteArray& folder)
{
    QMap<QByteArray, QByteArray> found;
    const QByteArray info = homeTrashFolder() + "/info/";
    for (const QByteArray& name : FileTree::list(info)) {
        const QByteArray path = trashInfoPath(info + name);
        if (path.startsWith(folder + '/'))
            found.insert(name.chopped(10), path);
    }
    return found;
}

// A folder mounted a second time at another place (same device and inodes), removed afterwards.
struct BindMount
{
    QByteArray at;
    bool mounted = false;
    BindMount(const QByteArray& folder, const QByteArray& place) : at(place)
    {
        mounted = ::geteuid() == 0 && QProcess::execute("mount", {"--bind", QFile::decodeName(folder),
                                                                  QFile::decodeName(place)}) == 0;
    }
    ~BindMount()
    {
        if (mounted)
            QProcess::execute("umount", {QFile::decodeName(at)});
    }
    bool usable() const { return mounted; }
};
// Sends one checked row to the trash or moves it into a folder; prints how many rows went and the message.
QByteArray trashOrMove(const QString& operation, const QByteArray& path, const QByteArray& target)
{
    Rows rows;
    rows.add(path, true);
    QString message;
    if (operation == QLatin1String("trash")) {
        TrashOperation trash;
        trash.addChecked(rows.model.snapshot());
        trash.run({});
        trash.removeGoneRows(rows.model);
        message = trash.endMessage();
    } else {
        MoveOperation move(target + '/', PlaceOptions{operation == QLatin1String("move"), false, {}});
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);
        message = move.endMessage();
    }
    return QByteArray::number(1 - rows.model.rowCount()) + '\n' + message.toUtf8();
}
} // namespace

UNPRIVILEGED_STEP(trashOrMoveOneRow)
{
    std::printf("%s\n",
                trashOrMove(args.value(0), QFile::encodeName(args.value(1)), QFile::encodeName(args.value(2)))
                    .constData());
    return 0;
}

class TestFileOps : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { FileTree::removeTree(homeTrashFolder()); }

    void failureList_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("last");
        QTest::newRow("none") << 0 << 0 << QString();
        QTest::newRow("one") << 1 << 2 << "f1 (why)";
        QTest::newRow("twenty") << 20 << 21 << "f20 (why)";
        QTest::newRow("twenty-one") << 21 << 22 << "... and 1 more.";
        QTest::newRow("many") << 1000 << 22 << "... and 980 more.";
    }

    void failureList()
    {
        QFETCH(int, count);
        QFETCH(int, lines);
        QFETCH(QString, last);
        QStringList failures;
        for (int i = 1; i <= count; ++i)
            failures.append(failureLine(QStringLiteral("f%1").arg(i), QStringLiteral("why")));
        const QString text = failureListText(QStringLiteral("Heading:"), failures);
        const QStringList got = text.isEmpty() ? QStringList() : text.split('\n');
        QCOMPARE(got.size(), lines);
        if (lines) {
            QCOMPARE(got.first(), QStringLiteral("Heading:"));
            QCOMPARE(got.last(), last);
        }
    }

    void targetFolder_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("target");
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("folder") << "/home/ann/Archive"
                                << "/home/ann/Archive/";
        QTest::newRow("closing separator") << "/home/ann/"
                                           << "/home/ann/";
        QTest::newRow("doubled separator") << "/home/ann//"
                                           << "/home/ann/";
        QTest::newRow("backslash is a name") << "/data/a\\"
                                             << "/data/a\\/";
    }

    void targetFolder()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, target);
        QCOMPARE(moveTargetFolder(chosen), target);
    }

    // Rows leave exactly when their own file is gone; the others keep their order and their checks.
    void trashRemovesOnlyGoneRows()
    {
        ScratchDir dir;
        Rows rows;
        const QByteArray d = dir.path();
        QVERIFY(FileTree::write(d + "/a", "a") && FileTree::write(d + "/b", "b") &&
                FileTree::write(d + "/e", "e"));
        QVERIFY(FileTree::makeFolder(d + "/c")); // became a folder since the search: must not go
        QVERIFY(FileTree::write(d + "/f\xff", "f"));
        rows.add(d + "/a", true);
        rows.add(d + "/b", false);
        rows.add(d + "/c", true);
        rows.add(d + "/d", true); // vanished before the click: nothing left to keep a row for
        rows.add(d + "/e", false);
        rows.add(d + "/f\xff", true);

        TrashOperation trash;
        trash.addChecked(rows.model.snapshot());
        QCOMPARE(trash.count(), 4);
        trash.run({});
        QCOMPARE(trash.removeGoneRows(rows.model), 3);

        QCOMPARE(rows.listed(), (QList<QByteArray>{d + "/b", d + "/c", d + "/e"}));
        QCOMPARE(rows.model.isChecked(1), true);
        QCOMPARE(trash.failures(), QStringList{QString::fromUtf8(d) + "/c (it is a folder, not a file)"});
        QVERIFY(trash.endMessage().startsWith("These files were not sent to the trash:\n"));
        const QMap<QByteArray, QByteArray> trashed = trashedFrom(d);
        QCOMPARE(trashed.values(), (QList<QByteArray>{d + "/a", d + "/f\xff"}));
        const QMap<QByteArray, QByteArray> content{{d + "/a", "a"}, {d + "/f\xff", "f"}};
        for (auto it = trashed.begin(); it != trashed.end(); ++it)
            QCOMPARE(FileTree::read(homeTrashFolder() + "/files/" + it.key()), content.value(it.value()));
    }

    // Rows read from a snapshot are removed by identity, so changes to the list meanwhile do no harm.
    void trashWhileListChanges()
    {
        ScratchDir dir;
        Rows rows;
        for (const char* name : {"one", "two", "three"}) {
            QVERIFY(FileTree::write(dir.path() + '/' + name, name));
            rows.add(dir.path() + '/' + name, true);
        }
        TrashOperation trash;
        trash.addChecked(rows.model.snapshot());
        bool changed = false;
        trash.run([&] {
            if (changed)
                return;
            changed = true;
            removeRowsContaining(rows.model, QStringLiteral("/one"), noYield); // pruned meanwhile
            rows.model.appendRow(std::string_view("/late/arrival"), 7);        // a new row appended
        });
        trash.removeGoneRows(rows.model);
        QCOMPARE(rows.listed(), QList<QByteArray>{"/late/arrival"});
    }

    void trashStopsWhenAsked()
    {
        ScratchDir dir;
        Rows rows;
        for (const char* name : {"one", "two"}) {
            QVERIFY(FileTree::write(dir.path() + '/' + name, name));
            rows.add(dir.path() + '/' + name, true);
        }
        TrashOperation trash;
        trash.addChecked(rows.model.snapshot());
        int yields = 0;
        trash.run([&] {
            if (++yields == 2)
                trash.requestStop();
        });
        QVERIFY(!FileTree::exists(dir.path() + "/one"));
        QVERIFY(FileTree::exists(dir.path() + "/two"));
        QCOMPARE(trash.goneIds().size(), std::size_t(1));
    }

    // A file on tmpfs goes to the home trash as a copy; when the copy fails the file stays whole, keeps its
    // row, and nothing of it is left in the trash.
    void trashCopyFailureKeepsFile_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("error");
        QTest::newRow("disk full while writing") << int(CopyStep::Write) << ENOSPC;
        QTest::newRow("sync fails") << int(CopyStep::Sync) << EIO;
    }

    void trashCopyFailureKeepsFile()
    {
        QFETCH(int, step);
        QFETCH(int, error);
        OtherMount mount;
        if (!mount.usable())
            QSKIP("no tmpfs to test with");
        FaultHookReset reset;
        setCopyFaultHook([=](CopyStep at, qint64) { return int(at) == step ? error : 0; });
        const QByteArray source = mount.path() + "/volatile.txt";
        QVERIFY(FileTree::write(source, "only copy"));
        Rows rows;
        rows.add(source, true);
        TrashOperation trash;
        trash.addChecked(rows.model.snapshot());
        trash.run({});

        QCOMPARE(trash.removeGoneRows(rows.model), 0);
        QCOMPARE(FileTree::read(source), QByteArray("only copy"));
        QCOMPARE(trash.failures().size(), 1);
        QVERIFY2(trash.failures()[0].startsWith(QString::fromUtf8(source) + " (") &&
                     trash.failures()[0].contains(systemErrorText(error)),
                 qPrintable(trash.failures()[0]));
        QVERIFY(trashedFrom(mount.path()).isEmpty());
        for (const QByteArray& name : FileTree::list(homeTrashFolder() + "/files"))
            QVERIFY2(FileTree::exists(homeTrashFolder() + "/info/" + name + ".trashinfo"), name.constData());
    }

    void moveOutcomes_data()
    {
        QTest::addColumn<QByteArray>("situation");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QString>("reason");
        QTest::newRow("plain") << QByteArray("plain") << true << QString();
        QTest::newRow("read-only source") << QByteArray("read-only source") << true << QString();
        QTest::newRow("invalid utf-8 name") << QByteArray("invalid name") << true << QString();
        QTest::newRow("writable file of that name") << QByteArray("writable target") << true << QString();
        QTest::newRow("read-only target") << QByteArray("read-only target") << false
                                          << "a read-only file of that name is in the target folder";
        QTest::newRow("own folder") << QByteArray("own folder") << false
                                    << "the file is already in the target folder";
        QTest::newRow("target folder gone")
            << QByteArray("target gone") << false << "the target folder does not exist";
        QTest::newRow("disk full") << QByteArray("disk full") << false
                                   << "could not write the copy: No space left on device";
    }

    // One file among unchecked neighbours: moved (row gone, bits kept) or kept (row and file stay, told why).
    void moveOutcomes()
    {
        QFETCH(QByteArray, situation);
        QFETCH(bool, moved);
        QFETCH(QString, reason);
        FaultHookReset reset;
        ScratchDir from, to;
        QByteArray name = situation == "invalid name" ? QByteArray("caf\xe9.txt") : QByteArray("file.txt");
        const QByteArray source = from.path() + '/' + name;
        QVERIFY(FileTree::write(source, "payload", situation == "read-only source" ? 0444 : 0644));
        QVERIFY(FileTree::write(from.path() + "/other", "other"));
        QByteArray target = to.path() + '/';
        if (situation == "read-only target")
            QVERIFY(FileTree::write(target + name, "old", 0444));
        if (situation == "writable target")
            QVERIFY(FileTree::write(target + name, "old"));
        if (situation == "own folder")
            target = from.path() + '/';
        if (situation == "target gone")
            target = to.path() + "/gone/";
        if (situation == "disk full")
            setCopyFaultHook([](CopyStep step, qint64) { return step == CopyStep::Write ? ENOSPC : 0; });

        Rows rows;
        rows.add(from.path() + "/other", false);
        rows.add(source, true);
        rows.add(from.path() + "/other", false);
        // The disk-full case must take the copy path, where the fault is injected.
        MoveOperation move(target, PlaceOptions{situation != "disk full", false, {}});
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);

        QCOMPARE(rows.model.rowCount(), moved ? 2 : 3);
        QCOMPARE(FileTree::exists(source), !moved);
        if (moved) {
            QCOMPARE(FileTree::read(target + name), QByteArray("payload"));
            QCOMPARE(FileTree::statOf(target + name).st_mode & 0777,
                     situation == "read-only source" ? 0444u : 0644u);
            QVERIFY(move.failures().isEmpty());
            if (situation == "writable target")
                QCOMPARE(move.endMessage(), "These files were moved:\n" + QString::fromUtf8(target + name) +
                                                ": replaced; the earlier file is in the trash");
            else
                QVERIFY(move.endMessage().isEmpty());
        } else {
            QCOMPARE(FileTree::read(source), QByteArray("payload"));
            QCOMPARE(move.failures(), QStringList{failureLine(QString::fromUtf8(source), reason)});
            QVERIFY(move.endMessage().startsWith("These files were not moved:\n"));
            QCOMPARE(rows.model.nativePath(1), source);
        }
        if (situation == "read-only target")
            QCOMPARE(FileTree::read(target + name), QByteArray("old"));
    }

    // Two chosen files with one name: the first is moved, the later one never replaces it.
    void sameNameNeverReplacesWithinOneMove()
    {
        ScratchDir a, b, c, to;
        QVERIFY(FileTree::write(a.path() + "/same.txt", "from a"));
        QVERIFY(FileTree::write(b.path() + "/same.txt", "from b"));
        QVERIFY(FileTree::write(c.path() + "/same.txt", "from c"));
        QVERIFY(FileTree::write(a.path() + "/unique.txt", "unique"));
        Rows rows;
        rows.add(a.path() + "/same.txt", true);
        rows.add(b.path() + "/same.txt", true);
        rows.add(a.path() + "/unique.txt", true);
        rows.add(c.path() + "/same.txt", true);
        MoveOperation move(to.path() + '/', PlaceOptions{false, false, {}});
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);

        QCOMPARE(FileTree::read(to.path() + "/same.txt"), QByteArray("from a"));
        QCOMPARE(FileTree::read(b.path() + "/same.txt"), QByteArray("from b"));
        QCOMPARE(FileTree::read(c.path() + "/same.txt"), QByteArray("from c"));
        QCOMPARE(rows.listed(), (QList<QByteArray>{b.path() + "/same.txt", c.path() + "/same.txt"}));
        QCOMPARE(move.failures().size(), 2);
        QVERIFY(move.failures().at(0).endsWith("(a file of that name was moved there just before)"));
    }

    // A chosen file already in the target folder keeps its name against an earlier chosen file of that name.
    void residentKeepsItsName()
    {
        ScratchDir from, to;
        QVERIFY(FileTree::write(from.path() + "/n.txt", "newcomer"));
        QVERIFY(FileTree::write(to.path() + "/n.txt", "resident"));
        Rows rows;
        rows.add(from.path() + "/n.txt", true);
        rows.add(to.path() + "/n.txt", true);
        MoveOperation move(to.path() + '/');
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);
        QCOMPARE(FileTree::read(to.path() + "/n.txt"), QByteArray("resident"));
        QCOMPARE(FileTree::read(from.path() + "/n.txt"), QByteArray("newcomer"));
        QCOMPARE(rows.model.rowCount(), 2);
        QCOMPARE(move.failures().size(), 2);
    }

    // A checked row whose file vanished after the search leaves quietly; the same file listed twice moves
    // once.
    void vanishedAndDuplicateRows()
    {
        ScratchDir from, to;
        QVERIFY(FileTree::write(from.path() + "/x", "x"));
        Rows rows;
        rows.add(from.path() + "/gone", true);
        rows.add(from.path() + "/x", true);
        rows.add(from.path() + "/x", true);
        MoveOperation move(to.path() + '/');
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);
        QCOMPARE(rows.model.rowCount(), 0);
        QVERIFY(move.failures().isEmpty());
        QCOMPARE(FileTree::read(to.path() + "/x"), QByteArray("x"));
    }

    void targetSpelledDifferently_data()
    {
        QTest::addColumn<QByteArray>("rowsVia");
        QTest::addColumn<QByteArray>("targetVia");
        QTest::newRow("target through a link") << QByteArray("src") << QByteArray("lnk/t/");
        QTest::newRow("rows through a link") << QByteArray("lnk") << QByteArray("src/t/");
        QTest::newRow("target with ..") << QByteArray("src") << QByteArray("src/a/../t/");
        QTest::newRow("target through a bind mount") << QByteArray("src") << QByteArray("bound/t/");
    }

    // Three checked files of one name, one of them already in the target folder however it is spelled:
    // that one keeps its name, and neither other file replaces it.
    void targetSpelledDifferently()
    {
        QFETCH(QByteArray, rowsVia);
        QFETCH(QByteArray, targetVia);
        ScratchDir root;
        const QByteArray r = root.path() + '/';
        QVERIFY(FileTree::makeFolder(r + "src") && FileTree::makeFolder(r + "bound"));
        for (const char* folder : {"a", "b", "t"}) {
            QVERIFY(FileTree::makeFolder(r + "src/" + folder));
            QVERIFY(FileTree::write(r + "src/" + folder + "/same.txt", QByteArray(folder).toUpper()));
        }
        QCOMPARE(::symlink("src", (r + "lnk").constData()), 0);
        BindMount bind(r + "src", r + "bound");
        if (targetVia.startsWith("bound") && !bind.usable())
            QSKIP("cannot bind-mount a folder here");

        Rows rows;
        for (const char* folder : {"a", "b", "t"})
            rows.add(r + rowsVia + '/' + folder + "/same.txt", true);
        MoveOperation move(r + targetVia);
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);

        QCOMPARE(FileTree::read(r + "src/t/same.txt"), QByteArray("T"));
        QCOMPARE(FileTree::read(r + "src/a/same.txt"), QByteArray("A"));
        QCOMPARE(FileTree::read(r + "src/b/same.txt"), QByteArray("B"));
        QCOMPARE(rows.model.rowCount(), 3);
        QCOMPARE(move.failures().size(), 3);
        QVERIFY2(move.failures().at(0).endsWith(
                     "(another chosen file of that name is already in the target folder)"),
                 qPrintable(move.failures().at(0)));
        QVERIFY(move.failures().at(2).endsWith("(the file is already in the target folder)"));
    }

    void earlierFileOfThatName_data()
    {
        QTest::addColumn<bool>("allowRename");
        QTest::addColumn<bool>("trashWorks");
        QTest::newRow("rename") << true << true;
        QTest::newRow("copy") << false << true;
        QTest::newRow("rename, no trash") << true << false;
        QTest::newRow("copy, no trash") << false << false;
    }

    // The file a move replaces goes to the trash first, restorable, and the end message says so; when it
    // cannot go there, nothing moves.
    void earlierFileOfThatName()
    {
        QFETCH(bool, allowRename);
        QFETCH(bool, trashWorks);
        ScratchDir from, to, data;
        const QByteArray savedData = qgetenv("XDG_DATA_HOME");
        const auto restoreData = qScopeGuard([&] { qputenv("XDG_DATA_HOME", savedData); });
        if (!trashWorks) {
            // A file where the trash folder belongs, on the target's own file system.
            QVERIFY(FileTree::write(data.path() + "/Trash", "not a folder"));
            qputenv("XDG_DATA_HOME", data.path());
        }
        QVERIFY(FileTree::write(from.path() + "/f.txt", "new"));
        QVERIFY(FileTree::write(to.path() + "/f.txt", "earlier", 0640));
        Rows rows;
        rows.add(from.path() + "/f.txt", true);
        MoveOperation move(to.path() + '/', PlaceOptions{allowRename, false, {}});
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);

        const QMap<QByteArray, QByteArray> trashed = trashedFrom(to.path());
        if (trashWorks) {
            QCOMPARE(FileTree::read(to.path() + "/f.txt"), QByteArray("new"));
            QVERIFY(!FileTree::exists(from.path() + "/f.txt"));
            QCOMPARE(rows.model.rowCount(), 0);
            QCOMPARE(trashed.values(), QList<QByteArray>{to.path() + "/f.txt"});
            QCOMPARE(FileTree::read(homeTrashFolder() + "/files/" + trashed.firstKey()),
                     QByteArray("earlier"));
            QCOMPARE(move.endMessage(), "These files were moved:\n" + to.qpath() +
                                            "/f.txt: replaced; the earlier file is in the trash");
        } else {
            QCOMPARE(FileTree::read(to.path() + "/f.txt"), QByteArray("earlier"));
            QCOMPARE(FileTree::read(from.path() + "/f.txt"), QByteArray("new"));
            QCOMPARE(rows.model.rowCount(), 1);
            QCOMPARE(move.failures().size(), 1);
            QVERIFY2(move.failures().at(0).startsWith(
                         from.qpath() +
                         "/f.txt (the file of that name in the target folder could not go to "
                         "the trash: the trash folder " +
                         data.qpath() + "/Trash cannot be used: it is not a folder)"),
                     qPrintable(move.failures().at(0)));
            QCOMPARE(FileTree::list(to.path()), QList<QByteArray>{"f.txt"});
        }
    }

    void unreachableFileKeepsItsRow_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("unprivileged");
        QTest::addColumn<QString>("reason"); // empty: it moves
        QTest::newRow("trash, path longer than PATH_MAX") << "trash" << false << QString();
        QTest::newRow("move, path longer than PATH_MAX") << "move" << false << QString();
        QTest::newRow("move by copy, path longer than PATH_MAX") << "move by copy" << false << QString();
        for (const char* operation : {"trash", "move"})
            QTest::addRow("%s, folder without search permission", operation)
                << operation << true << "the file cannot be reached: Permission denied";
    }

    // Only "no such file" means that a file has gone: one that cannot be looked at keeps its row and is named
    // with the reason. A move or a trash run reaches a path beyond PATH_MAX through its folder's descriptor.
    void unreachableFileKeepsItsRow()
    {
        QFETCH(QString, operation);
        QFETCH(bool, unprivileged);
        QFETCH(QString, reason);
        ScratchDir from, to, data;
        QByteArray outcome;
        QByteArray path;
        if (unprivileged) {
            SKIP_UNLESS_UNPRIVILEGED_RUNS();
            path = from.path() + "/shut/f.txt";
            QVERIFY(FileTree::makeFolder(from.path() + "/shut"));
            QVERIFY(FileTree::write(path, "stays"));
            QVERIFY(Unprivileged::giveTree(from.path()) && Unprivileged::giveTree(to.path()) &&
                    Unprivileged::giveTree(data.path()));
            QVERIFY(Unprivileged::openWayTo(path) && Unprivileged::openWayTo(to.path() + "/x") &&
                    Unprivileged::openWayTo(data.path() + "/x"));
            QCOMPARE(::chmod((from.path() + "/shut").constData(), 0600), 0); // the user's, but not searchable
            QProcessEnvironment env;
            env.insert(QStringLiteral("XDG_DATA_HOME"), data.qpath());
            outcome = Unprivileged::runStep(QStringLiteral("trashOrMoveOneRow"),
                                            {operation, QFile::decodeName(path), to.qpath()}, env)
                          .out.trimmed();
            QCOMPARE(::chmod((from.path() + "/shut").constData(), 0700), 0);
            QCOMPARE(FileTree::read(path), QByteArray("stays"));
        } else {
            const DeepFile deep(from.path(), "stays");
            QVERIFY(deep.usable());
            path = deep.path();
            outcome = trashOrMove(operation, path, to.path());
            if (reason.isEmpty()) {
                QCOMPARE(outcome, QByteArray("1\n"));
                QVERIFY(!deep.exists());
                if (operation == QLatin1String("trash")) {
                    const QMap<QByteArray, QByteArray> trashed = trashedFrom(from.path());
                    QCOMPARE(trashed.values(), QList<QByteArray>{path});
                    QCOMPARE(FileTree::read(homeTrashFolder() + "/files/" + trashed.firstKey()),
                             QByteArray("stays"));
                } else {
                    QCOMPARE(FileTree::read(to.path() + "/deep.txt"), QByteArray("stays"));
                }
                return;
            }
            QCOMPARE(deep.read(), QByteArray("stays"));
        }
        const QString verb = operation == QLatin1String("trash") ? QStringLiteral("sent to the trash")
                                                                 : QStringLiteral("moved");
        QCOMPARE(QString::fromUtf8(outcome), QStringLiteral("0\nThese files were not %1:\n%2 (%3)")
                                                 .arg(verb, QString::fromUtf8(path), reason));
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
    }

    void movesOntoFuseFileSystems_data()
    {
        QTest::addColumn<DiskMount::Kind>("kind");
        QTest::addColumn<bool>("within");
        QTest::newRow("bindfs, from elsewhere") << DiskMount::Kind::Bindfs << false;
        QTest::newRow("bindfs, within") << DiskMount::Kind::Bindfs << true;
        QTest::newRow("exfat-fuse, from elsewhere") << DiskMount::Kind::Exfat << false;
        QTest::newRow("exfat-fuse, within") << DiskMount::Kind::Exfat << true;
    }

    // File systems without RENAME_NOREPLACE (and exFAT without hard links): the move places the file, and
    // the earlier file of that name goes to the mount's trash only then.
    void movesOntoFuseFileSystems()
    {
        QFETCH(DiskMount::Kind, kind);
        QFETCH(bool, within);
        DiskMount mount(kind);
        SKIP_UNLESS_MOUNTED(mount);
        ScratchDir elsewhere;
        const QByteArray from = within ? mount.path() + "/from" : elsewhere.path();
        const QByteArray to = mount.path() + "/to";
        QVERIFY((!within || FileTree::makeFolder(from)) && FileTree::makeFolder(to));
        QVERIFY(FileTree::write(from + "/f.txt", "new"));
        QVERIFY(FileTree::write(from + "/g.txt", "other"));
        QVERIFY(FileTree::write(to + "/f.txt", "earlier"));
        Rows rows;
        rows.add(from + "/f.txt", true);
        rows.add(from + "/g.txt", true);
        MoveOperation move(to + '/');
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);
        QCOMPARE(move.endMessage(), "These files were moved:\n" + QString::fromUtf8(to) +
                                        "/f.txt: replaced; the earlier file is in the trash");
        QCOMPARE(rows.model.rowCount(), 0);
        QCOMPARE(FileTree::list(to), (QList<QByteArray>{"f.txt", "g.txt"}));
        QCOMPARE(FileTree::read(to + "/f.txt"), QByteArray("new"));
        QCOMPARE(FileTree::list(from), QList<QByteArray>());
        QCOMPARE(FileTree::read(mount.top() + "/.Trash-0/files/f.txt"), QByteArray("earlier"));
    }

    void earlierFileGoesOnlyOnceTheNewOneIsCertain_data()
    {
        QTest::addColumn<bool>("allowRename");
        QTest::addColumn<bool>("copyNotDurable");
        QTest::addColumn<QString>("reason");
        QTest::newRow("copy not durable") << false << true << "could not write the copy: Input/output error";
        QTest::newRow("copy, name not taken")
            << false << false
            << "could not place the copy: Input/output error; the earlier file of that name in the target "
               "folder is in the trash";
        QTest::newRow("rename, name not taken")
            << true << false
            << "could not move the file: Input/output error; the earlier file of that name in the target "
               "folder is in the trash";
    }

    // The earlier file of the name is not sent to the trash for a copy that is not yet durable; when the
    // name still cannot be taken, the message says where the earlier file is, and never "replaced".
    void earlierFileGoesOnlyOnceTheNewOneIsCertain()
    {
        QFETCH(bool, allowRename);
        QFETCH(bool, copyNotDurable);
        QFETCH(QString, reason);
        FaultHookReset reset;
        ScratchDir from, to;
        const QByteArray target = to.path() + "/f.txt";
        QVERIFY(FileTree::write(from.path() + "/f.txt", "new"));
        QVERIFY(FileTree::write(target, "earlier"));
        if (copyNotDurable)
            setCopyFaultHook([](CopyStep step, qint64) { return step == CopyStep::Sync ? EIO : 0; });
        else
            setRenameFaultHook([&](RenameStep step, const QByteArray& name) {
                return step == RenameStep::NoReplace && name == target ? EIO : 0;
            });
        Rows rows;
        rows.add(from.path() + "/f.txt", true);
        MoveOperation move(to.path() + '/', PlaceOptions{allowRename, false, {}});
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);
        QCOMPARE(move.endMessage(),
                 "These files were not moved:\n" + from.qpath() + "/f.txt (" + reason + ')');
        QCOMPARE(rows.model.rowCount(), 1);
        QCOMPARE(FileTree::read(from.path() + "/f.txt"), QByteArray("new"));
        QCOMPARE(FileTree::list(from.path()), QList<QByteArray>{"f.txt"});
        const QMap<QByteArray, QByteArray> trashed = trashedFrom(to.path());
        if (copyNotDurable) {
            QCOMPARE(FileTree::list(to.path()), QList<QByteArray>{"f.txt"});
            QCOMPARE(FileTree::read(target), QByteArray("earlier"));
            QVERIFY(trashed.isEmpty());
        } else {
            QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
            QCOMPARE(trashed.values(), QList<QByteArray>{target});
            QCOMPARE(FileTree::read(homeTrashFolder() + "/files/" + trashed.firstKey()),
                     QByteArray("earlier"));
        }
    }

    // Files that lost extended attributes on the way are named at the end, after the files not moved.
    void lostAttributesAreNamed()
    {
        RamfsMount bare;
        if (!bare.usable())
            QSKIP("cannot mount a ramfs here, which keeps no extended attributes");
        ScratchDir from;
        Rows rows;
        for (const char* name : {"tagged", "plain"}) {
            QVERIFY(FileTree::write(from.path() + '/' + name, name));
            rows.add(from.path() + '/' + name, true);
        }
        if (!Attributes::set(from.path() + "/tagged", "user.xdg.tags", "red"))
            QSKIP("this file system refuses user attributes");
        QVERIFY(FileTree::write(bare.path() + "/plain", "read-only", 0444));
        MoveOperation move(bare.path() + '/');
        move.moveChecked(rows.model.snapshot(), {});
        QCOMPARE(move.endMessage(),
                 "These files were not moved:\n" + from.qpath() +
                     "/plain (a read-only file of that name is in the target folder)\n\nThese files were "
                     "moved:\n" +
                     QFile::decodeName(bare.path()) +
                     "/tagged: its file system did not keep the extended attributes user.xdg.tags");
        QCOMPARE(move.goneIds().size(), std::size_t(1));
    }

    // Copies to another file system are made durable a batch at a time: one sync for the batch, and not
    // one source is deleted before it.
    void batchIsDurableBeforeAnySourceGoes()
    {
        FaultHookReset reset;
        ScratchDir from, to;
        Rows rows;
        for (int i = 0; i < 5; ++i) {
            const QByteArray path = from.path() + "/f" + QByteArray::number(i);
            QVERIFY(FileTree::write(path, path));
            rows.add(path, true);
        }
        QList<int> sourcesAtSync;
        setCopyFaultHook([&](CopyStep step, qint64) {
            if (step == CopyStep::Sync)
                sourcesAtSync.append(int(FileTree::list(from.path()).size()));
            return 0;
        });
        MoveOperation move(to.path() + '/', PlaceOptions{false, false, {}});
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);
        QCOMPARE(sourcesAtSync, QList<int>{5});
        QCOMPARE(rows.model.rowCount(), 0);
        QCOMPARE(FileTree::list(to.path()).size(), 5);
    }

    // A batch whose sync fails keeps every source and row, and leaves no copy of it behind.
    void failedBatchSyncKeepsEverySource()
    {
        FaultHookReset reset;
        setCopyFaultHook([](CopyStep step, qint64) { return step == CopyStep::Sync ? EIO : 0; });
        ScratchDir from, to;
        Rows rows;
        for (const char* name : {"one", "two", "three"}) {
            QVERIFY(FileTree::write(from.path() + '/' + name, name));
            rows.add(from.path() + '/' + name, true);
        }
        MoveOperation move(to.path() + '/', PlaceOptions{false, false, {}});
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);
        QCOMPARE(FileTree::list(from.path()), (QList<QByteArray>{"one", "three", "two"}));
        QCOMPARE(rows.model.rowCount(), 3);
        QCOMPARE(move.failures().size(), 3);
        QVERIFY(move.failures().at(0).endsWith("(could not write the copy: Input/output error)"));
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
    }

    // A stop during a copy abandons it: the partial copy is removed, the source is untouched, and what was
    // moved before it stays moved.
    void stopAbandonsCopyInHand()
    {
        FaultHookReset reset;
        ScratchDir from, to;
        QVERIFY(FileTree::write(from.path() + "/small", "small"));
        const QByteArray big(4 << 20, 'b');
        QVERIFY(FileTree::write(from.path() + "/big", big));
        Rows rows;
        rows.add(from.path() + "/small", true);
        rows.add(from.path() + "/big", true);
        MoveOperation move(to.path() + '/', PlaceOptions{false, false, {}});
        setCopyFaultHook([&](CopyStep step, qint64 offset) {
            if (step == CopyStep::Write && offset >= (2 << 20))
                move.requestStop();
            return 0;
        });
        move.moveChecked(rows.model.snapshot(), {});
        move.removeGoneRows(rows.model);
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>{"small"});
        QCOMPARE(FileTree::read(from.path() + "/big"), big);
        QVERIFY(!FileTree::exists(from.path() + "/small"));
        QCOMPARE(rows.listed(), QList<QByteArray>{from.path() + "/big"});
    }

    // A copy step that throws is noted, rethrown for the error box, and the source is not deleted.
    void throwingCopyKeepsSource()
    {
        FaultHookReset reset;
        setCopyFaultHook([](CopyStep, qint64) -> int { throw AppError(QStringLiteral("Device not ready")); });
        ScratchDir from, to;
        QVERIFY(FileTree::write(from.path() + "/f", "keep me"));
        Rows rows;
        rows.add(from.path() + "/f", true);
        MoveOperation move(to.path() + '/', PlaceOptions{false, false, {}});
        move.begin(rows.model.rowId(0), from.path() + "/f");
        QVERIFY_THROWS_EXCEPTION(AppError, move.copy("f", {}));
        move.deleteSource();
        move.removeGoneRows(rows.model);
        QCOMPARE(FileTree::read(from.path() + "/f"), QByteArray("keep me"));
        QCOMPARE(rows.model.rowCount(), 1);
        QCOMPARE(move.failures(), QStringList{failureLine(from.qpath() + "/f", "Device not ready")});
        QCOMPARE(FileTree::list(to.path()), QList<QByteArray>());
    }

    void workerRunsJobsAndPassesFailures()
    {
        FileWorker worker;
        std::thread::id ranOn;
        worker.run([&] { ranOn = std::this_thread::get_id(); }, {});
        QVERIFY(ranOn != std::this_thread::get_id());
        const std::thread::id first = ranOn;
        worker.run([&] { ranOn = std::this_thread::get_id(); }, {});
        QCOMPARE(ranOn, first); // one thread for all the jobs
        QVERIFY_THROWS_EXCEPTION(AppError, worker.run([] { throw AppError(QStringLiteral("no")); }, {}));

        // A caller whose idle step throws still finds the job finished before its frame is left.
        std::atomic<bool> finished{false};
        const auto slowJob = [&] {
            QThread::msleep(30);
            finished = true;
        };
        const auto failingIdle = [] { throw std::runtime_error("idle failed"); };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, worker.run(slowJob, failingIdle));
        QVERIFY(finished);
    }

    // Waiting for a long copy keeps calling the caller's yield.
    void longCopyYields()
    {
        FaultHookReset reset;
        setCopyFaultHook([](CopyStep step, qint64) {
            if (step == CopyStep::Write)
                QThread::msleep(10);
            return 0;
        });
        ScratchDir from, to;
        QVERIFY(FileTree::write(from.path() + "/big", QByteArray(4 << 20, 'z')));
        MoveOperation move(to.path() + '/', PlaceOptions{false, false, {}});
        move.begin(1, from.path() + "/big");
        int yields = 0;
        move.copy("big", [&] { ++yields; });
        move.deleteSource();
        move.finish();
        QVERIFY2(yields >= 5, qPrintable(QString::number(yields)));
        QCOMPARE(FileTree::statOf(to.path() + "/big").st_size, off_t(4 << 20));
        QVERIFY(!FileTree::exists(from.path() + "/big"));
    }
};

LENTROVA_TEST_MAIN(TestFileOps)
#include "test_fileops.moc"
