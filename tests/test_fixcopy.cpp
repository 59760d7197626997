// SPDX-License-Identifier: MIT
#include "fileops/fixplan.h"
#include "support/diskmount.h"
#include "support/filetree.h"
#include "support/fixtree.h"
#include "support/targettree.h"
#include "support/testmain.h"

#include <QProcess>

Q_DECLARE_METATYPE(DiskMount::Kind)
Q_DECLARE_METATYPE(FixCharacters)

// A tree of every kind of name a target refuses, fixed for the target here, then copied onto the real file
// system with cp -r: nothing refused, nothing lost, every file's content where it belongs.
class TestFixCopy : public QObject
{
    Q_OBJECT
private slots:
    void fixedTreeCopiesWhole_data();
    void fixedTreeCopiesWhole();
};

void TestFixCopy::fixedTreeCopiesWhole_data()
{
    QTest::addColumn<DiskMount::Kind>("kind");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<FixCharacters>("characters");
    QTest::newRow("exFAT, look-alikes") << DiskMount::Kind::Exfat << "exfat" << FixCharacters::LookAlike;
    QTest::newRow("exFAT, underscores") << DiskMount::Kind::Exfat << "exfat" << FixCharacters::Underscore;
    QTest::newRow("NTFS, underscores") << DiskMount::Kind::Ntfs << "windows" << FixCharacters::Underscore;
    QTest::newRow("NTFS, look-alikes") << DiskMount::Kind::Ntfs << "windows" << FixCharacters::LookAlike;
}

void TestFixCopy::fixedTreeCopiesWhole()
{
    QFETCH(DiskMount::Kind, kind);
    QFETCH(QString, profile);
    QFETCH(FixCharacters, characters);
    DiskMount mount(kind);
    SKIP_UNLESS_MOUNTED(mount);
    ScratchDir dir;
    const QByteArray top = dir.path() + "/tree/";
    QVERIFY(FileTree::makeFolder(dir.path() + "/tree"));
    QList<QByteArray> paths;
    for (const TargetTree::Entry& entry : TargetTree::hostileTree(false)) {
        // Names longer than this file system takes are left out: they cannot be there to be fixed.
        const bool made = entry.folder ? FileTree::makeFolder(top + entry.path)
                                       : FileTree::write(top + entry.path, entry.content);
        if (made)
            paths << entry.path + (entry.folder ? "/" : "");
    }
    QVERIFY(paths.size() > 50);
    const QMap<QByteArray, QByteArray> before = FixTree::read(top);

    const FixSetup setup = FixTree::setupFor(profile, characters, mount.path());
    const ShortenResult applied = applyFixes(planFixes(FixTree::candidates(top, paths), setup), setup);
    QVERIFY(applied.journalError.isEmpty());
    for (const RenameOutcome& outcome : applied.outcomes)
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
    // Enough of the tree breaks a rule that a fixer renaming nothing fails here, and not only at the copy.
    QVERIFY2(applied.outcomes.size() >= 30, qPrintable(QString::number(applied.outcomes.size())));
    const QMap<QByteArray, QByteArray> fixed = FixTree::read(top);
    QCOMPARE(fixed.size(), before.size());

    QProcess cp;
    cp.start(QStringLiteral("cp"),
             {QStringLiteral("-r"), QString::fromUtf8(top + "."), QString::fromUtf8(mount.path())});
    QVERIFY(cp.waitForFinished(120000));
    QVERIFY2(cp.exitCode() == 0, cp.readAllStandardError().constData());
    QCOMPARE(FixTree::read(mount.path() + '/'), fixed);
    // Every file's content, which is its first path, is still there once.
    QList<QByteArray> contents = before.values(), copied = FixTree::read(mount.path() + '/').values();
    std::sort(contents.begin(), contents.end());
    std::sort(copied.begin(), copied.end());
    QCOMPARE(copied, contents);
}

LENTROVA_TEST_MAIN(TestFixCopy)
#include "test_fixcopy.moc"
