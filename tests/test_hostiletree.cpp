// SPDX-License-Identifier: MIT
// The search on trees built to break it: deeper than any path can name, odd names, loops, fifos, locked and
// vanishing folders, a huge folder. Every run must finish, within a bounded wait, and lose nothing.
#include "app/searchrun.h"
#include "support/filetree.h"
#include "support/fixtures.h"
#include "support/testform.h"
#include "support/testmain.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QStandardItemModel>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <climits>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QSet<QByteArray> foundPaths(const ResultModel& model)
{
    QSet<QByteArray> paths;
    for (int r = 0; r < model.rowCount(); ++r)
        paths.insert(model.nativePath(r));
    return paths;
}

bool touchAt(int dirFd, const char* name)
{
    const int fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    return fd >= 0 && ::close(fd) == 0;
}

QByteArrayList rowsInOrder(const ResultModel& model)
{
    QByteArrayList paths;
    for (int r = 0; r < model.rowCount(); ++r)
        paths << model.nativePath(r);
    return paths;
}

} // namespace

class TestHostileTree : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestForm> form;

    // Every file, whatever its name.
    bool searchAll(const QString& folder, int timeoutMs = 30000)
    {
        form->form->folderModel()->appendRow(new QStandardItem(folder));
        form->form->lengthEdit()->setText(QStringLiteral("-1"));
        form->form->comparisonCombo()->setCurrentIndex(1);
        form->form->filterEdit()->clear();
        const int before = form->dialogs.countMessages(QStringLiteral("Done."));
        form->form->startButton()->click();
        return QTest::qWaitFor(
            [&] { return form->dialogs.countMessages(QStringLiteral("Done.")) == before + 1; }, timeoutMs);
    }

private slots:
    void init() { form = std::make_unique<TestForm>(); }
    void cleanup() { form.reset(); }

    // The bottom file's path is far longer than PATH_MAX, so the tree is built one level at a time.
    void chainDeeperThanPathMax()
    {
        ScratchDir tree;
        const int levels = 3000;
        int fd = ::open(tree.path().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        for (int i = 0; i < levels; ++i) {
            QVERIFY(::mkdirat(fd, "dd", 0755) == 0);
            const int sub = ::openat(fd, "dd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            QVERIFY(sub >= 0);
            fd = sub;
        }
        QVERIFY(touchAt(fd, "bottom.txt"));
        ::close(fd);

        const bool finished = searchAll(tree.qpath(), 60000);
        const int rows = form->results().rowCount();
        const QByteArray found = rows == 1 ? form->results().nativePath(0) : QByteArray();
        const QStringList boxes = form->dialogs.errorTexts();

        QVERIFY(finished);
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('\n')));
        QCOMPARE(rows, 1);
        QCOMPARE(found.size(), tree.path().size() + levels * 3 + qsizetype(sizeof("/bottom.txt")) - 1);
        QVERIFY(found.size() > PATH_MAX);
        QVERIFY(found.endsWith("/dd/bottom.txt"));
    }

    void oddNamesAllFound_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("255 bytes") << QByteArray(255, 'n');
        QTest::newRow("255 bytes of two-byte characters") << QByteArray("\xC3\xA9").repeated(127) + 'x';
        QTest::newRow("newline") << QByteArray("new\nline.txt");
        QTest::newRow("tab") << QByteArray("tab\there.txt");
        QTest::newRow("carriage return") << QByteArray("cr\r.txt");
        QTest::newRow("invalid UTF-8") << QByteArray("bad\xFF\xFE.txt");
        QTest::newRow("cut UTF-8 sequence") << QByteArray("cut\xE2\x82.txt");
        QTest::newRow("leading dash") << QByteArray("-rf");
        QTest::newRow("only a dash") << QByteArray("-");
        QTest::newRow("leading dashes and spaces") << QByteArray("-- x ");
        QTest::newRow("backslash") << QByteArray("a\\b");
    }
    void oddNamesAllFound()
    {
        QFETCH(QByteArray, name);
        ScratchDir tree;
        QVERIFY(FileTree::makeFolder(tree.path() + "/sub"));
        const QSet<QByteArray> expected = {tree.path() + '/' + name, tree.path() + "/sub/" + name,
                                           tree.path() + "/sub/plain.txt"};
        for (const QByteArray& path : expected)
            QVERIFY(FileTree::write(path, "x"));
        QSet<QByteArray> all = expected;
        // A folder with the odd name too, where the name leaves room: the walk must enter it by its bytes.
        if (name.size() <= 250) {
            QVERIFY(FileTree::makeFolder(tree.path() + "/sub/" + name + "_d"));
            QVERIFY(FileTree::write(tree.path() + "/sub/" + name + "_d/inside", "x"));
            all.insert(tree.path() + "/sub/" + name + "_d/inside");
        }

        QVERIFY(searchAll(tree.qpath()));
        QCOMPARE(foundPaths(form->results()), all);
        QVERIFY(form->dialogs.errorTexts().isEmpty());
    }

    void loopsAndFifosAreNeitherEnteredNorOpened()
    {
        ScratchDir tree;
        const QByteArray root = tree.path();
        QVERIFY(FileTree::makeFolder(root + "/a"));
        QVERIFY(FileTree::write(root + "/a/x.txt", "x"));
        QVERIFY(::symlink(root.constData(), (root + "/a/up").constData()) == 0);
        QVERIFY(::symlink("self", (root + "/a/self").constData()) == 0);
        QVERIFY(::symlink("b2", (root + "/a/b1").constData()) == 0);
        QVERIFY(::symlink("b1", (root + "/a/b2").constData()) == 0);
        QVERIFY(::mkfifo((root + "/a/pipe").constData(), 0644) == 0);
        QVERIFY(::mkfifo((root + "/pipe_dir").constData(), 0644) == 0);

        // Nobody writes to the fifos: opening one for reading would block the walk for good.
        QVERIFY(searchAll(tree.qpath()));
        const QSet<QByteArray> found = foundPaths(form->results());
        QVERIFY2(found.contains(root + "/a/x.txt"),
                 QList<QByteArray>(found.begin(), found.end()).join('\n').constData());
        QVERIFY(!found.contains(root + "/a/pipe"));
        QVERIFY(!found.contains(root + "/pipe_dir"));
        for (const QByteArray& path : found)
            QVERIFY2(!path.contains("/up/"), path.constData());
    }

    // Root reads any folder; then the locked folder's files must be found, else exactly one box tells of it.
    void lockedFoldersOnDisk()
    {
        ScratchDir tree;
        const QByteArray root = tree.path();
        QVERIFY(FileTree::makeFolder(root + "/open") && FileTree::makeFolder(root + "/locked"));
        QVERIFY(FileTree::write(root + "/open/a.txt", "x") && FileTree::write(root + "/locked/b.txt", "x"));
        QVERIFY(::chmod((root + "/locked").constData(), 0) == 0);
        const bool privileged = ::access((root + "/locked").constData(), R_OK) == 0;

        const bool finished = searchAll(tree.qpath());
        ::chmod((root + "/locked").constData(), 0755);
        QVERIFY(finished);
        const QSet<QByteArray> found = foundPaths(form->results());
        const QStringList boxes = form->dialogs.errorTexts();
        if (privileged) {
            QCOMPARE(found, (QSet<QByteArray>{root + "/open/a.txt", root + "/locked/b.txt"}));
            QVERIFY(boxes.isEmpty());
        } else {
            QCOMPARE(found, QSet<QByteArray>{root + "/open/a.txt"});
            QCOMPARE(boxes.size(), 1);
        }
    }

    // Files vanish while the walk runs: the ones that stay are all found, nothing that never existed is, and
    // a file gone between listing and showing is no error.
    void filesDeletedDuringTheWalk()
    {
        ScratchDir tree;
        const QByteArray root = tree.path();
        const int folders = 20;
        const int perFolder = 300;
        QSet<QByteArray> kept;
        QList<QByteArray> doomed;
        for (int f = 0; f < folders; ++f) {
            const QByteArray folder = root + "/f" + QByteArray::number(f);
            QVERIFY(FileTree::makeFolder(folder));
            for (int i = 0; i < perFolder; ++i) {
                const QByteArray path = folder + "/file" + QByteArray::number(i);
                QVERIFY(FileTree::write(path, QByteArray()));
                if (i % 2 == 0)
                    kept.insert(path);
                else
                    doomed.append(path);
            }
        }
        std::atomic<bool> stop{false};
        std::thread deleter([&] {
            for (const QByteArray& path : doomed) {
                if (stop)
                    break;
                ::unlink(path.constData());
            }
        });
        const bool finished = searchAll(QString::fromUtf8(root));
        stop = true;
        deleter.join();
        QVERIFY(finished);
        const QSet<QByteArray> found = foundPaths(form->results());
        QVERIFY(found.contains(kept));
        QSet<QByteArray> everything = kept;
        for (const QByteArray& path : doomed)
            everything.insert(path);
        QVERIFY(everything.contains(found));
        QVERIFY(form->dialogs.errorTexts().isEmpty());
    }

    // Readers listing ahead give the rows in the order of the walk that lists every folder itself, on a tree
    // with every hostile shape at once: a chain past the longest path, odd names, loops, fifos, a huge
    // folder. No reader is left when "Done." shows.
    void readersKeepTheOrderOnHostileTrees()
    {
        ScratchDir tree;
        const QByteArray root = tree.path();
        const int levels = 1500;
        int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        for (int i = 0; i < levels; ++i) {
            QVERIFY(::mkdirat(fd, "dd", 0755) == 0);
            if (i % 100 == 0)
                QVERIFY(touchAt(fd, QByteArray("level" + QByteArray::number(i)).constData()));
            const int sub = ::openat(fd, "dd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            QVERIFY(sub >= 0);
            fd = sub;
            // Side branches along the chain, so that readers have something to list ahead down there.
            if (i % 300 == 150) {
                QVERIFY(::mkdirat(fd, "side", 0755) == 0);
                const int side = ::openat(fd, "side", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                QVERIFY(side >= 0 && touchAt(side, "s.txt"));
                ::close(side);
            }
        }
        QVERIFY(touchAt(fd, "bottom.txt"));
        ::close(fd);
        QVERIFY(FileTree::makeFolder(root + "/odd"));
        for (const QByteArray& name :
             {QByteArray("new\nline"), QByteArray("bad\xFF\xFE"), QByteArray("-rf"), QByteArray(250, 'n')}) {
            QVERIFY(FileTree::makeFolder(root + "/odd/" + name));
            QVERIFY(FileTree::write(root + "/odd/" + name + "/" + name, "x"));
        }
        QVERIFY(::symlink(root.constData(), (root + "/odd/up").constData()) == 0);
        QVERIFY(::symlink("self", (root + "/odd/self").constData()) == 0);
        QVERIFY(::mkfifo((root + "/odd/pipe").constData(), 0644) == 0);
        QVERIFY(FileTree::makeFolder(root + "/huge"));
        const int huge = ::open((root + "/huge").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(huge >= 0);
        for (int i = 0; i < 20000; ++i)
            QVERIFY(touchAt(huge, QByteArray("entry_" + QByteArray::number(i)).constData()));
        for (int i = 0; i < 200; ++i)
            QVERIFY(::mkdirat(huge, QByteArray("sub_" + QByteArray::number(i)).constData(), 0755) == 0);
        ::close(huge);

        form->form->searchRun().setReaders(0);
        const bool aloneFinished = searchAll(tree.qpath(), 120000);
        const QByteArrayList alone = rowsInOrder(form->results());
        form->form->folderModel()->removeRows(0, form->form->folderModel()->rowCount());
        form->form->searchRun().setReaders(DefaultWalkReaders);
        const int threadsBefore = threadCount();
        int threadsAtDone = -1;
        form->dialogs.onMessage = [&](const ScriptedDialogs::Message& m) {
            if (m.text == QLatin1String("Done."))
                threadsAtDone = threadCount();
        };
        const bool aheadFinished = searchAll(tree.qpath(), 120000);
        form->dialogs.onMessage = nullptr;
        const QByteArrayList ahead = rowsInOrder(form->results());
        const QStringList boxes = form->dialogs.errorTexts();

        QVERIFY(aloneFinished && aheadFinished);
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('\n')));
        // The huge folder, the odd names, the chain's files, its side branches, its bottom, and the link to
        // itself, which leads nowhere and so is a name like any file.
        QCOMPARE(alone.size(), 20000 + 4 + levels / 100 + 5 + 1 + 1);
        QVERIFY(std::any_of(alone.begin(), alone.end(),
                            [](const QByteArray& p) { return p.endsWith("/dd/bottom.txt"); }));
        QCOMPARE(ahead.size(), alone.size());
        for (int i = 0; i < alone.size(); ++i)
            QVERIFY2(ahead[i] == alone[i], qPrintable(QString("row %1 differs").arg(i)));
        QCOMPARE(threadsAtDone, threadsBefore);
    }

    void hundredThousandEntries()
    {
        ScratchDir tree;
        const int count = 100000;
        const int fd = ::open(tree.path().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        for (int i = 0; i < count; ++i)
            QVERIFY(touchAt(fd, QByteArray("entry_" + QByteArray::number(i)).constData()));
        ::close(fd);
        QVERIFY(searchAll(tree.qpath(), 120000));
        QCOMPARE(form->results().rowCount(), count);
        QCOMPARE(foundPaths(form->results()).size(), count);
        QVERIFY(form->dialogs.errorTexts().isEmpty());
    }
};

LENTROVA_TEST_MAIN(TestHostileTree)
#include "test_hostiletree.moc"
