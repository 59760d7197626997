// SPDX-License-Identifier: MIT
#include "results/listtable.h"
#include "results/textreport.h"
#include "search/searchrun.h"
#include "support/filetree.h"
#include "support/searchhost.h"
#include "support/testmain.h"

#include <QProcess>

#include <memory>

#include <sys/mount.h>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run find(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(LENTROVA_FIND), args);
    Run r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QList<QByteArray> sortedLines(const QByteArray& text, char separator = '\n')
{
    QList<QByteArray> lines = text.split(separator);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Files of the option tests, below the tree's folder.
const QList<QByteArray> OptionTree = {"readme.txt", "a.b.c", "sub/longer.log", "sub/deep/x.txt",
                                      "skip/y.txt"};

// Odd names on purpose: the finder must list exactly what the window lists, bytes and order.
const QList<QByteArray> OddTree = {"readme.txt",
                                   "A.TXT",
                                   "x.log",
                                   "ab\xF0\x9F\x98\x80.txt",
                                   "e\xCC\x81.txt",
                                   "bad\xFF\xFEname.txt",
                                   "d1/notes.txt.bak",
                                   "d1/d\xC3\xA9/f.txt",
                                   "d1/d2/d3/longer.log",
                                   "d\xFF/inner.txt",
                                   "z/[x].txt",
                                   "z/a?c.txt",
                                   "z/file7.txt",
                                   ".hidden/.dot.txt"};

void makeTree(const QByteArray& root, const QList<QByteArray>& files)
{
    for (const QByteArray& f : files) {
        for (qsizetype at = f.indexOf('/'); at >= 0; at = f.indexOf('/', at + 1))
            FileTree::makeFolder(root + '/' + f.left(at));
        QVERIFY(FileTree::write(root + '/' + f, "x"));
    }
}

QStringList unitArgs(const QString& unit)
{
    return unit.isEmpty() ? QStringList{} : QStringList{QStringLiteral("--unit"), unit};
}

QString comparisonOption(int combo)
{
    return combo == 0 ? QStringLiteral("--eq") : combo == 1 ? QStringLiteral("--gt") : QStringLiteral("--lt");
}

} // namespace

// The finder as a user without rights to one folder of the tree runs it.
UNPRIVILEGED_STEP(findAsNobody)
{
    const Run r = find(args);
    std::printf("%d\n%s", r.exitCode, (r.err + "--\n" + r.out).constData());
    return 0;
}

class TestFinder : public QObject
{
    Q_OBJECT

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("args"); // "T" stands for the tree
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QList<QByteArray>>("lines"); // sorted; "T/" stands for the tree
        QTest::addColumn<QString>("err");             // what stderr must contain; empty: stderr empty
        const QList<QByteArray> all = {"T/a.b.c", "T/readme.txt", "T/skip/y.txt", "T/sub/deep/x.txt",
                                       "T/sub/longer.log"};
        QTest::newRow("equal") << QStringList{"--eq", "10", "T"} << 0
                               << QList<QByteArray>{"T/readme.txt", "T/sub/longer.log"} << "";
        QTest::newRow("greater, all") << QStringList{"--gt", "-1", "T"} << 0 << all << "";
        QTest::newRow("less") << QStringList{"--lt", "6", "T"} << 0
                              << QList<QByteArray>{"T/a.b.c", "T/skip/y.txt", "T/sub/deep/x.txt"} << "";
        QTest::newRow("nothing matched") << QStringList{"--gt", "100", "T"} << 1 << QList<QByteArray>{} << "";
        QTest::newRow("value after equals sign")
            << QStringList{"--eq=14", "--unit=path", "T"} << 0
            << QList<QByteArray>{"T/sub/deep/x.txt", "T/sub/longer.log"} << "";
        QTest::newRow("with length in path bytes")
            << QStringList{"--gt", "8", "--unit", "path-bytes", "--with-length", "T"} << 0
            << QList<QByteArray>{"T/readme.txt\t10", "T/skip/y.txt\t10", "T/sub/deep/x.txt\t14",
                                 "T/sub/longer.log\t14"}
            << "";
        QTest::newRow("unit word in capitals")
            << QStringList{"--eq", "5", "--unit", "BYTES", "T"} << 0
            << QList<QByteArray>{"T/a.b.c", "T/skip/y.txt", "T/sub/deep/x.txt"} << "";
        QTest::newRow("substring filter ignores case") << QStringList{"--gt", "-1", "--filter", "LOG", "T"}
                                                       << 0 << QList<QByteArray>{"T/sub/longer.log"} << "";
        QTest::newRow("question mark without a star is plain text")
            << QStringList{"--gt", "-1", "--filter", "?.txt", "T"} << 1 << QList<QByteArray>{} << "";
        QTest::newRow("pattern filter with star")
            << QStringList{"--gt", "-1", "--filter", "*.txt", "T"} << 0
            << QList<QByteArray>{"T/readme.txt", "T/skip/y.txt", "T/sub/deep/x.txt"} << "";
        QTest::newRow("exclude, spelled otherwise")
            << QStringList{"--gt", "-1", "--exclude", "T/./sub/", "--exclude", "T/skip", "T"} << 0
            << QList<QByteArray>{"T/a.b.c", "T/readme.txt"} << "";
        QTest::newRow("exclude below")
            << QStringList{"--gt", "-1", "--exclude", "T/sub/deep", "T"} << 0
            << QList<QByteArray>{"T/a.b.c", "T/readme.txt", "T/skip/y.txt", "T/sub/longer.log"} << "";
        QTest::newRow("exclude the listed folder")
            << QStringList{"--gt", "-1", "--exclude", "T", "T"} << 1 << QList<QByteArray>{} << "";
        QTest::newRow("missing folder named, walk goes on")
            << QStringList{"--gt", "-1", "T/gone", "T"} << 2 << all
            << "lentrova-find: T/gone: No such file or directory";
        QTest::newRow("a folder listed twice")
            << QStringList{"--eq", "5", "--unit", "bytes", "T/skip", "T/skip/"} << 0
            << QList<QByteArray>{"T/skip/y.txt", "T/skip/y.txt"} << "";
        QTest::newRow("folder after --") << QStringList{"--eq", "10", "--", "T"} << 0
                                         << QList<QByteArray>{"T/readme.txt", "T/sub/longer.log"} << "";
        QTest::newRow("help") << QStringList{"--help"} << 0 << QList<QByteArray>{} << "";

        const QString usage = QStringLiteral("usage: lentrova-find");
        QTest::newRow("no comparison") << QStringList{"T"} << 2 << QList<QByteArray>{} << usage;
        QTest::newRow("two comparisons") << QStringList{"--eq", "1", "--gt", "2", "T"} << 2
                                         << QList<QByteArray>{} << "choose one of --eq, --gt and --lt";
        QTest::newRow("two outputs") << QStringList{"--eq", "1", "--print0", "--with-length", "T"} << 2
                                     << QList<QByteArray>{}
                                     << "choose one of --print0, --with-length and --report";
        QTest::newRow("unknown option") << QStringList{"--eq", "1", "--depth", "T"} << 2
                                        << QList<QByteArray>{} << "unknown option --depth";
        QTest::newRow("value missing")
            << QStringList{"T", "--eq"} << 2 << QList<QByteArray>{} << "option --eq needs a value";
        QTest::newRow("no folder") << QStringList{"--eq", "1"} << 2 << QList<QByteArray>{}
                                   << "no folder to search";
        QTest::newRow("switch with a value") << QStringList{"--eq", "1", "--print0=yes", "T"} << 2
                                             << QList<QByteArray>{} << "option --print0 takes no value";

        // Refused before anything is walked, in the window's words.
        QTest::newRow("not a number") << QStringList{"--eq", "ten", "T/gone"} << 2 << QList<QByteArray>{}
                                      << "lentrova-find: " + SearchRun::refusal("ten", "");
        QTest::newRow("out of range") << QStringList{"--gt", "32768", "T"} << 2 << QList<QByteArray>{}
                                      << "lentrova-find: " + SearchRun::refusal("32768", "");
        QTest::newRow("unknown unit")
            << QStringList{"--eq", "3", "--unit", "chars", "T/gone"} << 2 << QList<QByteArray>{}
            << "lentrova-find: " + SearchRun::refusal("3 chars", "");
        QTest::newRow("bad pattern") << QStringList{"--eq", "3", "--filter", "*[ab", "T/gone"} << 2
                                     << QList<QByteArray>{}
                                     << "lentrova-find: " + SearchRun::refusal("3", "*[ab");
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QString, err);
        ScratchDir dir;
        makeTree(dir.path(), OptionTree);
        const QString tree = dir.qpath();
        for (QString& a : args)
            a.replace(QRegularExpression(QStringLiteral("^T(?=/|$)")), tree);
        for (QByteArray& l : lines)
            l.replace(0, 1, dir.path());
        err.replace(QStringLiteral("T/"), tree + QLatin1Char('/'));
        const Run r = find(args);
        QCOMPARE(r.exitCode, exitCode);
        if (QTest::currentDataTag() == QLatin1String("help"))
            QVERIFY(r.out.startsWith("usage: lentrova-find"));
        else
            QCOMPARE(sortedLines(r.out), lines);
        if (err.isEmpty())
            QCOMPARE(r.err, QByteArray());
        else
            QVERIFY2(r.err.contains(err.toUtf8()), r.err.constData());
    }

    // The finder and the window, on the same tree with the same criteria, give the same rows in the same
    // order, with the same lengths; --print0 gives the same paths.
    void sameAsWindow_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("combo");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("unit"); // the finder's word; the window's follows from it
        QTest::newRow("everything") << "-1" << 1 << ""
                                    << "";
        QTest::newRow("equal 10") << "10" << 0 << ""
                                  << "";
        QTest::newRow("rounded half to even") << "9.5" << 1 << ""
                                              << "";
        QTest::newRow("less") << "7" << 2 << ""
                              << "";
        QTest::newRow("bytes") << "9" << 1 << ""
                               << "bytes";
        QTest::newRow("path") << "10" << 1 << ""
                              << "path";
        QTest::newRow("path bytes") << "12" << 2 << ""
                                    << "path-bytes";
        QTest::newRow("substring") << "-1" << 1 << "TXT"
                                   << "bytes";
        QTest::newRow("substring of an odd name") << "-1" << 1 << QString::fromUtf8("\xEF\xBF\xBD") << "";
        QTest::newRow("pattern") << "-1" << 1 << "*.txt"
                                 << "path";
        QTest::newRow("pattern with class") << "-1" << 1 << "[!a-z]*"
                                            << "";
        QTest::newRow("pattern with digit") << "4" << 1 << "file#.*"
                                            << "path-bytes";
    }
    void sameAsWindow()
    {
        QFETCH(QString, length);
        QFETCH(int, combo);
        QFETCH(QString, filter);
        QFETCH(QString, unit);
        ScratchDir dir;
        makeTree(dir.path(), OddTree);
        SearchHost window;
        window.folders = {dir.path(), dir.path() + "/d1"};
        window.length =
            length + (unit.isEmpty() ? QString() : QLatin1Char(' ') + QString(unit).replace('-', ' '));
        window.comparisonIndex = combo;
        window.filter = filter;
        QVERIFY(window.search());
        QVERIFY(window.model.rowCount() > 0 || QTest::currentDataTag() == QLatin1String("less"));

        QStringList args = QStringList{comparisonOption(combo), length, "--filter", filter} + unitArgs(unit);
        const QStringList folders = {dir.qpath(), dir.qpath() + "/d1"};
        // QProcess hands arguments over as UTF-8; these folder names are plain.
        Run r = find(args + QStringList{"--with-length"} + folders);
        QCOMPARE(r.exitCode, window.model.rowCount() > 0 ? 0 : 1);
        QList<QByteArray> lines = r.out.split('\n');
        lines.removeLast();
        QCOMPARE(lines, window.rows());

        r = find(args + QStringList{"--print0"} + folders);
        QList<QByteArray> paths = r.out.split('\0');
        paths.removeLast();
        QCOMPARE(paths.size(), window.model.rowCount());
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(paths[i], window.model.nativePath(i));
    }

    // --report writes the window's own report, every row checked, byte for byte.
    void reportAsTheWindowWritesIt_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::newRow("name") << "";
        QTest::newRow("path bytes") << "path-bytes";
    }
    void reportAsTheWindowWritesIt()
    {
        QFETCH(QString, unit);
        ScratchDir dir;
        makeTree(dir.path(), OddTree);
        SearchHost window;
        window.folders = {dir.path()};
        window.length = QStringLiteral("-1") + (unit.isEmpty() ? QString() : QStringLiteral(" path bytes"));
        QVERIFY(window.search());
        window.model.setAllChecked(true);
        ScratchDir out;
        const QString ours = out.qpath() + "/window.txt";
        writeTextReport(SnapshotTable::of(window.model), ours, nullptr, window.box, [] {});
        QVERIFY(window.scripted.errorTexts().isEmpty());

        const QString theirs = out.qpath() + "/finder.txt";
        const Run r = find(QStringList{"--gt", "-1", "--report", theirs, dir.qpath()} + unitArgs(unit));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray()); // the report is the output
        const QByteArray report = FileTree::read(theirs.toUtf8());
        QCOMPARE(report, FileTree::read(ours.toUtf8()));
        // Every row is in it, the odd names shown with U+FFFD.
        QCOMPARE(report.count("\r\n"), OddTree.size() + 1);
        QVERIFY(report.contains("bad\xEF\xBF\xBD\xEF\xBF\xBDname.txt"));
    }

    void reportThatCannotBeWritten_data()
    {
        QTest::addColumn<bool>("onSmallDisk");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("folder missing") << false << QByteArray("No such file or directory");
        // The disk takes the first part of a block and then fills: a short write, for which Qt gives no
        // reason.
        QTest::newRow("disk filled part of the way") << true << QByteArray("No space left on device");
    }
    void reportThatCannotBeWritten()
    {
        QFETCH(bool, onSmallDisk);
        QFETCH(QByteArray, reason);
        ScratchDir dir;
        makeTree(dir.path(), OptionTree);
        QByteArray report = dir.path() + "/no/such/folder/r.txt";
        std::unique_ptr<OtherMount> smallDisk;
        if (onSmallDisk) {
            smallDisk = std::make_unique<OtherMount>(64 * 1024, false);
            if (!smallDisk->ownMount())
                QSKIP("cannot mount a small tmpfs here");
            report = smallDisk->path() + "/r.txt";
            for (int i = 0; i < 2000; ++i)
                QVERIFY(FileTree::write(dir.path() + "/some rather long file name " + QByteArray::number(i),
                                        "x"));
        }
        const Run r = find({"--gt", "-1", "--report", QFile::decodeName(report), dir.qpath()});
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.err, "lentrova-find: " + report + ": " + reason + '\n');
    }

    void outputThatCannotBeWritten()
    {
        ScratchDir dir;
        makeTree(dir.path(), OptionTree);
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(LENTROVA_FIND), {"--gt", "-1", dir.qpath()});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().startsWith("lentrova-find: cannot write the output: "));
    }

    void oneFileSystem()
    {
        ScratchDir dir;
        makeTree(dir.path(), {"top.txt", "mnt/.keep"});
        const QByteArray mountPoint = dir.path() + "/mnt";
        if (::mount("lentrova-test", mountPoint.constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("cannot mount a tmpfs here");
        makeTree(dir.path(), {"mnt/inside.txt"});
        const Run across = find({"--gt", "-1", dir.qpath()});
        const Run within = find({"--gt", "-1", "--one-file-system", dir.qpath()});
        const Run atTheMount = find({"--gt", "-1", "--one-file-system", dir.qpath() + "/mnt"});
        ::umount(mountPoint.constData());
        QCOMPARE(sortedLines(across.out),
                 (QList<QByteArray>{dir.path() + "/mnt/inside.txt", dir.path() + "/top.txt"}));
        QCOMPARE(sortedLines(within.out), QList<QByteArray>{dir.path() + "/top.txt"});
        // A listed folder is searched whatever file system it is on.
        QCOMPARE(sortedLines(atTheMount.out), QList<QByteArray>{dir.path() + "/mnt/inside.txt"});
    }

    void unreadableFolderNamedWalkGoesOn()
    {
        SKIP_UNLESS_UNPRIVILEGED_RUNS();
        ScratchDir dir;
        makeTree(dir.path(), {"a/one.txt", "locked/hidden.txt", "z/two.txt"});
        QVERIFY(Unprivileged::giveTree(dir.path()));
        QVERIFY(Unprivileged::openWayTo(dir.path()));
        QVERIFY(::chown((dir.path() + "/locked").constData(), 0, 0) == 0);
        QVERIFY(::chmod((dir.path() + "/locked").constData(), 0700) == 0);
        const Unprivileged::Outcome o = Unprivileged::runStep("findAsNobody", {"--gt", "-1", dir.qpath()});
        QCOMPARE(o.exitCode, 0);
        const QList<QByteArray> parts = o.out.split('\n');
        QCOMPARE(parts.value(0), QByteArray("2"));
        QVERIFY2(o.out.contains("lentrova-find: " + dir.path() + "/locked: Permission denied\n--\n"),
                 o.out.constData());
        const QByteArray listed = o.out.mid(o.out.indexOf("--\n") + 3);
        QCOMPARE(sortedLines(listed),
                 (QList<QByteArray>{dir.path() + "/a/one.txt", dir.path() + "/z/two.txt"}));
    }

    // The finder runs where no display is: it must not even load the GUI libraries.
    void loadsNoGuiLibrary()
    {
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {QStringLiteral(LENTROVA_FIND)});
        QVERIFY(ldd.waitForFinished(30000));
        const QByteArray libraries = ldd.readAllStandardOutput();
        QVERIFY2(libraries.contains("libQt6Core"), libraries.constData());
        for (const char* gui : {"libQt6Gui", "libQt6Widgets", "libQt6DBus", "libGL", "libxcb"})
            QVERIFY2(!libraries.contains(gui), libraries.constData());
        // And it runs with no display at all.
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(LENTROVA_FIND),
                {QStringLiteral("--gt"), QStringLiteral("100"), QStringLiteral("/nonexistent")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 2);
    }
};

LENTROVA_TEST_MAIN(TestFinder)
#include "test_finder.moc"
