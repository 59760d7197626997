// SPDX-License-Identifier: MIT
#include "platform/renamefile.h"
#include "support/diskmount.h"
#include "support/filetree.h"
#include "support/fixtures.h"
#include "support/testmain.h"

#include <cerrno>

#include <unistd.h>

namespace {
// How the file system answers: each fault as a file system without the flag, or without links as well.
enum class Answers { Natively, WithoutFlag, WithoutFlagOrLinks };

void answerAs(Answers answers)
{
    setRenameFaultHook([answers](RenameStep step, const QByteArray&) {
        if (step == RenameStep::NoReplace && answers != Answers::Natively)
            return EINVAL;
        if (step == RenameStep::Link && answers == Answers::WithoutFlagOrLinks)
            return EPERM;
        return 0;
    });
}

// Renames "mine" onto "new", where "theirs" may already be; the file that held the name is never replaced and
// nothing else is left in the folder.
void checkRenameNeverReplaces(const QByteArray& folder, bool taken)
{
    QVERIFY(FileTree::write(folder + "/mine", "mine"));
    if (taken)
        QVERIFY(FileTree::write(folder + "/new", "theirs"));
    const RenameResult renamed = renameNoReplace(folder + "/mine", folder + "/new");
    if (taken) {
        QVERIFY(!renamed.renamed);
        QVERIFY(renamed.nameTaken);
        QCOMPARE(FileTree::read(folder + "/new"), QByteArray("theirs"));
        QCOMPARE(FileTree::read(folder + "/mine"), QByteArray("mine"));
        QCOMPARE(FileTree::list(folder), (QList<QByteArray>{"mine", "new"}));
    } else {
        QVERIFY2(renamed.renamed, qPrintable(renamed.error));
        QCOMPARE(FileTree::read(folder + "/new"), QByteArray("mine"));
        QCOMPARE(FileTree::list(folder), QList<QByteArray>{"new"});
    }
}
} // namespace

class TestRenameFile : public QObject
{
    Q_OBJECT

private slots:
    void neverReplaces_data()
    {
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<bool>("taken");
        QTest::newRow("native, free") << Answers::Natively << false;
        QTest::newRow("native, taken") << Answers::Natively << true;
        QTest::newRow("no flag: link, free") << Answers::WithoutFlag << false;
        QTest::newRow("no flag: link, taken") << Answers::WithoutFlag << true;
        QTest::newRow("no flag, no links: placeholder, free") << Answers::WithoutFlagOrLinks << false;
        QTest::newRow("no flag, no links: placeholder, taken") << Answers::WithoutFlagOrLinks << true;
    }

    void neverReplaces()
    {
        QFETCH(Answers, answers);
        QFETCH(bool, taken);
        FaultHookReset reset;
        answerAs(answers);
        ScratchDir dir;
        checkRenameNeverReplaces(dir.path(), taken);
    }

    // A folder takes a folder as its placeholder, since a folder is renamed only over an empty one.
    void folderThroughPlaceholder()
    {
        FaultHookReset reset;
        answerAs(Answers::WithoutFlagOrLinks);
        ScratchDir dir;
        QVERIFY(FileTree::makeFolder(dir.path() + "/old"));
        QVERIFY(FileTree::write(dir.path() + "/old/inside", "x"));
        const RenameResult renamed = renameNoReplace(dir.path() + "/old", dir.path() + "/new");
        QVERIFY2(renamed.renamed, qPrintable(renamed.error));
        QCOMPARE(FileTree::read(dir.path() + "/new/inside"), QByteArray("x"));
        QCOMPARE(FileTree::list(dir.path()), QList<QByteArray>{"new"});
    }

    // Another program that replaces the placeholder before the rename keeps its file; a failing rename takes
    // its own placeholder back.
    void placeholderIsRenamedOverOnlyWhileOurs_data()
    {
        QTest::addColumn<bool>("replacedMeanwhile");
        QTest::newRow("replaced by another program") << true;
        QTest::newRow("rename fails") << false;
    }

    void placeholderIsRenamedOverOnlyWhileOurs()
    {
        QFETCH(bool, replacedMeanwhile);
        FaultHookReset reset;
        ScratchDir dir;
        const QByteArray target = dir.path() + "/new";
        setRenameFaultHook([&](RenameStep step, const QByteArray&) {
            if (step == RenameStep::NoReplace)
                return EINVAL;
            if (step == RenameStep::Link)
                return EPERM;
            if (!replacedMeanwhile)
                return EIO;
            ::unlink(target.constData());
            return FileTree::write(target, "theirs") ? 0 : EIO;
        });
        QVERIFY(FileTree::write(dir.path() + "/mine", "mine"));
        const RenameResult renamed = renameNoReplace(dir.path() + "/mine", target);
        QVERIFY(!renamed.renamed);
        QCOMPARE(renamed.nameTaken, replacedMeanwhile);
        QCOMPARE(FileTree::read(dir.path() + "/mine"), QByteArray("mine"));
        if (replacedMeanwhile)
            QCOMPARE(FileTree::read(target), QByteArray("theirs"));
        else
            QCOMPARE(FileTree::list(dir.path()), QList<QByteArray>{"mine"});
    }

    // File systems that refuse RENAME_NOREPLACE for real: bindfs (links work) and exfat-fuse (no links).
    void onFuseFileSystems_data()
    {
        QTest::addColumn<DiskMount::Kind>("kind");
        QTest::addColumn<bool>("taken");
        QTest::newRow("bindfs, free") << DiskMount::Kind::Bindfs << false;
        QTest::newRow("bindfs, taken") << DiskMount::Kind::Bindfs << true;
        QTest::newRow("exfat-fuse, free") << DiskMount::Kind::Exfat << false;
        QTest::newRow("exfat-fuse, taken") << DiskMount::Kind::Exfat << true;
    }

    void onFuseFileSystems()
    {
        QFETCH(DiskMount::Kind, kind);
        QFETCH(bool, taken);
        DiskMount mount(kind);
        SKIP_UNLESS_MOUNTED(mount);
        checkRenameNeverReplaces(mount.path(), taken);
    }
};

LENTROVA_TEST_MAIN(TestRenameFile)
#include "test_renamefile.moc"
