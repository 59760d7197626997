// SPDX-License-Identifier: MIT
#include "fileops/fixplan.h"
#include "fileops/namefix.h"
#include "fileops/renamedpaths.h"
#include "fileops/shortenapply.h"
#include "support/filetree.h"
#include "support/fixtree.h"
#include "support/targettree.h"
#include "support/testmain.h"
#include "target/targetpath.h"

using TargetTree::repeated;

class TestNameFix : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void fixName_data();
    void fixName();
    void plan_data();
    void plan();
    void folderRenamesMoveTheRowsBelow();
    void rowsFollowRenamedFolders_data();
    void rowsFollowRenamedFolders();
    void appliedInAnOrderThatUndoes_data();
    void appliedInAnOrderThatUndoes();
};

void TestNameFix::init()
{
    FileTree::removeTree(qgetenv("XDG_DATA_HOME") + "/lentrova");
}

void TestNameFix::fixName_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("lookAlike");
    QTest::addColumn<int>("pathAbove"); // -1: no path rule
    QTest::addColumn<int>("counter");
    QTest::addColumn<QByteArray>("expected"); // empty: no name can be found, and a note says why
    const auto row = [](const char* tag, const char* profile, const QByteArray& name,
                        const QByteArray& expected, bool lookAlike = false, int pathAbove = -1,
                        int counter = 1) {
        QTest::newRow(tag) << QString::fromLatin1(profile) << name << lookAlike << pathAbove << counter
                           << expected;
    };
    row("forbidden to underscore", "windows", "a:b?c.txt", "a_b_c.txt");
    row("forbidden to look-alike", "windows", "a:b?c*d.txt", "a\uFF1Ab\uFF1Fc\uFF0Ad.txt", true);
    row("every look-alike", "exfat", "<>|\"\\x", "\uFF1C\uFF1E\uFF5C\uFF02\uFF3Cx", true);
    row("a colon on a Mac", "macos", "a:b?", "a_b?");
    row("control characters removed", "windows",
        "a\x01"
        "b\x1F.txt",
        "ab.txt");
    row("delete removed on FAT", "fat32",
        "a\x7F"
        "b",
        "ab");
    row("delete kept on exFAT", "exfat",
        "a\x7F"
        "b:",
        "a\x7F"
        "b_");
    row("trailing periods and blanks", "windows", "name. . ", "name");
    row("leading blank on OneDrive", "onedrive", "  lead.txt", "lead.txt");
    row("leading blank kept on Windows", "windows", " lead:.txt", " lead_.txt");
    row("reserved stem with extension", "windows", "CON.txt", "CON_.txt");
    row("reserved stem alone", "windows", "con", "con_");
    row("reserved stem, two extensions", "onedrive", "NUL.tar.gz", "NUL_.tar.gz");
    row("reserved superscript", "windows", "COM\xC2\xB9.log", "COM\xC2\xB9_.log");
    row("longer stem is no device", "windows", "CONSOLE:.txt", "CONSOLE_.txt");
    row("Linux only cuts", "linux", repeated("n", 256), repeated("n", 255));
    row("trailing period then reserved", "windows", "CON.", "CON_");
    row("nothing left", "windows", "...", "_");
    row("NFC where form is ignored", "macos", "cafe\xCC\x81:", "caf\xC3\xA9_");
    row("NFD kept where form counts", "windows", "cafe\xCC\x81:", "cafe\xCC\x81_");
    row("not UTF-8 replaced", "windows",
        "a\xFF"
        "b",
        "a_b");
    row("not UTF-8 kept on Linux", "linux",
        "a\xFF"
        "b" +
            repeated("c", 300),
        "a\xFF"
        "b" +
            repeated("c", 252));
    row("OneDrive's own whole name", "onedrive", "desktop.ini", "_desktop.ini");
    row("OneDrive's own prefix", "onedrive", "~$report.docx", "_~$report.docx");
    row("OneDrive's own infix", "onedrive", "a_vti_b", "avti_b");
    row("name too long in UTF-16 units", "windows", repeated("a", 300) + ".txt", repeated("a", 251) + ".txt");
    row("name too long in bytes", "ecryptfs", repeated("\xC3\xA9", 100) + ".txt",
        repeated("\xC3\xA9", 69) + ".txt");
    row("emoji not split", "exfat", repeated("\xF0\x9F\x98\x80", 130), repeated("\xF0\x9F\x98\x80", 127));
    row("shortened for the path", "windows", "abcdefghijkl.txt", "abcde.txt", false, 250);
    row("no room in the path", "windows", "abcdef.txt", "", false, 258);
    row("counter before the extension", "windows", "a:b.txt", "a_b~2.txt", false, -1, 2);
    row("counter within the limit", "windows", repeated("a", 300) + ".txt", repeated("a", 249) + "~2.txt",
        false, -1, 2);
}

void TestNameFix::fixName()
{
    QFETCH(QString, profile);
    QFETCH(QByteArray, name);
    QFETCH(bool, lookAlike);
    QFETCH(int, pathAbove);
    QFETCH(int, counter);
    QFETCH(QByteArray, expected);
    NameFixRequest request;
    request.profile = targetProfile(profile);
    request.characters = lookAlike ? FixCharacters::LookAlike : FixCharacters::Underscore;
    request.pathAbove = pathAbove;
    const NameFixResult fixed = ::fixName(request, name, counter);
    QCOMPARE(fixed.name, expected);
    QCOMPARE(fixed.note.isEmpty(), !expected.isEmpty());
    QVERIFY(!fixed.broken.empty());
    if (!fixed.name.isEmpty()) {
        const qint64 path = pathAbove < 0
                                ? 0
                                : pathAbove + TargetPath(*request.profile, {})
                                                  .lengthIn(std::string_view(fixed.name.constData(),
                                                                             std::size_t(fixed.name.size())));
        QVERIFY(checkName(*request.profile, TargetRuleSet::all(), {fixed.name, false, 0, path}).empty());
    }
}

void TestNameFix::plan_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QList<QByteArray>>("onDisk"); // paths below the top that are no candidates
    QTest::addColumn<QList<QByteArray>>("rows");   // the candidates
    QTest::addColumn<QList<QByteArray>>("expected");
    using L = QList<QByteArray>;
    QTest::newRow("rows equal but for case: the first keeps its name")
        << "windows" << L{} << L{"Readme.txt", "README.txt"} << L{"README.txt -> README~2.txt"};
    QTest::newRow("a new name equal to a neighbour's but for case")
        << "windows" << L{"a_b.txt"} << L{"A:B.txt"} << L{"A:B.txt -> A_B~2.txt"};
    QTest::newRow("a new name equal to another new name")
        << "exfat" << L{} << L{"a:b", "a?b", "A|B"} << L{"a:b -> a_b", "a?b -> a_b~2", "A|B -> A_B~3"};
    QTest::newRow("case counts where the target keeps it")
        << "ecryptfs" << L{} << L{repeated("A", 150), repeated("a", 150)}
        << L{repeated("A", 150) + " -> " + repeated("A", 143),
             repeated("a", 150) + " -> " + repeated("a", 143)};
    QTest::newRow("Unicode form on a Mac")
        << "macos" << L{"caf\xC3\xA9_"} << L{"cafe\xCC\x81:"} << L{"cafe\xCC\x81: -> caf\xC3\xA9_~2"};
    QTest::newRow("a name freed by a row that moves")
        << "windows" << L{} << L{"x.txt", "X.TXT", "x:.txt"} << L{"X.TXT -> X~2.TXT", "x:.txt -> x_.txt"};
    QTest::newRow("same names in other folders do not count")
        << "windows" << L{"one/a_b"} << L{"two/a:b"} << L{"a:b -> a_b"};
    QTest::newRow("a reserved stem and a forbidden character in one name")
        << "windows" << L{} << L{"CON.d:"} << L{"CON.d: -> CON_.d_"};
}

void TestNameFix::plan()
{
    QFETCH(QString, profile);
    QFETCH(QList<QByteArray>, onDisk);
    QFETCH(QList<QByteArray>, rows);
    QFETCH(QList<QByteArray>, expected);
    ScratchDir dir;
    const QByteArray top = dir.path() + '/';
    QVERIFY(FixTree::make(top, onDisk + rows));
    const std::vector<FixItem> plan = planFixes(FixTree::candidates(top, rows), FixTree::setupFor(profile));
    QCOMPARE(FixTree::outline(plan), expected);
}

void TestNameFix::folderRenamesMoveTheRowsBelow()
{
    ScratchDir dir;
    const QByteArray top = dir.path() + '/';
    // "CON" grows by one to "CON_": the file below loses one unit of the room its path leaves it.
    const QByteArray longName = repeated("n", 250) + ".txt";
    const QList<QByteArray> rows{"CON/", "CON/" + longName, "CON/sub:/", "CON/sub:/x?.txt"};
    QVERIFY(FixTree::make(top, rows));
    const std::vector<FixItem> plan = planFixes(
        FixTree::candidates(top, rows), FixTree::setupFor("windows", FixCharacters::Underscore, "C:\\"));
    QCOMPARE(plan.size(), std::size_t(4));
    QCOMPARE(plan[0].newPath, top + "CON_/");
    // "C:\" 3 + "CON_\" 5 leave 251 of 259.
    QCOMPARE(plan[1].newName, repeated("n", 247) + ".txt");
    QCOMPARE(plan[1].newPath, top + "CON_/" + plan[1].newName);
    QCOMPARE(plan[2].newPath, top + "CON_/sub_/");
    QCOMPARE(plan[3].newPath, top + "CON_/sub_/x_.txt");
    QCOMPARE(plan[3].parent, top + "CON/sub:/"); // renamed where it is now
    QList<QByteArray> order;
    for (const ShortenItem& rename : renamesInOrder(plan))
        order << rename.oldName;
    QCOMPARE(order, (QList<QByteArray>{"x?.txt", longName, "sub:", "CON"}));
}

void TestNameFix::rowsFollowRenamedFolders_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    // The batch: /t/a: -> a_, /t/a:/b? -> b_ (named in the folder as it was), /t/x -> y.
    QTest::newRow("a file in a renamed folder") << QByteArray("/t/a:/f") << QByteArray("/t/a_/f");
    QTest::newRow("renamed in a renamed folder") << QByteArray("/t/a:/b?") << QByteArray("/t/a_/b_");
    QTest::newRow("a folder row") << QByteArray("/t/a:/b?/") << QByteArray("/t/a_/b_/");
    QTest::newRow("below both") << QByteArray("/t/a:/b?/c/d") << QByteArray("/t/a_/b_/c/d");
    QTest::newRow("a name that starts the same") << QByteArray("/t/a:b") << QByteArray("/t/a:b");
    QTest::newRow("renamed alone") << QByteArray("/t/x") << QByteArray("/t/y");
    QTest::newRow("elsewhere") << QByteArray("/u/x") << QByteArray("/u/x");
}

void TestNameFix::rowsFollowRenamedFolders()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    const QHash<QByteArray, QByteArray> newNames{{"/t/a:", "a_"}, {"/t/a:/b?", "b_"}, {"/t/x", "y"}};
    const QHash<QByteArray, QByteArray> oldNames{{"/t/a_", "a:"}, {"/t/a:/b_", "b?"}, {"/t/y", "x"}};
    QCOMPARE(pathAfterRenames(before, newNames), after);
    QCOMPARE(pathBeforeRenames(after, oldNames), before);
}

void TestNameFix::appliedInAnOrderThatUndoes_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QList<QByteArray>>("rows");
    QTest::addColumn<QList<QByteArray>>("after"); // every path below the top once the plan is applied
    using L = QList<QByteArray>;
    QTest::newRow("folders and files on Windows")
        << "windows" << L{"a:/", "a:/b?/", "a:/b?/c*.txt", "a:/ok.txt", "a:/AUX.c"}
        << L{"a_/", "a_/AUX_.c", "a_/b_/", "a_/b_/c_.txt", "a_/ok.txt"};
    QTest::newRow("folders equal but for case on exFAT")
        << "exfat" << L{"Photos/", "Photos/x", "photos/", "photos/x"}
        << L{"Photos/", "Photos/x", "photos~2/", "photos~2/x"};
}

void TestNameFix::appliedInAnOrderThatUndoes()
{
    QFETCH(QString, profile);
    QFETCH(QList<QByteArray>, rows);
    QFETCH(QList<QByteArray>, after);
    ScratchDir dir;
    const QByteArray top = dir.path() + '/';
    QVERIFY(FixTree::make(top, rows));
    const QMap<QByteArray, QByteArray> before = FixTree::read(top);
    const FixSetup setup = FixTree::setupFor(profile);
    const ShortenResult applied = applyFixes(planFixes(FixTree::candidates(top, rows), setup), setup);
    QVERIFY(applied.journalError.isEmpty());
    for (const RenameOutcome& outcome : applied.outcomes)
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
    const QMap<QByteArray, QByteArray> fixed = FixTree::read(top);
    QCOMPARE(fixed.keys(), after);
    // Every file still holds what it held: its old path.
    QCOMPARE(QList<QByteArray>(fixed.values()).count(QByteArray()), before.values().count(QByteArray()));
    for (const QByteArray& content : before.values())
        QVERIFY(content.isEmpty() || fixed.values().contains(content));

    const UndoResult undone = undoLastShortening();
    QVERIFY2(undone.failures.isEmpty(), qPrintable(undone.failures.join('\n')));
    QCOMPARE(FixTree::read(top), before);
}

LENTROVA_TEST_MAIN(TestNameFix)
#include "test_namefix.moc"
