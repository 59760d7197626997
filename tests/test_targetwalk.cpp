// SPDX-License-Identifier: MIT
#include "results/csvreport.h"
#include "results/listtable.h"
#include "support/diskmount.h"
#include "support/filetree.h"
#include "support/targetwalkrun.h"
#include "support/testmain.h"
#include "support/unprivileged.h"

#include <QFile>

#include <algorithm>

namespace {

// The rows with the tree's top taken off their paths.
QByteArrayList below(const QByteArrayList& rows, const QByteArray& top)
{
    QByteArrayList out;
    for (const QByteArray& row : rows)
        out << (row.startsWith(top + '/') ? row.mid(top.size() + 1) : row);
    return out;
}

QByteArrayList sorted(QByteArrayList rows)
{
    std::sort(rows.begin(), rows.end());
    return rows;
}

// A folder's row comes before the rows of what it holds, whatever order the listing gave.
QString folderOrderBroken(const QByteArrayList& rows)
{
    for (int i = 0; i < rows.size(); ++i) {
        const QByteArray path = rows[i].left(rows[i].indexOf('\t'));
        for (int j = 0; j < i; ++j) {
            const QByteArray earlier = rows[j].left(rows[j].indexOf('\t'));
            if (path.endsWith('/') && earlier.startsWith(path))
                return QString::fromUtf8(earlier + " before " + path);
        }
    }
    return QString();
}

std::vector<std::string> args(const QByteArrayList& words, const QByteArray& tree)
{
    std::vector<std::string> out;
    for (const QByteArray& w : words)
        out.push_back((w == "TREE" ? tree : QByteArray(w).replace("TREE", tree)).toStdString());
    return out;
}

} // namespace

// The walk as the unprivileged user, so that locked folders stay locked: one row per line, then failures.
UNPRIVILEGED_STEP(targetWalk)
{
    const TargetWalkRun run =
        runTargetWalk(QFile::encodeName(args.value(0)), args.value(1), args.value(2).toInt());
    for (const QByteArray& row : run.rows)
        std::printf("%s\n", row.constData());
    for (const QByteArray& failure : run.failures)
        std::printf("! %s\n", failure.constData());
    return 0;
}

UNPRIVILEGED_STEP(targetFinder)
{
    std::vector<std::string> words;
    for (const QString& a : args)
        words.push_back(a.toStdString());
    const FinderRun r = runFinderHere(words);
    std::printf("%d\n%s", r.exitCode, r.err.constData());
    return 0;
}

class TestTargetWalk : public QObject
{
    Q_OBJECT
private slots:
    void rows_data()
    {
        QTest::addColumn<QByteArrayList>("entries");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::newRow("empty folders are rows")
            << QByteArrayList{"CON/", "fine/", "fine/trail./"} << QStringLiteral("windows")
            << QByteArrayList{"CON/\treserved name \"CON\"", "fine/trail./\tends with a period"};
        QTest::newRow("files and folders of one folder collide")
            << QByteArrayList{"Docs/", "docs", "Docs/a.txt"} << QStringLiteral("exfat")
            << QByteArrayList{"Docs/\tsame name as \"docs\" except case",
                              "docs\tsame name as \"Docs\" except case"};
        QTest::newRow("reasons joined, files deep below")
            << QByteArrayList{"a/", "a/b/", "a/b/x:y.", "a/ok.txt"} << QStringLiteral("windows")
            << QByteArrayList{"a/b/x:y.\t\":\" at 2; ends with a period"};
        QTest::newRow("a clean tree has no rows")
            << QByteArrayList{"a/", "a/b.txt", "c.txt"} << QStringLiteral("windows") << QByteArrayList{};
        QTest::newRow("a folder's row and its contents' rows")
            << QByteArrayList{"x|y/", "x|y/z?/", "x|y/z?/w*"} << QStringLiteral("windows")
            << QByteArrayList{"x|y/\t\"|\" at 2", "x|y/z?/\t\"?\" at 2", "x|y/z?/w*\t\"*\" at 2"};
    }
    void rows()
    {
        QFETCH(QByteArrayList, entries);
        QFETCH(QString, profile);
        QFETCH(QByteArrayList, expected);
        ScratchDir dir;
        QVERIFY(makeTree(dir.path(), entries));
        for (const int readers : {0, 16}) {
            const TargetWalkRun run = runTargetWalk(dir.path(), profile, readers);
            QCOMPARE(run.failures, QByteArrayList());
            const QByteArrayList rows = below(run.rows, dir.path());
            QCOMPARE(sorted(rows), sorted(expected));
            const QString broken = folderOrderBroken(rows);
            QVERIFY2(broken.isEmpty(), qPrintable(broken));
        }
    }

    // Readers list ahead in their own order; the rows must not show it.
    void sameRowsWithAndWithoutReaders()
    {
        ScratchDir dir;
        QByteArrayList entries;
        for (int i = 0; i < 40; ++i) {
            const QByteArray top = "d" + QByteArray::number(i) + (i % 3 ? "" : ":") + '/';
            entries << top << top + "e?" + QByteArray::number(i) + '/' << top + "x" << top + "X"
                    << top + "CON.txt"
                    << top + "e?" + QByteArray::number(i) + "/deep|" + QByteArray::number(i);
        }
        QVERIFY(makeTree(dir.path(), entries));
        const TargetWalkRun alone = runTargetWalk(dir.path(), QStringLiteral("windows"), 0);
        const TargetWalkRun ahead = runTargetWalk(dir.path(), QStringLiteral("windows"), 16);
        QVERIFY(alone.rows.size() > 200);
        QCOMPARE(ahead.rows, alone.rows);
        QCOMPARE(ahead.tally.files, alone.tally.files);
        QCOMPARE(ahead.tally.folders, qint64(80));
    }

    void tally()
    {
        ScratchDir dir;
        QVERIFY(makeTree(dir.path(), {"a:b/", "a:b/c:d", "a:b/e", "NUL/", "f.", "g"}));
        const TargetWalkRun run = runTargetWalk(dir.path(), QStringLiteral("windows"), 0);
        QCOMPARE(run.tally.files, qint64(4));
        QCOMPARE(run.tally.folders, qint64(2));
        QCOMPARE(run.tally.fileSummary.count(TargetRule::ForbiddenCharacter), qint64(1));
        QCOMPARE(run.tally.folderSummary.count(TargetRule::ForbiddenCharacter), qint64(1));
        QCOMPARE(run.tally.folderSummary.count(TargetRule::ReservedName), qint64(1));
        QCOMPARE(run.tally.fileSummary.count(TargetRule::TrailingPeriod), qint64(1));
        QCOMPARE(run.tally.fileSummary.total() + run.tally.folderSummary.total(), qint64(4));
    }

    void rulesLeftOutGiveNoRows()
    {
        ScratchDir dir;
        QVERIFY(makeTree(dir.path(), {"a:b", "CON"}));
        QString error;
        const TargetRuleSet rules = ruleSetFromText(u"-forbidden-character", &error);
        const TargetWalkRun run = runTargetWalk(dir.path(), QStringLiteral("windows"), 0, {}, rules);
        QCOMPARE(below(run.rows, dir.path()), QByteArrayList{"CON\treserved name \"CON\""});
    }

    // A locked folder below the listed one is a row with the system's words, never a failure; its name's
    // own reasons come first in the same row.
    void unreadableFolderIsRow_data()
    {
        QTest::addColumn<int>("readers");
        QTest::newRow("walk alone") << 0;
        QTest::newRow("readers ahead") << 16;
    }
    void unreadableFolderIsRow()
    {
        QFETCH(int, readers);
        SKIP_UNLESS_UNPRIVILEGED_RUNS();
        ScratchDir dir;
        QVERIFY(makeTree(dir.path(), {"locked/", "locked/inside:", "CON/", "open/", "open/ok"}));
        QVERIFY(Unprivileged::giveTree(dir.path()) && Unprivileged::openWayTo(dir.path()));
        QVERIFY(::chmod((dir.path() + "/locked").constData(), 0) == 0);
        QVERIFY(::chmod((dir.path() + "/CON").constData(), 0) == 0);
        const Unprivileged::Outcome outcome =
            Unprivileged::runStep("targetWalk", {dir.qpath(), "windows", QString::number(readers)});
        QVERIFY2(outcome.exitCode == 0, outcome.err.constData());
        const QByteArrayList lines = below(outcome.out.trimmed().split('\n'), dir.path());
        QCOMPARE(sorted(lines), sorted({"CON/\treserved name \"CON\"; cannot be read: Permission denied",
                                        "locked/\tcannot be read: Permission denied"}));
    }

    void unreadableListedFolderFails()
    {
        SKIP_UNLESS_UNPRIVILEGED_RUNS();
        ScratchDir dir;
        QVERIFY(makeTree(dir.path(), {"top/", "top/a:b"}));
        QVERIFY(Unprivileged::giveTree(dir.path()) && Unprivileged::openWayTo(dir.path()));
        QVERIFY(::chmod((dir.path() + "/top").constData(), 0) == 0);
        const Unprivileged::Outcome outcome =
            Unprivileged::runStep("targetFinder", {"--target", "windows", dir.qpath() + "/top"});
        QVERIFY2(outcome.exitCode == 0, outcome.err.constData());
        QCOMPARE(outcome.out, "2\nlentrova-find: " + dir.path() + "/top: Permission denied\n");
    }

    // The rows of a target check in the model: the second column, its title, the report and the CSV.
    void problemColumnInModel()
    {
        ScratchDir dir;
        QVERIFY(makeTree(dir.path(), {"a:b/", "ok", "c?d"}));
        const TargetWalkRun run = runTargetWalk(dir.path(), QStringLiteral("windows"), 0);
        ResultModel model;
        model.setProblemColumn(true);
        model.appendBatch(run.batch);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Problem"));
        QStringList shown;
        for (int r = 0; r < model.rowCount(); ++r)
            shown << model.displayPath(r).mid(dir.path().size() + 1) + '=' +
                         model.index(r, 1).data().toString();
        shown.sort();
        QCOMPARE(shown, QStringList({"a:b/=\":\" at 2", "c?d=\"?\" at 2"}));

        model.setAllChecked(true);
        const SnapshotTable table = SnapshotTable::of(model);
        QCOMPARE(table.columnTitle(1), QStringLiteral("Problem"));
        const QString csv = dir.qpath() + "/report.csv";
        QVERIFY(!writeCsvReport(table, csv, nullptr, [] {}));
        QByteArrayList records = FileTree::read(QFile::encodeName(csv)).split('\n');
        QCOMPARE(records.takeFirst(), QByteArray("Filename(s),Problem\r"));
        QCOMPARE(records.takeLast(), QByteArray());
        std::sort(records.begin(), records.end());
        QCOMPARE(records, QByteArrayList({dir.path() + "/a:b/,\"\"\":\"\" at 2\"\r",
                                          dir.path() + "/c?d,\"\"\"?\"\" at 2\"\r"}));

        // Removing a row takes its text along; clearing keeps the column; off shows lengths again.
        const QString secondText = model.problemText(1);
        const quint64 firstId = model.rowId(0);
        model.removeRowsById({firstId});
        QCOMPARE(model.problemText(0), secondText);
        QVERIFY(!model.snapshot().problemText(0).isEmpty());
        model.clearRows();
        QVERIFY(model.problemColumn());
        model.setProblemColumn(false);
        model.appendRow("/x/abc", 3);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Length"));
        QCOMPARE(SnapshotTable::of(model).cellText(0, 1), QStringLiteral("3"));
        QCOMPARE(model.problemText(0), QString());
    }

    void finder_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArrayList>("lines"); // sorted, the tree's path as TREE
        QTest::addColumn<QByteArray>("errorText");
        const QByteArrayList tree = {"TREE"};
        QTest::newRow("paths") << QByteArrayList{"--target", "windows", "TREE"} << 0
                               << QByteArrayList{"TREE/CON/", "TREE/CON/x|y", "TREE/a:b", "TREE/bad\xff"}
                               << QByteArray();
        QTest::newRow("with reasons")
            << QByteArrayList{"--target", "windows", "--with-reason", "--rules", "-not-utf8", "TREE"} << 0
            << QByteArrayList{"TREE/CON/\treserved name \"CON\"", "TREE/CON/x|y\t\"|\" at 2",
                              "TREE/a:b\t\":\" at 2"}
            << QByteArray();
        QTest::newRow("json") << QByteArrayList{"--target", "windows",  "--format", "json",
                                                "--rules",  "not-utf8", "TREE"}
                              << 0
                              << QByteArrayList{"{\"path\": \"TREE/bad\xef\xbf\xbd\", \"path_bytes\": "
                                                "[PATHBYTES98, 97, 100, 255], "
                                                "\"kind\": \"file\", \"reasons\": [{\"rule\": \"not-utf8\", "
                                                "\"detail\": \"not valid "
                                                "UTF-8\"}]}"}
                              << QByteArray();
        QTest::newRow("json folder")
            << QByteArrayList{"--target", "windows", "--format", "json", "--rules", "reserved-name", "TREE"}
            << 0
            << QByteArrayList{"{\"path\": \"TREE/CON\", \"kind\": \"folder\", \"reasons\": [{\"rule\": "
                              "\"reserved-name\", \"detail\": \"reserved name \\\"CON\\\"\"}]}"}
            << QByteArray();
        QTest::newRow("summary") << QByteArrayList{"--target", "windows", "--summary", "TREE"} << 0
                                 << QByteArrayList{"TREE/CON/", "TREE/CON/x|y", "TREE/a:b", "TREE/bad\xff"}
                                 << QByteArray("forbidden characters: 2 files, 0 folders\n"
                                               "reserved names: 0 files, 1 folders\n"
                                               "names that are not valid UTF-8: 1 files, 0 folders\n"
                                               "checked: 4 files, 1 folders\n");
        QTest::newRow("clean") << QByteArrayList{"--target", "linux", "TREE"} << 1 << QByteArrayList{}
                               << QByteArray();
        QTest::newRow("unknown profile")
            << QByteArrayList{"--target", "foo", "TREE"} << 2 << QByteArrayList{}
            << QByteArray(
                   "lentrova-find: --target: unknown profile \"foo\" (windows, exfat, fat32, onedrive, "
                   "macos, ecryptfs, linux, auto)\n");
        QTest::newRow("auto without a folder")
            << QByteArrayList{"--target", "auto", "TREE"} << 2 << QByteArrayList{}
            << QByteArray("lentrova-find: --target auto needs --target-folder, the folder the files go to\n");
        QTest::newRow("auto, folder missing")
            << QByteArrayList{"--target", "auto", "--target-folder", "TREE/none", "TREE"} << 2
            << QByteArrayList{}
            << QByteArray("lentrova-find: --target-folder: folder not found: No such file or directory\n");
        QTest::newRow("a listed folder missing")
            << QByteArrayList{"--target", "windows", "TREE/none"} << 2 << QByteArrayList{}
            << QByteArray("lentrova-find: TREE/none: No such file or directory\n");
        QTest::newRow("bad rule") << QByteArrayList{"--target", "windows", "--rules", "nope", "TREE"} << 2
                                  << QByteArrayList{} << QByteArray("--rules: no such rule: nope");
        QTest::newRow("lengths do not go with it")
            << QByteArrayList{"--target", "windows", "--gt", "3", "TREE"} << 2 << QByteArrayList{}
            << QByteArray("--target checks every name: --eq, --gt, --lt, --unit, --filter, --print0, "
                          "--with-length and --report do not go with it");
        QTest::newRow("its options need it")
            << QByteArrayList{"--gt", "3", "--summary", "TREE"} << 2 << QByteArrayList{}
            << QByteArray("--target-folder, --rules, --with-reason, --summary "
                          "and --format go with --target");
        QTest::newRow("bad format") << QByteArrayList{"--target", "windows", "--format", "xml", "TREE"} << 2
                                    << QByteArrayList{}
                                    << QByteArray("--format: unknown format \"xml\" (lines, json)");
    }
    void finder()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArrayList, lines);
        QFETCH(QByteArray, errorText);
        ScratchDir dir;
        QVERIFY(makeTree(dir.path(), {"CON/", "CON/x|y", "a:b", "bad\xff", "fine.txt"}));
        const FinderRun r = runFinderHere(args(arguments, dir.path()));
        QCOMPARE(r.err, QByteArray(errorText).replace("TREE", dir.path()));
        QCOMPARE(r.exitCode, exitCode);
        QByteArray pathBytes;
        for (const char c : dir.path() + '/')
            pathBytes += QByteArray::number(quint8(c)) + ", ";
        QByteArrayList expected;
        for (const QByteArray& line : lines)
            expected << QByteArray(line).replace("TREE", dir.path()).replace("PATHBYTES", pathBytes);
        QByteArrayList out = r.out.split('\n');
        QCOMPARE(out.takeLast(), QByteArray());
        QCOMPARE(sorted(out), sorted(expected));
    }

    // auto reads the target's file system: a real exFAT refuses what the folder it was read from takes.
    void autoOnExfat()
    {
        DiskMount exfat(DiskMount::Kind::Exfat);
        SKIP_UNLESS_MOUNTED(exfat);
        ScratchDir dir;
        QVERIFY(makeTree(dir.path(), {"a:b", "Same", "same", "plain"}));
        const FinderRun onStick =
            runFinderHere({"--target", "auto", "--target-folder", exfat.path().toStdString(), "--with-reason",
                           dir.path().toStdString()});
        QCOMPARE(onStick.err, QByteArray());
        QCOMPARE(onStick.exitCode, 0);
        const FinderRun named =
            runFinderHere({"--target", "exfat", "--with-reason", dir.path().toStdString()});
        QCOMPARE(onStick.out, named.out);
        QCOMPARE(sorted(below(onStick.out.trimmed().split('\n'), dir.path())),
                 sorted({"a:b\t\":\" at 2", "Same\tsame name as \"same\" except case",
                         "same\tsame name as \"Same\" except case"}));
    }
};

LENTROVA_TEST_MAIN(TestTargetWalk)
#include "test_targetwalk.moc"
