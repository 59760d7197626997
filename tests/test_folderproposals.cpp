// SPDX-License-Identifier: MIT
#include "fileops/fixplan.h"
#include "fileops/folderproposals.h"
#include "support/filetree.h"
#include "support/fixtree.h"
#include "support/targettree.h"
#include "support/testmain.h"

using TargetTree::repeated;

namespace {

// count files of length nameLength (at least 4) in folder.
QList<QByteArray> files(const QByteArray& folder, int count, int nameLength)
{
    QList<QByteArray> out;
    for (int i = 0; i < count; ++i)
        out << folder + repeated("x", nameLength - 3) + ".t" + QByteArray::number(i);
    return out;
}

QByteArray a100 = repeated("a", 100);

} // namespace

class TestFolderProposals : public QObject
{
    Q_OBJECT
private slots:
    void greedy_data();
    void greedy();
    void proposalsTakenIntoThePlan();
};

// Paths measured for Windows below "C:\" (3 units), limit 259.
void TestFolderProposals::greedy_data()
{
    QTest::addColumn<QList<QByteArray>>("onDisk"); // paths that are no candidates
    QTest::addColumn<QList<QByteArray>>("rows");
    QTest::addColumn<QList<QByteArray>>("expected"); // "folder below the top -> new name: paths fixed"
    using L = QList<QByteArray>;
    const QByteArray b = repeated("b", 100) + '/', c = repeated("c", 100) + '/';
    // 3 + 100 + 1 + 100 + 1 + 60 = 265: 6 over; with 57, 3 over.
    QTest::newRow("one folder above all")
        << L{} << files(a100 + '/' + b, 10, 60) + files(a100 + '/' + c, 5, 57)
        << L{a100 + "/ -> " + repeated("a", 94) + ": 15"};
    const QByteArray p = repeated("p", 100) + '/', q = repeated("q", 100) + '/';
    const QByteArray r = repeated("r", 100) + '/', s = repeated("s", 100) + '/';
    QTest::newRow("the branch with more paths first")
        << L{} << files(r + s, 2, 56) + files(p + q, 4, 60)
        << L{p + " -> " + repeated("p", 94) + ": 4", r + " -> " + repeated("r", 98) + ": 2"};
    // 3 + 10 + 1 + 150 + 1 + 100 = 265: the short folder cannot give 6 and keep 8.
    const QByteArray k = repeated("k", 150) + '/';
    QTest::newRow("a short folder keeps its name")
        << L{} << files("abcdefghij/" + k, 1, 100)
        << L{"abcdefghij/" + k + " -> " + repeated("k", 144) + ": 1"};
    QTest::newRow("a neighbour holds the cut name")
        << L{repeated("A", 94) + '/'} << files(a100 + '/' + b, 3, 60)
        << L{a100 + "/ -> " + repeated("a", 92) + "~2: 3"};
    QTest::newRow("no folder can give enough") << L{} << files("abcdefghi/", 1, 250) << L{};
    QTest::newRow("paths that fit are no reason") << L{} << files(a100 + '/' + b, 3, 50) << L{};
}

void TestFolderProposals::greedy()
{
    QFETCH(QList<QByteArray>, onDisk);
    QFETCH(QList<QByteArray>, rows);
    QFETCH(QList<QByteArray>, expected);
    ScratchDir dir;
    const QByteArray top = dir.path() + '/';
    QVERIFY(FixTree::make(top, onDisk + rows));
    const std::vector<FolderProposal> proposals = proposeFolderShortening(
        FixTree::candidates(top, rows), FixTree::setupFor("windows", FixCharacters::Underscore, "C:\\"));
    QList<QByteArray> got;
    for (const FolderProposal& proposal : proposals)
        got << proposal.folder.mid(top.size()) + " -> " + proposal.newName + ": " +
                   QByteArray::number(proposal.pathsFixed);
    QCOMPARE(got, expected);
}

void TestFolderProposals::proposalsTakenIntoThePlan()
{
    ScratchDir dir;
    const QByteArray top = dir.path() + '/';
    const QByteArray b = repeated("b", 100) + '/';
    const QList<QByteArray> rows = files(a100 + '/' + b, 3, 60) + QList<QByteArray>{a100 + '/' + b + "x:y"};
    QVERIFY(FixTree::make(top, rows));
    const FixSetup setup = FixTree::setupFor("windows", FixCharacters::Underscore, "C:\\");
    const std::vector<FixCandidate> candidates = FixTree::candidates(top, rows);
    QHash<QByteArray, QByteArray> folderNames;
    for (const FolderProposal& proposal : proposeFolderShortening(candidates, setup))
        folderNames.insert(proposal.folder, proposal.newName);
    QCOMPARE(folderNames.size(), 1);
    // The files keep their names: the folder makes room for them. The one with a colon is still fixed.
    QCOMPARE(FixTree::outline(planFixes(candidates, setup, folderNames)),
             (QList<QByteArray>{"x:y -> x_y", a100 + " -> " + repeated("a", 94)}));
    QCOMPARE(FixTree::outline(planFixes(candidates, setup)).size(), 4); // without them, each file is cut
}

LENTROVA_TEST_MAIN(TestFolderProposals)
#include "test_folderproposals.moc"
