// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"
#include "app/searchrun.h"
#include "platform/dirlisting.h"
#include "platform/nativepath.h"
#include "results/resultmodel.h"
#include "search/readerpool.h"
#include "search/walker.h"
#include "services/settings.h"
#include "services/shell.h"
#include "support/fixtures.h"
#include "support/scripteddialogs.h"
#include "support/testform.h"
#include "support/testmain.h"
#include "support/walksequence.h"
#include "support/xdgopenstub.h"

#include "ui/resultlistview.h"
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QStyleHints>
#include <QSysInfo>

#include <QTreeView>
#include <QUrl>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <functional>
#include <thread>

namespace {
void makeFile(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}

void makeFiles(const QString& root, const QStringList& relative)
{
    for (const QString& r : relative)
        makeFile(root + '/' + r);
}

// A point where the walk thread waits until the test lets it go on.
struct Gate
{
    std::atomic<int> reached{0};
    std::atomic<int> released{0};
    // Blocks the n-th arrival (1-based) until released reaches n.
    void arrive()
    {
        const int n = ++reached;
        while (released.load() < n)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void release() { ++released; }
};

// A folder open or check that hangs, as on a network mount whose server is gone: every path ending in
// "dead" blocks until released (or, so that a failing test still ends, for ten seconds).
std::atomic<int> deadInside{0};
std::atomic<bool> deadReleased{false};
int deadMount(const char* path)
{
    if (!QByteArray(path).endsWith("dead"))
        return 0;
    ++deadInside;
    QElapsedTimer held;
    held.start();
    while (!deadReleased.load() && held.elapsed() < 10000)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    --deadInside;
    return ETIMEDOUT;
}

struct DeadMount
{
    DeadMount()
    {
        deadReleased = false;
        fsys::setFolderOpenHook(deadMount);
    }
    ~DeadMount()
    {
        deadReleased = true;
        if (!QTest::qWaitFor([] { return deadInside.load() == 0; }, 15000))
            qWarning("a hanging open did not end");
        fsys::setFolderOpenHook(nullptr);
    }
};

// Counts how often the window's event loop ran a timer: a window that keeps answering keeps counting.
struct Heartbeat
{
    QTimer timer;
    int beats = 0;
    Heartbeat()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { ++beats; });
        timer.start(5);
    }
};

QByteArrayList walkSequence(const QString& root, int readers,
                            const std::function<int(std::string_view)>& hook, int stopAfter = -1)
{
    return walkSequence(QFile::encodeName(root), SequenceWalk{readers, hook, nullptr, false, stopAfter});
}

const QStringList TreeNames = {
    "readme.txt", "a.b.c.d",    "a.b.c",   "ab.txt",  "xABCy.txt", "xabcy.txt", "notes.txt.bak", "A.TXT",
    "x.log",      "longer.log", "a?c.txt", "abc.txt", "file7.txt", "fileA.txt", "[x].txt",       "a*b"};
} // namespace

class TestSearch : public QObject
{
    Q_OBJECT

    ScriptedDialogs dialogs;
    QTemporaryDir emptyInstall;
    std::unique_ptr<MainWindow> form;

    void newForm(const QString& install = QString())
    {
        form.reset();
        form = makeTestWindow(dialogs, install.isEmpty() ? emptyInstall.path() : install);
    }

    void addFolder(const QString& path) { form->folderModel()->appendRow(new QStandardItem(path)); }

    void criteria(const QString& length, int combo, const QString& filter = QString())
    {
        form->lengthEdit()->setText(length);
        form->comparisonCombo()->setCurrentIndex(combo);
        form->filterEdit()->setText(filter);
    }

    // Presses Start and waits for "Done.".
    bool search()
    {
        const int before = dialogs.countMessages("Done.");
        form->startButton()->click();
        return QTest::qWaitFor([&] { return dialogs.countMessages("Done.") == before + 1; }, 20000);
    }

    // A Stop sooner than this after Start would be taken for the end of a double-click.
    static void waitPastDoubleClick()
    {
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 20);
    }

    QStringList foundNames() const
    {
        QStringList names;
        for (int r = 0; r < form->resultModel()->rowCount(); ++r)
            names << fileNameOf(form->resultModel()->displayPath(r));
        names.sort();
        return names;
    }
    QStringList foundPaths() const
    {
        QStringList paths;
        for (int r = 0; r < form->resultModel()->rowCount(); ++r)
            paths << form->resultModel()->displayPath(r);
        return paths;
    }
    QString header() const { return form->folderModel()->headerData(0, Qt::Horizontal).toString(); }

private slots:
    void init()
    {
        dialogs = ScriptedDialogs();
        QSettings(QSettings::IniFormat, QSettings::UserScope, SettingsApp).clear();
        newForm();
    }
    void cleanup() { form.reset(); }

    void nameTest_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("combo");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("equal 10 lists readme.txt")
            << "10" << 0 << "" << QStringList{"longer.log", "readme.txt"};
        QTest::newRow("greater 10 does not") << "10" << 1 << "" << QStringList{"notes.txt.bak"};
        QTest::newRow("greater 9 does")
            << "9" << 1 << "" << QStringList{"longer.log", "notes.txt.bak", "readme.txt"};
        QTest::newRow("periods count")
            << "7" << 0 << "" << QStringList{"[x].txt", "a.b.c.d", "a?c.txt", "abc.txt"};
        QTest::newRow("less than") << "4" << 2 << "" << QStringList{"a*b"};
        QStringList all = TreeNames;
        all.sort();
        QTest::newRow("-1 greater lists all") << "-1" << 1 << "" << all;
        QTest::newRow("-1 less lists none") << "-1" << 2 << "" << QStringList{};
        QTest::newRow("nothing selected lists none") << "-1" << -1 << "" << QStringList{};
        QTest::newRow("substring ignores case")
            << "-1" << 1 << "abc" << QStringList{"abc.txt", "xABCy.txt", "xabcy.txt"};
        QTest::newRow("question mark plain in substring") << "-1" << 1 << "a?c" << QStringList{"a?c.txt"};
        QTest::newRow("bracket plain in substring") << "-1" << 1 << "[x]" << QStringList{"[x].txt"};
        QTest::newRow("pattern distinguishes case")
            << "-1" << 1 << "*abc*" << QStringList{"abc.txt", "xabcy.txt"};
        QTest::newRow("pattern upper case") << "-1" << 1 << "*.TXT" << QStringList{"A.TXT"};
        QTest::newRow("pattern covers the whole name")
            << "-1" << 1 << "*.txt"
            << QStringList{"[x].txt",   "a?c.txt",    "ab.txt",    "abc.txt",  "file7.txt",
                           "fileA.txt", "readme.txt", "xABCy.txt", "xabcy.txt"};
        QTest::newRow("pattern digit") << "-1" << 1 << "file#.*" << QStringList{"file7.txt"};
        QTest::newRow("pattern any one") << "-1" << 1 << "?.log*" << QStringList{"x.log"};
        QTest::newRow("pattern range")
            << "-1" << 1 << "[a-c]*"
            << QStringList{"a*b", "a.b.c", "a.b.c.d", "a?c.txt", "ab.txt", "abc.txt"};
        QTest::newRow("pattern not in range") << "-1" << 1 << "[!a-z]*" << QStringList{"A.TXT", "[x].txt"};
        QTest::newRow("pattern bracket itself") << "-1" << 1 << "[[]*" << QStringList{"[x].txt"};
        QTest::newRow("pattern star itself") << "-1" << 1 << "*[*]*" << QStringList{"a*b"};
        QTest::newRow("pattern with greater than") << "5" << 1 << "*.log" << QStringList{"longer.log"};
    }
    void nameTest()
    {
        QFETCH(QString, length);
        QFETCH(int, combo);
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QTemporaryDir tree;
        makeFiles(tree.path(), TreeNames);
        addFolder(tree.path());
        criteria(length, combo, filter);
        QVERIFY(search());
        QCOMPARE(foundNames(), expected);
        QVERIFY(dialogs.errorTexts().isEmpty());
        // Every row keeps the length column and the full path.
        for (int r = 0; r < form->resultModel()->rowCount(); ++r) {
            const QString path = form->resultModel()->displayPath(r);
            QVERIFY(path.startsWith(tree.path() + '/'));
            QCOMPARE(form->resultModel()->measuredLength(r), fileNameOf(path).size());
        }
        QCOMPARE(form->startButton()->text(), QStringLiteral("Start Finding"));
        QCOMPARE(header(), QStringLiteral("Folder(s)"));
        QCOMPARE(form->pointer().value(), Pointer::Default);
        QCOMPARE(form->progressBar()->format(), QStringLiteral("Progress Bar"));
    }

    void hiddenFilesAndFolders()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {".hidden", ".config/.inner", "plain"});
        addFolder(tree.path());
        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(foundNames(), (QStringList{".hidden", ".inner", "plain"}));
    }

    void filesBeforeSubFoldersDepthFirst()
    {
        QTemporaryDir tree;
        // The top holds only sub-folders.
        makeFiles(tree.path(), {"a/1", "a/2", "a/deep/3", "a/deep/deeper/4", "b/5", "b/deep/6", "c/7"});
        addFolder(tree.path());
        criteria("-1", 1);
        QVERIFY(search());
        const QStringList paths = foundPaths();
        QCOMPARE(paths.size(), 7);
        const QString root = tree.path() + '/';
        // Each sub-tree comes in one piece, and a folder's own files before those of its sub-folders.
        for (const QString folder : {"a/", "a/deep/", "b/", "c/"}) {
            int first = -1, last = -1;
            for (int i = 0; i < paths.size(); ++i)
                if (paths[i].startsWith(root + folder)) {
                    last = i;
                    if (first < 0)
                        first = i;
                }
            for (int i = first; i <= last; ++i)
                QVERIFY2(paths[i].startsWith(root + folder), qPrintable(paths.join('\n')));
            const int depth = int(folder.count('/'));
            QVERIFY2(paths[first].count('/') - root.count('/') == depth, qPrintable(paths.join('\n')));
        }
    }

    void folderListedTwice()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"one.txt", "sub/two.txt"});
        addFolder(tree.path());
        addFolder(tree.path() + '/');
        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(foundNames(), (QStringList{"one.txt", "one.txt", "two.txt", "two.txt"}));
        // A closing separator on the listed folder does not double the separator in the rows.
        for (const QString& p : foundPaths())
            QVERIFY2(!p.contains("//"), qPrintable(p));
    }

    void unreadableFolderOneBoxWalkGoesOn()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"top.txt", "a/locked/hidden.txt", "a/locked/below/deeper.txt", "a/z/y.txt"});
        addFolder(tree.path());
        criteria("-1", 1);
        form->searchRun().setBeforeOpen([](std::string_view path) {
            return path.size() >= 7 && path.substr(path.size() - 7) == "/locked" ? EACCES : 0;
        });
        QVERIFY(search());
        QCOMPARE(foundNames(), (QStringList{"top.txt", "y.txt"}));
        const QStringList boxes = dialogs.errorTexts();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].startsWith(
                     "Permission denied\r\nin Zimbrel2021/08/31.modSearch.searchFiles at line 112"),
                 qPrintable(boxes[0]));
        QVERIFY(boxes[0].endsWith(tree.path() + "/a/locked"));
    }

    void unreadableFolderOnDisk()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"top.txt", "locked/x.txt", "open/y.txt"});
        QFile::setPermissions(tree.path() + "/locked", QFileDevice::Permissions());
        const bool privileged = !QDir(tree.path() + "/locked").entryList(QDir::Files).isEmpty();
        if (privileged) {
            QFile::setPermissions(tree.path() + "/locked",
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("running with privileges that read any folder; the injected failure above covers this");
        }
        addFolder(tree.path());
        criteria("-1", 1);
        QVERIFY(search());
        QFile::setPermissions(tree.path() + "/locked",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(foundNames(), (QStringList{"top.txt", "y.txt"}));
        QCOMPARE(dialogs.errorTexts().size(), 1);
        QVERIFY(dialogs.errorTexts()[0].contains("modSearch.searchFiles at line 112"));
    }

    void folderRemovedBetweenListingAndOpening()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"top.txt", "gone/x.txt", "stays/y.txt"});
        addFolder(tree.path());
        criteria("-1", 1);
        form->searchRun().setBeforeOpen([](std::string_view path) {
            if (path.size() >= 5 && path.substr(path.size() - 5) == "/gone")
                QDir(QString::fromUtf8(path.data(), qsizetype(path.size()))).removeRecursively();
            return 0;
        });
        QVERIFY(search());
        QCOMPARE(foundNames(), (QStringList{"top.txt", "y.txt"}));
        const QStringList boxes = dialogs.errorTexts();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].contains("modSearch.searchFiles at line 112"), qPrintable(boxes[0]));
    }

    void folderDeletedAfterItWasAdded()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"a/one.txt", "gone/x.txt", "b/two.txt"});
        addFolder(tree.path() + "/a");
        addFolder(tree.path() + "/gone");
        addFolder(tree.path() + "/b");
        QVERIFY(QDir(tree.path() + "/gone").removeRecursively());
        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(foundNames(), (QStringList{"one.txt", "two.txt"}));
        const QStringList boxes = dialogs.errorTexts();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0], errorBoxText(QStringLiteral("No such file or directory"), QStringLiteral("Form1"),
                                        QStringLiteral("PushButton1_Click"), 132, tree.path() + "/gone"));
        // The box came before "Done.", which still closes the run.
        QCOMPARE(dialogs.messages.last().text, QStringLiteral("Done."));
    }

    void progressValues_data()
    {
        QTest::addColumn<int>("folders");
        QTest::addColumn<QList<int>>("values");
        QTest::newRow("1") << 1 << QList<int>{100, 0};
        QTest::newRow("3") << 3 << QList<int>{33, 66, 100, 0};
        QTest::newRow("4") << 4 << QList<int>{25, 50, 75, 100, 0};
    }
    void progressValues()
    {
        QFETCH(int, folders);
        QFETCH(QList<int>, values);
        QTemporaryDir tree;
        for (int i = 0; i < folders; ++i) {
            makeFile(tree.path() + QString("/f%1/x.txt").arg(i));
            addFolder(tree.path() + QString("/f%1").arg(i));
        }
        QList<int> seen;
        connect(form->progressBar(), &QProgressBar::valueChanged, form.get(), [&](int v) { seen << v; });
        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(seen, values);
        QCOMPARE(form->progressBar()->format(), QStringLiteral("Progress Bar"));
        QCOMPARE(form->resultModel()->rowCount(), folders);
    }

    void emptyFolderListKeepsResults()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"x.txt"});
        addFolder(tree.path());
        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(form->resultModel()->rowCount(), 1);
        form->folderModel()->removeRow(0);
        form->startButton()->click();
        QCOMPARE(dialogs.messages.last().text, QStringLiteral("Add folder(s) to search first."));
        QCOMPARE(dialogs.messages.last().style, 0);
        QCOMPARE(dialogs.messages.last().title, QStringLiteral("Lentrova"));
        QCOMPARE(form->resultModel()->rowCount(), 1);
        QCOMPARE(form->startButton()->text(), QStringLiteral("Start Finding"));
    }

    void startRefusesCriteriaThatCannotWork_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("field");
        QTest::newRow("empty length") << ""
                                      << ""
                                      << "Length Of Filename";
        QTest::newRow("12a") << "12a"
                             << ""
                             << "Length Of Filename";
        QTest::newRow("out of range") << "40000"
                                      << ""
                                      << "Length Of Filename";
        QTest::newRow("unclosed bracket") << "5"
                                          << "*[abc"
                                          << "Filter";
    }
    void startRefusesCriteriaThatCannotWork()
    {
        QFETCH(QString, length);
        QFETCH(QString, filter);
        QFETCH(QString, field);
        QTemporaryDir tree;
        makeFiles(tree.path(), {"x.txt", "y.txt"});
        addFolder(tree.path());
        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(form->resultModel()->rowCount(), 2);
        const int messagesBefore = int(dialogs.messages.size());
        criteria(length, 1, filter);
        form->startButton()->click();
        QTest::qWait(50);
        QCOMPARE(int(dialogs.messages.size()), messagesBefore + 1);
        QVERIFY2(dialogs.messages.last().text.startsWith(field + ": "),
                 qPrintable(dialogs.messages.last().text));
        QVERIFY(dialogs.messages.last().text.contains('"' + (field == "Filter" ? filter : length) + '"'));
        QCOMPARE(form->resultModel()->rowCount(), 2);
        QCOMPARE(form->startButton()->text(), QStringLiteral("Start Finding"));
        QCOMPARE(form->pointer().value(), Pointer::Default);
        QVERIFY(!form->searchRun().active());
    }

    // The "Done." box runs its own event loop; nothing left over from the run may set the hourglass again
    // while it is open, however fast the folders' walks end.
    void noHourglassOnceDone()
    {
        QTemporaryDir tree;
        for (int i = 0; i < 6; ++i)
            QVERIFY(QDir().mkpath(tree.path() + "/empty" + QString::number(i)));
        for (int i = 0; i < 6; ++i)
            addFolder(tree.path() + "/empty" + QString::number(i));
        criteria("-1", 1);
        QList<Pointer> whileDone;
        dialogs.onMessage = [&](const ScriptedDialogs::Message& m) {
            if (m.text != QLatin1String("Done."))
                return;
            QTest::qWait(20);
            whileDone << form->pointer().value();
        };
        for (int run = 0; run < 10; ++run)
            QVERIFY(search());
        dialogs.onMessage = nullptr;
        QCOMPARE(whileDone, QList<Pointer>(10, Pointer::Default));
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    // Stop while the second of three folders is being walked: nothing more is added, the third folder only
    // passes through the progress, and a second Start during the wind-down is ignored.
    void stopMidway()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"a/1.txt", "a/2.txt", "b/3.txt", "b/sub/4.txt", "c/5.txt"});
        for (const char* f : {"a", "b", "c"})
            addFolder(tree.path() + '/' + f);
        Gate gate;
        form->searchRun().setBeforeOpen([&](std::string_view path) {
            if (path.size() >= 4 && path.substr(path.size() - 4) == "/sub")
                gate.arrive();
            return 0;
        });
        QList<int> seen;
        connect(form->progressBar(), &QProgressBar::valueChanged, form.get(), [&](int v) { seen << v; });
        criteria("-1", 1);
        form->startButton()->click();
        QCOMPARE(form->startButton()->text(), QStringLiteral("Stop"));
        QCOMPARE(form->pointer().value(), Pointer::Busy);
        QTRY_COMPARE(gate.reached.load(), 1);
        QTRY_COMPARE(header(), "Searching " + tree.path() + "/b");
        QCOMPARE(form->progressBar()->format(), QStringLiteral("Processing: b"));
        QCOMPARE(form->progressBar()->value(), 66);
        const QStringList before = foundNames();
        QVERIFY(before.contains("1.txt") && before.contains("2.txt"));

        waitPastDoubleClick();
        form->startButton()->click(); // Stop
        QCOMPARE(form->startButton()->text(), QStringLiteral("Start Finding"));
        QVERIFY(form->searchRun().stopRequested());
        form->startButton()->click(); // Start again while the stopped run winds down: ignored
        gate.release();
        QTRY_COMPARE(dialogs.countMessages("Done."), 1);
        QTest::qWait(50);
        QCOMPARE(dialogs.countMessages("Done."), 1);
        QCOMPARE(foundNames(), before);
        QVERIFY(!foundNames().contains("5.txt"));
        QCOMPARE(seen, (QList<int>{33, 66, 100, 0}));
        QCOMPARE(header(), QStringLiteral("Folder(s)"));
        QCOMPARE(form->startButton()->text(), QStringLiteral("Start Finding"));
        QCOMPARE(form->pointer().value(), Pointer::Default);
        QVERIFY(dialogs.errorTexts().isEmpty());
        QVERIFY(!form->searchRun().active());
    }

    // The length is read before every file; while it does not convert nothing matches and no box is shown.
    void lengthChangedDuringRun()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(),
                  {"aaaaa", "sub/bbbbb", "sub/ccccccc", "sub/deeper/ddddd", "sub/deeper/eeeeeee"});
        addFolder(tree.path());
        Gate gate;
        // The walk's own position, not where readers listing ahead of it have got to.
        form->searchRun().setBeforeEnter([&](std::string_view) { gate.arrive(); });
        criteria("5", 0);
        form->startButton()->click();
        QTRY_COMPARE(gate.reached.load(), 1); // before sub
        form->lengthEdit()->setText("");
        gate.release();
        QTRY_COMPARE(gate.reached.load(), 2); // before sub/deeper
        form->lengthEdit()->setText("7");
        gate.release();
        QTRY_COMPARE(dialogs.countMessages("Done."), 1);
        QCOMPARE(foundNames(), (QStringList{"aaaaa", "eeeeeee"}));
        QVERIFY(dialogs.errorTexts().isEmpty());
    }

    // The filter is taken as each listed folder begins; a pattern that cannot be matched then matches
    // nothing.
    void filterChangedDuringRun()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"a/x.txt", "a/sub/y.txt", "b/z.txt", "c/w.txt"});
        for (const char* f : {"a", "b", "c"})
            addFolder(tree.path() + '/' + f);
        Gate gate;
        form->searchRun().setBeforeOpen([&](std::string_view) {
            gate.arrive();
            return 0;
        });
        criteria("-1", 1, "*.txt");
        form->startButton()->click();
        QTRY_COMPARE(gate.reached.load(), 1); // inside a: its own filter stays
        form->filterEdit()->setText("*[x");
        gate.release();
        QTRY_COMPARE(dialogs.countMessages("Done."), 1);
        QCOMPARE(foundNames(), (QStringList{"x.txt", "y.txt"}));
        QVERIFY(dialogs.errorTexts().isEmpty());
        // The next Start refuses it.
        form->startButton()->click();
        QVERIFY(dialogs.messages.last().text.startsWith("Filter: "));
        QCOMPARE(foundNames(), (QStringList{"x.txt", "y.txt"}));
    }

    // The list stays usable during a run; the run visits the folders that were listed when it started.
    void folderListChangedDuringRun()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"a/1.txt", "a/sub/2.txt", "b/3.txt", "c/4.txt"});
        addFolder(tree.path() + "/a");
        addFolder(tree.path() + "/b");
        Gate gate;
        form->searchRun().setBeforeOpen([&](std::string_view) {
            gate.arrive();
            return 0;
        });
        criteria("-1", 1);
        form->startButton()->click();
        QTRY_COMPARE(gate.reached.load(), 1);
        form->folderModel()->removeRow(1);
        addFolder(tree.path() + "/c");
        gate.release();
        QTRY_COMPARE(dialogs.countMessages("Done."), 1);
        QCOMPARE(foundNames(), (QStringList{"1.txt", "2.txt", "3.txt"}));
    }

    void oddNames()
    {
        QTemporaryDir tree;
        const QByteArray root = QFile::encodeName(tree.path()) + '/';
        const QList<QPair<QByteArray, int>> names = {{"bad\xFF.txt", 8},
                                                     {"new\nline", 8},
                                                     {"back\\slash", 10},
                                                     {"\xF0\x9F\x98\x80.txt", 6},
                                                     {QByteArray(200, 'n'), 200}};
        for (const auto& n : names)
            QVERIFY(fsys::createEmptyFile(root + n.first));
        addFolder(tree.path());
        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(form->resultModel()->rowCount(), int(names.size()));
        for (const auto& n : names) {
            bool found = false;
            for (int r = 0; r < form->resultModel()->rowCount(); ++r)
                if (form->resultModel()->nativePath(r) == root + n.first) {
                    found = true;
                    QCOMPARE(int(form->resultModel()->measuredLength(r)), n.second);
                }
            QVERIFY2(found, n.first.toHex().constData());
        }
        criteria("6", 0);
        QVERIFY(search());
        QCOMPARE(foundNames(), QStringList{QString::fromUtf8("\xF0\x9F\x98\x80.txt")});
        QVERIFY(fsys::removeFile(root + names[0].first)); // no text names it, so the clean-up could not
    }

    void symlinkLoopIsNotFollowed()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"a/x.txt"});
        QVERIFY(QFile::link(tree.path(), tree.path() + "/a/loop"));
        QVERIFY(QFile::link(tree.path() + "/a", tree.path() + "/a/up"));
        QVERIFY(QFile::link(tree.path() + "/a/x.txt", tree.path() + "/a/link.txt"));
        addFolder(tree.path());
        criteria("-1", 1);
        QVERIFY(search());
        // Folder links are neither entered nor listed; a link to a file is a file of the folder.
        QCOMPARE(foundNames(), (QStringList{"link.txt", "x.txt"}));
        QVERIFY(dialogs.errorTexts().isEmpty());
    }

    void deepChainOfFolders()
    {
        QTemporaryDir tree;
        QDir dir(tree.path());
        for (int i = 0; i < 600; ++i) {
            QVERIFY(dir.mkdir("dd"));
            QVERIFY(dir.cd("dd"));
        }
        makeFile(dir.path() + "/bottom.txt");
        addFolder(tree.path());
        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(foundNames(), QStringList{"bottom.txt"});
        QVERIFY(dialogs.errorTexts().isEmpty());
    }

    // Two sub-folders on every level: folders with a sub-folder still to visit keep their descriptor until
    // the walk runs past its budget and has to reopen folders higher up by name.
    void deepTreeWithSiblingsOnEveryLevel()
    {
        QTemporaryDir tree;
        QDir dir(tree.path());
        const int levels = 400; // about half the levels keep a descriptor: well past the budget
        for (int i = 0; i < levels; ++i) {
            QVERIFY(dir.mkdir("a") && dir.mkdir("b"));
            makeFile(dir.path() + QString("/b/f%1").arg(i));
            QVERIFY(dir.cd("a"));
        }
        addFolder(tree.path());
        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(form->resultModel()->rowCount(), levels);
        QVERIFY(dialogs.errorTexts().isEmpty());
    }

    void addFolderThroughPicker()
    {
        QTemporaryDir tree;
        QVERIFY(QDir().mkpath(tree.path() + "/picked"));
        dialogs.directories.enqueue(tree.path() + "//picked");
        form->addFolderButton()->click();
        QCOMPARE(dialogs.directoryStarts, QStringList{QString()});
        QCOMPARE(form->folderModel()->rowCount(), 1);
        QCOMPARE(form->folderModel()->item(0)->text(), tree.path() + "/picked");
        QCOMPARE(form->pointer().value(), Pointer::Default);
        // The next picker opens where this one ended; a cancel changes nothing and says nothing.
        form->addFolderButton()->click();
        QCOMPARE(dialogs.directoryStarts.last(), tree.path() + "/picked");
        QCOMPARE(form->folderModel()->rowCount(), 1);
        QVERIFY(dialogs.messages.isEmpty());
    }

    void deleteKey()
    {
        for (const char* f : {"/one", "/two", "/three"})
            addFolder(f);
        QTest::keyClick(form->folderList(), Qt::Key_Delete); // nothing selected
        QCOMPARE(form->folderModel()->rowCount(), 3);
        form->folderList()->setCurrentIndex(form->folderModel()->index(1, 0));
        form->pointer().set(Pointer::Busy);
        QTest::keyClick(form->folderList(), Qt::Key_Delete); // busy
        QCOMPARE(form->folderModel()->rowCount(), 3);
        form->onFolderListKeyDown(Qt::Key_Insert); // another key
        QCOMPARE(form->folderModel()->rowCount(), 3);
        form->pointer().set(Pointer::Default);
        QTest::keyClick(form->folderList(), Qt::Key_Delete);
        QCOMPARE(form->folderModel()->rowCount(), 2);
        QCOMPARE(form->folderModel()->item(0)->text(), QStringLiteral("/one"));
        QCOMPARE(form->folderModel()->item(1)->text(), QStringLiteral("/three"));
    }

    // Readers listing ahead change nothing the user sees: the same headers, rows and boxes in the same order
    // as the walk that lists each folder itself, on a tree of thousands of folders.
    void readersKeepTheWalkOrder()
    {
        QTemporaryDir tree;
        QRandomGenerator random(7);
        QStringList folders = {QString()};
        while (folders.size() < 3000) {
            // Parents drawn from the later half mostly, so that the tree grows deep as well as wide.
            const int parent = random.bounded(3) == 0
                                   ? random.bounded(int(folders.size()))
                                   : int(folders.size()) / 2 + random.bounded(int(folders.size() + 1) / 2);
            const QString path = folders[std::min(parent, int(folders.size()) - 1)] + '/' + "d" +
                                 QString::number(folders.size());
            QVERIFY(QDir().mkdir(tree.path() + path));
            folders << path;
        }
        for (int i = 0; i < 6000; ++i)
            QVERIFY(fsys::createEmptyFile(QFile::encodeName(
                tree.path() + folders[random.bounded(int(folders.size()))] + "/f" + QString::number(i))));
        // Some folders cannot be opened: their boxes must fall at the same places.
        const auto refuse = [](std::string_view path) {
            return path.size() > 2 && path.substr(path.size() - 2) == "77" ? EACCES : 0;
        };
        const QByteArrayList alone = walkSequence(tree.path(), 0, refuse);
        QVERIFY(alone.size() > 6000);
        QVERIFY(std::count_if(alone.begin(), alone.end(),
                              [](const QByteArray& e) { return e.startsWith("! "); }) > 5);
        // Some listings that take as long as a disk's: more readers join mid-walk, and leave with it.
        std::atomic<int> mostThreads{0};
        const auto slowSome = [&](std::string_view path) {
            if (path.size() > 2 && path.substr(path.size() - 2) == "33") {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                for (int seen = mostThreads.load(), now = threadCount(); now > seen;)
                    mostThreads.compare_exchange_weak(seen, now);
            }
            return refuse(path);
        };
        const int threadsBefore = threadCount();
        const int descriptorsBefore = openDescriptorCount();
        for (int readers : {1, 2, 6, 16, -16}) {
            // Stopped part of the way in: what came is where the whole walk begins, and nothing is left.
            for (int stopAfter : {40, 2500}) {
                const QByteArrayList part = walkSequence(tree.path(), std::abs(readers), refuse, stopAfter);
                QVERIFY(part.size() >= stopAfter && part.size() < alone.size());
                QVERIFY(alone.mid(0, part.size()) == part);
                // A joined thread can still be listed for a moment while the system reaps it.
                QTRY_COMPARE(threadCount(), threadsBefore);
                QCOMPARE(openDescriptorCount(), descriptorsBefore);
            }
            const QByteArrayList ahead =
                walkSequence(tree.path(), std::abs(readers),
                             readers < 0 ? std::function<int(std::string_view)>(slowSome) : refuse);
            QTRY_COMPARE(threadCount(), threadsBefore);
            QCOMPARE(openDescriptorCount(), descriptorsBefore);
            QCOMPARE(ahead.size(), alone.size());
            for (int i = 0; i < alone.size(); ++i)
                QVERIFY2(ahead[i] == alone[i],
                         qPrintable(QString("readers %1, entry %2: %3 instead of %4")
                                        .arg(readers)
                                        .arg(i)
                                        .arg(QString::fromUtf8(ahead[i]), QString::fromUtf8(alone[i]))));
        }
        // Few readers start; slow listings brought the rest.
        const int firstReaders = walkahead::readersAtStart(16);
        if (firstReaders < 16)
            QVERIFY2(
                mostThreads.load() > threadsBefore + firstReaders,
                qPrintable(
                    QString("at most %1 threads, %2 before").arg(mostThreads.load()).arg(threadsBefore)));
    }

    // A folder whose open never returns (a dead network mount) holds neither the window nor Stop: whether it
    // is the listed folder itself or a folder below it.
    void deadMountHoldsNeitherWindowNorStop_data()
    {
        QTest::addColumn<QString>("listed");
        QTest::newRow("listed folder") << "dead";
        QTest::newRow("sub-folder") << "";
    }
    void deadMountHoldsNeitherWindowNorStop()
    {
        QFETCH(QString, listed);
        QTemporaryDir tree;
        makeFiles(tree.path(), {"top.txt", "dead/x.txt", "sub/y.txt"});
        addFolder(tree.path() + (listed.isEmpty() ? QString() : '/' + listed));
        criteria("-1", 1);
        DeadMount dead;
        Heartbeat heartbeat;
        form->startButton()->click();
        QTRY_COMPARE(deadInside.load(), 1);
        const int beats = heartbeat.beats;
        QTRY_VERIFY(heartbeat.beats > beats + 3);
        QCOMPARE(deadInside.load(), 1);
        waitPastDoubleClick();
        form->startButton()->click(); // Stop
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.countMessages("Done."), 1, 3000);
        QCOMPARE(deadInside.load(), 1); // "Done." did not wait for the mount
        QVERIFY(!form->searchRun().active());
        QVERIFY(!foundNames().contains("x.txt"));
        QVERIFY(dialogs.errorTexts().isEmpty());
        // A new run goes on while the old walk still hangs.
        form->folderModel()->removeRows(0, form->folderModel()->rowCount());
        addFolder(tree.path() + "/sub");
        QVERIFY(search());
        QCOMPARE(foundNames(), QStringList{"y.txt"});
    }

    // A dropped folder on a dead mount is looked at off the window's thread: the drop returns, the window
    // answers, and the folders that answer are listed.
    void dropOntoDeadMount()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"ok/x.txt", "dead/y.txt"});
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(tree.path() + "/ok"), QUrl::fromLocalFile(tree.path() + "/dead")});
        QWidget* viewport = form->folderList()->viewport();
        DeadMount dead;
        Heartbeat heartbeat;
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(deadInside.load(), 1); // the check still hangs, the window does not
        for (int i = 0; i < 20; ++i) {
            QDragMoveEvent move(QPoint(5 + i, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(viewport, &move);
            QVERIFY(move.isAccepted());
        }
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(deadInside.load(), 1); // one check for the drag and the drop, still waiting
        const int beats = heartbeat.beats;
        QTRY_VERIFY(heartbeat.beats > beats + 3);
        QTRY_COMPARE(form->folderModel()->rowCount(), 1);
        QCOMPARE(form->folderModel()->item(0)->text(), tree.path() + "/ok");
        QTest::qWait(100);
        QCOMPARE(form->folderModel()->rowCount(), 1);
    }

    void dropFoldersFromFileManager()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"f1/x.txt", "file.txt", "f2/y.txt"});
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(tree.path() + "/f1"),
                      QUrl::fromLocalFile(tree.path() + "/file.txt"),
                      QUrl::fromLocalFile(tree.path() + "/f2")});
        QWidget* viewport = form->folderList()->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QCOMPARE(form->folderModel()->rowCount(), 2);
        QCOMPARE(form->folderModel()->item(0)->text(), tree.path() + "/f1");
        QCOMPARE(form->folderModel()->item(1)->text(), tree.path() + "/f2");

        QMimeData onlyFile;
        onlyFile.setUrls({QUrl::fromLocalFile(tree.path() + "/file.txt")});
        QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &onlyFile, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &refused);
        QVERIFY(!refused.isAccepted());
        QDropEvent dropFile(QPointF(5, 5), Qt::CopyAction, &onlyFile, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &dropFile);
        QCOMPARE(form->folderModel()->rowCount(), 2);

        criteria("-1", 1);
        QVERIFY(search());
        QCOMPARE(foundNames(), (QStringList{"x.txt", "y.txt"}));
    }

    // A double-click on Start starts the search; the second click is no Stop. A Stop once the desktop's
    // double-click interval has passed stops it.
    void doubleClickOnStart()
    {
        QTemporaryDir tree;
        makeFiles(tree.path(), {"a/x.txt", "a/sub/y.txt"});
        addFolder(tree.path() + "/a");
        Gate gate;
        form->searchRun().setBeforeOpen([&](std::string_view path) {
            if (path.size() >= 4 && path.substr(path.size() - 4) == "/sub")
                gate.arrive();
            return 0;
        });
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(300);
        criteria("-1", 1);
        // Clicks need a shown window, not a painted one: painting runs on Qt Gui's pooled threads, whose
        // hand-offs ThreadSanitizer cannot see.
        form->setUpdatesEnabled(false);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QElapsedTimer clock;
        clock.start();
        // Two clicks in quick succession, as a double-click reaches the button.
        QTest::mouseClick(form->startButton(), Qt::LeftButton);
        QCOMPARE(form->startButton()->text(), QStringLiteral("Stop"));
        QTest::mouseClick(form->startButton(), Qt::LeftButton);
        QCOMPARE(form->startButton()->text(), QStringLiteral("Stop"));
        QVERIFY(!form->searchRun().stopRequested());
        QTRY_COMPARE(gate.reached.load(), 1);
        if (clock.elapsed() < 300) {
            form->startButton()->click(); // still inside the interval
            QVERIFY(!form->searchRun().stopRequested());
        }
        waitPastDoubleClick();
        form->startButton()->click();
        QVERIFY(form->searchRun().stopRequested());
        gate.release();
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.countMessages("Done."), 1, 5000);
        QVERIFY(!foundNames().contains("y.txt"));
    }

    // The row shows exactly the folder the search walks; a link to another machine adds nothing.
    void dropUrls_data()
    {
        QTest::addColumn<QString>("url"); // %1: the tree, as a URL path
        QTest::addColumn<QString>("row"); // %1: the tree; empty: no row
        QTest::newRow("plain") << "file://%1/d\u00e9"
                               << "%1/d\u00e9";
        QTest::newRow("localhost") << "file://localhost%1/d\u00e9"
                                   << "%1/d\u00e9";
        QTest::newRow("this machine") << "file://" + QSysInfo::machineHostName() + "%1/d\u00e9"
                                      << "%1/d\u00e9";
        QTest::newRow("other host") << "file://otherhost.example%1/d\u00e9"
                                    << "";
        QTest::newRow("trailing separator") << "file://%1/d\u00e9/"
                                            << "%1/d\u00e9";
        QTest::newRow("doubled separators") << "file://%1//d\u00e9//"
                                            << "%1/d\u00e9";
        QTest::newRow("not a file") << "https://%1/d\u00e9"
                                    << "";
    }
    void dropUrls()
    {
        QFETCH(QString, url);
        QFETCH(QString, row);
        QTemporaryDir tree;
        makeFiles(tree.path(), {"d\u00e9/x.txt"});
        QMimeData mime;
        mime.setUrls({QUrl(url.arg(QUrl::fromLocalFile(tree.path()).path(QUrl::FullyEncoded)))});
        QWidget* viewport = form->folderList()->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        if (row.isEmpty()) {
            QVERIFY(!enter.isAccepted());
            QCOMPARE(form->folderModel()->rowCount(), 0);
            return;
        }
        QCOMPARE(form->folderModel()->rowCount(), 1);
        QCOMPARE(form->folderModel()->item(0)->text(), row.arg(tree.path()));
        criteria("-1", 1);
        const int done = dialogs.countMessages("Done.");
        form->startButton()->click();
        QCOMPARE(form->progressBar()->format(), QStringLiteral("Processing: d\u00e9"));
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.countMessages("Done."), done + 1, 20000);
        QCOMPARE(foundNames(), QStringList{"x.txt"});
    }

    void sampleFolders_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("No") << Answer::No;
        QTest::newRow("Yes") << Answer::Yes;
    }
    void sampleFolders()
    {
        QFETCH(Answer, answer);
        const QString install = QFINDTESTDATA("../install");
        QVERIFY(!install.isEmpty());
        newForm(QDir(install).absolutePath());
        XdgOpenStub stub;
        dialogs.answers.enqueue(answer);
        form->loadSamplesButton()->click();

        const QString folder = QDir(install).absolutePath();
        QCOMPARE(form->folderModel()->rowCount(), 2);
        QCOMPARE(form->folderModel()->item(0)->text(), folder + "/Samples/sample1/");
        QCOMPARE(form->folderModel()->item(1)->text(), folder + "/Samples/sample2/");
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(
            dialogs.messages[0].text,
            QStringLiteral("Would you like this software to open the folder where these sample files are "
                           "stored (so that you can view them before working with them)?"));
        QCOMPARE(dialogs.messages[0].style, 4);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Lentrova"));
        QCOMPARE(form->lengthEdit()->text(), QStringLiteral("5"));
        QCOMPARE(form->comparisonCombo()->currentIndex(), 1);
        if (answer == Answer::Yes) {
            QTRY_COMPARE(stub.launches().size(), 1);
            QCOMPARE(QUrl(stub.launches().first()).toLocalFile(), folder + "/Samples/");
        } else {
            QTest::qWait(100);
            QVERIFY(stub.launches().isEmpty());
        }

        // The example search: names longer than 5, periods and blanks counted, hidden and sub-folder files
        // in.
        QVERIFY(search());
        QCOMPARE(foundNames(),
                 (QStringList{".hidden", "Q1.csv", "cat.csv", "deep.name.txt", "index.html", "my test.txt",
                              "notes.txt", "photo 01.txt", "readme.txt", "report.final.txt"}));
        QVERIFY(dialogs.errorTexts().isEmpty());
    }
};

LENTROVA_TEST_MAIN(TestSearch)
#include "test_search.moc"
