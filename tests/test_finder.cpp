// SPDX-License-Identifier: MIT
#include "app/reportsaving.h"
#include "app/searchrun.h"
#include "finder.h"
#include "results/listtable.h"
#include "search/bindmounts.h"
#include "support/filetree.h"
#include "support/finderrun.h"
#include "support/searchhost.h"
#include "support/testmain.h"

#include <QProcess>

#include <condition_variable>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

using Run = FinderRun;

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

// The finder run in this process, for arguments that are not valid UTF-8 (QProcess passes text).
Run findHere(const std::vector<std::string>& args)
{
    return runFinderHere(args);
}

// A folder whose opening waits until the test opens the gate: a slow share that the test controls. Shared,
// since a reader left waiting in it may outlive the run.
struct Gate
{
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    void release()
    {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
    std::function<int(std::string_view)> hookFor(const std::string& slowFolder)
    {
        return [gate = this, slowFolder](std::string_view path) {
            if (path == slowFolder) {
                std::unique_lock lock(gate->mutex);
                gate->opened.wait_for(lock, std::chrono::seconds(60), [gate] { return gate->open; });
            }
            return 0;
        };
    }
};

// What arrives on fd up to and including the first separator; less when nothing more comes within the
// patience (a finder that holds its output back).
QByteArray readFirstLine(int fd, char separator, int patienceMs = 20000)
{
    QByteArray got;
    while (!got.contains(separator)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, patienceMs) != 1)
            break;
        char c;
        if (::read(fd, &c, 1) != 1)
            break;
        got.append(c);
    }
    return got;
}

QByteArray readToEnd(int fd)
{
    QByteArray got;
    char block[4096];
    for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;)
        got.append(block, n);
    return got;
}

// A bind mount, undone when it goes (before the scratch folder holding it is removed).
struct BindMount
{
    QByteArray target;
    bool mounted = false;
    BindMount(const QByteArray& source, const QByteArray& at) : target(at)
    {
        mounted = ::mount(source.constData(), at.constData(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BindMount()
    {
        if (mounted)
            ::umount2(target.constData(), MNT_DETACH);
    }
};

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
        QTest::newRow("version") << QStringList{"--version"} << 0 << QList<QByteArray>{} << "";
        QTest::newRow("depth 1: the folder's own files")
            << QStringList{"--gt", "-1", "--max-depth", "1", "T"} << 0
            << QList<QByteArray>{"T/a.b.c", "T/readme.txt"} << "";
        QTest::newRow("depth 2") << QStringList{"--gt", "-1", "--max-depth=2", "T"} << 0
                                 << QList<QByteArray>{"T/a.b.c", "T/readme.txt", "T/skip/y.txt",
                                                      "T/sub/longer.log"}
                                 << "";
        QTest::newRow("depth beyond the tree")
            << QStringList{"--gt", "-1", "--max-depth", "9", "T"} << 0 << all << "";
        QTest::newRow("depth 0 finds nothing")
            << QStringList{"--gt", "-1", "--max-depth", "0", "T"} << 1 << QList<QByteArray>{} << "";
        QTest::newRow("depth with the path unit")
            << QStringList{"--gt", "10", "--unit", "path", "--max-depth", "2", "T"} << 0
            << QList<QByteArray>{"T/sub/longer.log"} << "";
        QTest::newRow("depth not a number") << QStringList{"--gt", "-1", "--max-depth", "two", "T"} << 2
                                            << QList<QByteArray>{} << "--max-depth needs a whole number";
        QTest::newRow("depth below zero") << QStringList{"--gt", "-1", "--max-depth", "-1", "T"} << 2
                                          << QList<QByteArray>{} << "--max-depth needs a whole number";
        QTest::newRow("quiet, found")
            << QStringList{"-q", "--gt", "-1", "T"} << 0 << QList<QByteArray>{} << "";
        QTest::newRow("quiet, none found")
            << QStringList{"--quiet", "--gt", "100", "T"} << 1 << QList<QByteArray>{} << "";
        QTest::newRow("quiet, a match after a missing folder")
            << QStringList{"-q", "--gt", "-1", "T/gone", "T"} << 0 << QList<QByteArray>{}
            << "lentrova-find: T/gone: No such file or directory";
        QTest::newRow("quiet, no match and a missing folder")
            << QStringList{"-q", "--gt", "100", "T/gone", "T"} << 2 << QList<QByteArray>{}
            << "lentrova-find: T/gone: No such file or directory";
        QTest::newRow("a dash is not a folder")
            << QStringList{"--gt", "-1", "T", "-"} << 2 << QList<QByteArray>{} << "--files0-from -";
        QTest::newRow("a dash after -- neither") << QStringList{"--gt", "-1", "--", "-"} << 2
                                                 << QList<QByteArray>{} << "for a folder named -, write ./-";
        QTest::newRow("folders listed both ways")
            << QStringList{"--gt", "-1", "--files0-from", "-", "T"} << 2 << QList<QByteArray>{}
            << "either as arguments or with --files0-from";

        const QString usage = QStringLiteral("usage: lentrova-find");
        QTest::newRow("no comparison") << QStringList{"T"} << 2 << QList<QByteArray>{} << usage;
        QTest::newRow("two comparisons") << QStringList{"--eq", "1", "--gt", "2", "T"} << 2
                                         << QList<QByteArray>{} << "choose one of --eq, --gt and --lt";
        QTest::newRow("two outputs") << QStringList{"--eq", "1", "--print0", "--with-length", "T"} << 2
                                     << QList<QByteArray>{}
                                     << "choose one of --print0, --with-length, --report and --quiet";
        QTest::newRow("quiet with an output")
            << QStringList{"-q", "--eq", "1", "--report", "r.txt", "T"} << 2 << QList<QByteArray>{}
            << "choose one of --print0, --with-length, --report and --quiet";
        QTest::newRow("unknown option") << QStringList{"--eq", "1", "--depth", "T"} << 2
                                        << QList<QByteArray>{} << "unknown option --depth";
        QTest::newRow("value missing")
            << QStringList{"T", "--eq"} << 2 << QList<QByteArray>{} << "option --eq needs a value";
        QTest::newRow("no folder") << QStringList{"--eq", "1"} << 2 << QList<QByteArray>{}
                                   << "no folder to search";
        QTest::newRow("switch with a value") << QStringList{"--eq", "1", "--print0=yes", "T"} << 2
                                             << QList<QByteArray>{} << "option --print0 takes no value";

        // Refused before anything is walked, each in its option's name.
        QTest::newRow("not a number") << QStringList{"--eq", "ten", "T/gone"} << 2 << QList<QByteArray>{}
                                      << "lentrova-find: --eq: \"ten\" is not a number from -32768 to 32767";
        QTest::newRow("out of range") << QStringList{"--gt", "32768", "T"} << 2 << QList<QByteArray>{}
                                      << "--gt: \"32768\" is not a number from -32768 to 32767";
        QTest::newRow("unknown unit")
            << QStringList{"--eq", "3", "--unit", "chars", "T/gone"} << 2 << QList<QByteArray>{}
            << "lentrova-find: --unit: unknown unit \"chars\"";
        QTest::newRow("bad pattern") << QStringList{"--eq", "3", "--filter", "*[ab", "T/gone"} << 2
                                     << QList<QByteArray>{}
                                     << "lentrova-find: " + criteriaRefusal("3", "*[ab");
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
        else if (QTest::currentDataTag() == QLatin1String("version"))
            QVERIFY2(r.out.startsWith("lentrova-find (Lentrova) 1.") && r.out.endsWith('\n'),
                     r.out.constData());
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

    // Folders and files named in bytes that are not UTF-8 are reached by exactly those bytes.
    void excludeKeepsBytes_data()
    {
        QTest::addColumn<QByteArray>("exclude"); // "T" stands for the tree
        QTest::newRow("as listed") << QByteArray("T/d\xFF");
        QTest::newRow("spelled otherwise") << QByteArray("T/./d1/../d\xFF/");
    }
    void excludeKeepsBytes()
    {
        QFETCH(QByteArray, exclude);
        ScratchDir dir;
        makeTree(dir.path(), OddTree);
        exclude.replace(0, 1, dir.path());
        const Run all = findHere({"--gt", "-1", dir.path().toStdString()});
        const Run r = findHere({"--gt", "-1", "--exclude", exclude.toStdString(), dir.path().toStdString()});
        QCOMPARE(r.exitCode, 0);
        QList<QByteArray> expected = sortedLines(all.out);
        QVERIFY(expected.removeOne(dir.path() + "/d\xFF/inner.txt"));
        QCOMPARE(sortedLines(r.out), expected);
        QCOMPARE(r.err, QByteArray());
    }

    void reportNameKeepsBytes()
    {
        ScratchDir dir;
        makeTree(dir.path(), OptionTree);
        ScratchDir out;
        const QByteArray name = out.path() + "/r\xFE\xFF.txt";
        const Run r = findHere({"--gt", "-1", "--report", name.toStdString(), dir.path().toStdString()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(FileTree::list(out.path()), QList<QByteArray>{"r\xFE\xFF.txt"});
        QCOMPARE(FileTree::read(name).count("\r\n"), OptionTree.size() + 1);
    }

    void foldersFromAList_data()
    {
        QTest::addColumn<QByteArray>("list"); // "T" stands for the tree
        QTest::addColumn<bool>("fromStandardInput");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QList<QByteArray>>("lines"); // sorted
        QTest::addColumn<QByteArray>("err");          // what stderr must contain; empty: stderr empty
        const QList<QByteArray> sub = {"T/sub/deep/x.txt", "T/sub/longer.log"};
        QTest::newRow("standard input") << QByteArray("T/sub\0T/skip\0", 13) << true << 0
                                        << (sub + QList<QByteArray>{"T/skip/y.txt"}) << QByteArray();
        QTest::newRow("the last name without its NUL")
            << QByteArray("T/skip") << true << 0 << QList<QByteArray>{"T/skip/y.txt"} << QByteArray();
        QTest::newRow("a file") << QByteArray("T/sub\0", 6) << false << 0 << sub << QByteArray();
        QTest::newRow("a name with a line break and a space")
            << QByteArray("T/two\nlines x\0", 14) << false << 0 << QList<QByteArray>{"T/two\nlines x/in.txt"}
            << QByteArray();
        QTest::newRow("an empty name refused, the rest searched")
            << QByteArray("\0T/skip\0", 8) << true << 2 << QList<QByteArray>{"T/skip/y.txt"}
            << QByteArray("lentrova-find: standard input: an empty folder name in the list");
        QTest::newRow("an empty list") << QByteArray() << true << 1 << QList<QByteArray>{} << QByteArray();
        QTest::newRow("a missing folder named")
            << QByteArray("T/gone\0T/skip\0", 14) << false << 2 << QList<QByteArray>{"T/skip/y.txt"}
            << QByteArray("lentrova-find: T/gone: No such file or directory");
    }
    void foldersFromAList()
    {
        QFETCH(QByteArray, list);
        QFETCH(bool, fromStandardInput);
        QFETCH(int, exitCode);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QByteArray, err);
        ScratchDir dir;
        makeTree(dir.path(), OptionTree + QList<QByteArray>{"two\nlines x/in.txt"});
        const QByteArray tree = dir.path();
        const auto withTree = [&](QByteArray text) {
            return text.replace(QByteArray("T/"), tree + '/').replace(QByteArray("T\0", 2), tree + '\0');
        };
        list = withTree(list);
        if (list == "T")
            list = tree;
        for (QByteArray& l : lines)
            l = withTree(l);
        err = withTree(err);
        ScratchDir listDir;
        const QByteArray listFile = listDir.path() + "/folders";
        QVERIFY(FileTree::write(listFile, list));

        QProcess p;
        p.start(QStringLiteral(LENTROVA_FIND), {"--gt", "-1", "--print0", "--files0-from",
                                                fromStandardInput ? QStringLiteral("-") : QString(listFile)});
        QVERIFY(p.waitForStarted());
        if (fromStandardInput)
            p.write(list);
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(60000));
        std::sort(lines.begin(), lines.end());
        const QByteArray said = p.readAllStandardError();
        QVERIFY2(p.exitCode() == exitCode, said.constData());
        QCOMPARE(sortedLines(p.readAllStandardOutput(), '\0'), lines);
        if (err.isEmpty())
            QCOMPARE(said, QByteArray());
        else
            QVERIFY2(said.contains(err), said.constData());
    }

    void missingListFile()
    {
        ScratchDir dir;
        const Run r = find({"--gt", "-1", "--files0-from", dir.qpath() + "/none"});
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.err, "lentrova-find: " + dir.path() + "/none: No such file or directory\n");
    }

    // A found name reaches the reader while the walk still waits for a folder that does not answer, whatever
    // the output's form.
    void streamsWhileTheWalkWaits_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QByteArray>("firstLine");
        QTest::newRow("lines") << "" << QByteArray("T/first.txt\n");
        QTest::newRow("print0") << "--print0" << QByteArray("T/first.txt\0", 12);
        QTest::newRow("with length") << "--with-length" << QByteArray("T/first.txt\t9\n");
    }
    void streamsWhileTheWalkWaits()
    {
        QFETCH(QString, option);
        QFETCH(QByteArray, firstLine);
        ScratchDir dir;
        makeTree(dir.path(), {"first.txt", "slow/later.txt"});
        firstLine.replace(0, 1, dir.path());
        std::vector<std::string> args = {"--gt", "-1", dir.path().toStdString()};
        if (!option.isEmpty())
            args.insert(args.begin(), option.toStdString());
        QString error;
        std::optional<FinderOptions> options = parseFinderArguments(args, error);
        QVERIFY(options);
        auto gate = std::make_shared<Gate>();
        options->beforeOpen = gate->hookFor((dir.path() + "/slow").toStdString());
        int pipeFds[2];
        QVERIFY(::pipe2(pipeFds, O_CLOEXEC) == 0);
        std::FILE* out = ::fdopen(pipeFds[1], "w");
        std::FILE* err = std::tmpfile();
        int status = -1;
        std::thread run([&, gate] {
            status = runFinder(*options, out, err);
            std::fclose(out);
        });
        const QByteArray beforeTheGate = readFirstLine(pipeFds[0], firstLine.back());
        gate->release();
        run.join();
        const QByteArray rest = readToEnd(pipeFds[0]);
        ::close(pipeFds[0]);
        std::fclose(err);
        QCOMPARE(beforeTheGate, firstLine);
        QCOMPARE(status, 0);
        QVERIFY2(rest.startsWith(dir.path() + "/slow/later.txt"), rest.constData());
    }

    // --quiet answers at the first match: it does not wait for the rest of the walk.
    void quietStopsAtTheFirstMatch()
    {
        ScratchDir dir;
        makeTree(dir.path(), {"first.txt", "slow/later.txt"});
        QString error;
        std::optional<FinderOptions> options =
            parseFinderArguments({"-q", "--gt", "-1", dir.path().toStdString()}, error);
        QVERIFY(options);
        auto gate = std::make_shared<Gate>();
        options->beforeOpen = gate->hookFor((dir.path() + "/slow").toStdString());
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        auto status = std::async(std::launch::async, [&] { return runFinder(*options, out, err); });
        const bool endedBeforeTheGate =
            status.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        gate->release();
        QVERIFY(endedBeforeTheGate);
        QCOMPARE(status.get(), 0);
        QCOMPARE(std::ftell(out), 0L);
        std::fclose(out);
        std::fclose(err);
    }

    // A reader that goes away is noticed at once, even while the walk waits for a folder that does not answer
    // (the program then ends; here the folder is let go), and the run ends without a word.
    void closedPipeEndsTheWalk()
    {
        ScratchDir dir;
        makeTree(dir.path(), {"first.txt", "slow/later.txt"});
        QString error;
        std::optional<FinderOptions> options =
            parseFinderArguments({"--gt", "-1", dir.path().toStdString()}, error);
        QVERIFY(options);
        auto gate = std::make_shared<Gate>();
        options->beforeOpen = gate->hookFor((dir.path() + "/slow").toStdString());
        std::atomic<bool> noticed{false};
        options->outputClosed = [gate, &noticed] {
            noticed = true;
            gate->release();
        };
        int pipeFds[2];
        QVERIFY(::pipe2(pipeFds, O_CLOEXEC) == 0);
        std::FILE* out = ::fdopen(pipeFds[1], "w");
        std::FILE* err = std::tmpfile();
        // Here a write to the closed pipe fails with EPIPE; the program itself ends by the signal (below).
        const auto previous = std::signal(SIGPIPE, SIG_IGN);
        auto status = std::async(std::launch::async, [&] { return runFinder(*options, out, err); });
        const QByteArray first = readFirstLine(pipeFds[0], '\n');
        ::close(pipeFds[0]);
        const bool ended = status.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        gate->release();
        const int code = status.get();
        std::signal(SIGPIPE, previous);
        std::fclose(out);
        std::fseek(err, 0, SEEK_END);
        const long said = std::ftell(err);
        std::fclose(err);
        QCOMPARE(first, dir.path() + "/first.txt\n");
        QVERIFY(noticed);
        QVERIFY(ended);
        QCOMPARE(code, OutputClosed);
        QCOMPARE(said, 0L);
    }

    void closedPipeEndsTheProgramAsFind()
    {
        ScratchDir dir;
        QList<QByteArray> many;
        for (int i = 0; i < 3000; ++i)
            many << "f" + QByteArray::number(i / 100) + "/a-file-with-a-longish-name-" +
                        QByteArray::number(i);
        makeTree(dir.path(), many);
        QProcess shell;
        shell.start(QStringLiteral("bash"),
                    {"-c", "\"$0\" --gt -1 \"$1\" 2>\"$1.err\" | head -c 1 >/dev/null; echo ${PIPESTATUS[0]}",
                     QStringLiteral(LENTROVA_FIND), dir.qpath()});
        QVERIFY(shell.waitForFinished(60000));
        QCOMPARE(shell.readAllStandardOutput(), QByteArray("141\n")); // ended by SIGPIPE
        QCOMPARE(FileTree::read(dir.path() + ".err"), QByteArray());
        QFile::remove(dir.qpath() + ".err");
    }

    // On a terminal names are quoted as ls quotes them; checked against ls itself where it runs.
    void quotedAsLsQuotes_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("quoted");
        QTest::newRow("plain") << QByteArray("plain.txt") << QByteArray("plain.txt");
        QTest::newRow("space") << QByteArray("a b") << QByteArray("'a b'");
        QTest::newRow("single quote") << QByteArray("it's") << QByteArray("\"it's\"");
        QTest::newRow("single quote and dollar") << QByteArray("a'b$c") << QByteArray("'a'\\''b$c'");
        QTest::newRow("line break") << QByteArray("a\nb") << QByteArray("'a'$'\\n''b'");
        QTest::newRow("leading line break") << QByteArray("\nb") << QByteArray("''$'\\n''b'");
        QTest::newRow("closing line break") << QByteArray("a\n") << QByteArray("'a'$'\\n'");
        QTest::newRow("escape sequence") << QByteArray("a\x1B[31mred") << QByteArray("'a'$'\\033''[31mred'");
        QTest::newRow("tab") << QByteArray("a\tb") << QByteArray("'a'$'\\t''b'");
        QTest::newRow("delete") << QByteArray("a\x7F") << QByteArray("'a'$'\\177'");
        QTest::newRow("not UTF-8") << QByteArray("\xFF\xFE") << QByteArray("''$'\\377\\376'");
        QTest::newRow("C1 control") << QByteArray("\xC2\x9B") << QByteArray("''$'\\302\\233'");
        QTest::newRow("accent") << QByteArray("\xC3\xA9t\xC3\xA9") << QByteArray("\xC3\xA9t\xC3\xA9");
        QTest::newRow("emoji") << QByteArray("\xF0\x9F\x98\x80") << QByteArray("\xF0\x9F\x98\x80");
        QTest::newRow("tilde first") << QByteArray("~x") << QByteArray("'~x'");
        QTest::newRow("tilde inside") << QByteArray("a~b#c") << QByteArray("a~b#c");
        QTest::newRow("hash first") << QByteArray("#x") << QByteArray("'#x'");
        QTest::newRow("shell characters") << QByteArray("a=b*c?") << QByteArray("'a=b*c?'");
        QTest::newRow("harmless punctuation")
            << QByteArray("a,b%c+d@e:f]g{h}") << QByteArray("a,b%c+d@e:f]g{h}");
        QTest::newRow("quote and line break") << QByteArray("a'b\nc") << QByteArray("'a'\\''b'$'\\n''c'");
        QTest::newRow("overlong UTF-8") << QByteArray("\xC0\xAF") << QByteArray("''$'\\300\\257'");
    }
    void quotedAsLsQuotes()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, quoted);
        QCOMPARE(QByteArray::fromStdString(quotedForTerminal(name.toStdString())), quoted);
        // Pasted back into a shell, the quoted name is the name again.
        QProcess shell;
        shell.start(QStringLiteral("bash"), {QStringLiteral("-c"), QString::fromUtf8("printf %s " + quoted)});
        QVERIFY(shell.waitForFinished(30000));
        QCOMPARE(shell.readAllStandardOutput(), name);
        ScratchDir dir;
        QVERIFY(FileTree::write(dir.path() + '/' + name, "x"));
        QProcess ls;
        ls.setWorkingDirectory(dir.qpath());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        ls.setProcessEnvironment(env);
        ls.start(QStringLiteral("ls"), {QStringLiteral("--quoting-style=shell-escape")});
        if (!ls.waitForFinished(30000) || ls.exitCode() != 0)
            QSKIP("ls --quoting-style does not run here");
        QCOMPARE(ls.readAllStandardOutput(), quoted + '\n');
    }

    // Quoted on a terminal, raw in a pipe.
    void quotedOnlyOnATerminal()
    {
        ScratchDir dir;
        makeTree(dir.path(), {"two\nlines.txt"});
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            QSKIP("no pseudo-terminal here");
        QProcess p;
        p.setStandardOutputFile(QString::fromLocal8Bit(::ptsname(master)));
        p.start(QStringLiteral(LENTROVA_FIND), {"--gt", "-1", dir.qpath()});
        QVERIFY(p.waitForFinished(60000));
        QByteArray onTerminal;
        for (pollfd pf{master, POLLIN, 0}; ::poll(&pf, 1, 200) == 1 && (pf.revents & POLLIN);) {
            char block[4096];
            const ssize_t n = ::read(master, block, sizeof block);
            if (n <= 0)
                break;
            onTerminal.append(block, n);
        }
        ::close(master);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(onTerminal.replace("\r\n", "\n"), "'" + dir.path() + "/two'$'\\n''lines.txt'\n");
        QCOMPARE(find({"--gt", "-1", dir.qpath()}).out, dir.path() + "/two\nlines.txt\n");
    }

    // Every option is offered by --help, the manual page and each shell's completion.
    void optionsDocumented_data()
    {
        QTest::addColumn<QString>("option");
        for (const std::string& name : finderOptionNames())
            QTest::newRow(name.c_str()) << QString::fromStdString(name);
        QVERIFY(finderOptionNames().size() >= 17);
    }
    void optionsDocumented()
    {
        QFETCH(QString, option);
        const QByteArray name = option.toUtf8();
        const QByteArray help = finderHelp().toUtf8();
        const QRegularExpression shown(
            QStringLiteral("[ ,]%1[ ,\n]").arg(QRegularExpression::escape(option)));
        QVERIFY2(QString::fromUtf8(help).contains(shown), name.constData());
        QVERIFY(help.contains("man lentrova-find"));
        const QByteArray source = LENTROVA_SOURCE_DIR;
        const QByteArray manual = FileTree::read(source + "/packaging/lentrova-find.1");
        QVERIFY2(manual.contains(QByteArray(name).replace("-", "\\-")), name.constData());
        const QByteArray bash = FileTree::read(source + "/packaging/completions/lentrova-find.bash");
        QVERIFY2(bash.contains(' ' + name + ' ') || bash.contains(' ' + name + '\'') ||
                     bash.contains(' ' + name + '\n') || bash.contains('\'' + name + ' '),
                 name.constData());
        const QByteArray zsh = FileTree::read(source + "/packaging/completions/_lentrova-find");
        QVERIFY2(zsh.contains(name + '[') || zsh.contains(name + ',') || zsh.contains(name + '}'),
                 name.constData());
        const QByteArray fish = FileTree::read(source + "/packaging/completions/lentrova-find.fish");
        const QByteArray fishName =
            name.startsWith("--") ? "-l " + name.mid(2) + ' ' : "-s " + name.mid(1) + ' ';
        QVERIFY2(fish.contains(fishName), name.constData());
    }

    // Which mount tables let a walk meet a folder twice.
    void mountsOverlap_data()
    {
        QTest::addColumn<QByteArray>("mountinfo");
        QTest::addColumn<QByteArray>("root");
        QTest::addColumn<bool>("overlap");
        const QByteArray base = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                "2 1 0:20 / /proc rw - proc proc rw\n";
        QTest::newRow("one file system") << base << QByteArray("/home/u") << false;
        QTest::newRow("another disk below") << base + "3 1 8:2 / /home rw - ext4 /dev/sda2 rw\n"
                                            << QByteArray("/") << false;
        QTest::newRow("a sibling shown again")
            << base + "3 1 8:1 /home/u/a /home/u/b rw - ext4 /dev/sda1 rw\n"
            << QByteArray("/home/u") << true;
        QTest::newRow("the listed folder's own mount not shown")
            << QByteArray("3 1 8:1 /srv/x/tmp/a /tmp/b rw - ext4 /dev/sda1 rw\n") << QByteArray("/tmp")
            << true;
        QTest::newRow("shown again outside the walk")
            << base + "3 1 8:1 /home/u/a /srv/b rw - ext4 /dev/sda1 rw\n"
            << QByteArray("/home/u") << false;
        QTest::newRow("shown inside from outside the walk")
            << base + "3 1 8:1 /srv/a /home/u/b rw - ext4 /dev/sda1 rw\n"
            << QByteArray("/home/u") << false;
        QTest::newRow("the listed folder below itself")
            << base + "3 1 8:1 /home/u /home/u/sub/loop rw - ext4 /dev/sda1 rw\n"
            << QByteArray("/home/u") << true;
        QTest::newRow("separate parts of one disk")
            << base + "3 1 8:3 /@home /home rw - btrfs /dev/sda3 rw\n4 1 8:3 /@srv /srv rw - btrfs /dev/sda3 "
                      "rw\n"
            << QByteArray("/") << false;
        QTest::newRow("one part within another") << base + "3 1 8:3 /@home /home rw - btrfs /dev/sda3 rw\n4 "
                                                           "1 8:3 /@home/u /srv rw - btrfs /dev/sda3 rw\n"
                                                 << QByteArray("/") << true;
        QTest::newRow("a name that only begins alike")
            << base + "3 1 8:3 /data /a rw - ext4 /dev/sda3 rw\n4 1 8:3 /data2 /b rw - ext4 /dev/sda3 rw\n"
            << QByteArray("/") << false;
        QTest::newRow("mount point with a space")
            << base + "3 1 8:1 /home/u/a /home/u/b\\040c rw - ext4 x rw\n"
            << QByteArray("/home/u") << true;
        QTest::newRow("a mount covered by another")
            << base + "3 1 8:1 /home/u/a /home/u/b rw - ext4 x rw\n4 3 0:30 / /home/u/b rw - tmpfs t rw\n"
            << QByteArray("/home/u") << false;
    }
    void mountsOverlap()
    {
        QFETCH(QByteArray, mountinfo);
        QFETCH(QByteArray, root);
        QFETCH(bool, overlap);
        QCOMPARE(mountsOverlapBelow(parseMountTable(mountinfo), root.toStdString()), overlap);
    }

    // A folder reached again through a bind mount is searched once, by the finder and the window alike; the
    // finder names the second meeting.
    void eachFolderOnce_data()
    {
        QTest::addColumn<QList<QByteArray>>("files");
        QTest::addColumn<QList<QByteArray>>("binds"); // source, target, ...; below the tree, "." for the tree
        QTest::addColumn<int>("repeats");
        QTest::addColumn<int>("found"); // the files not hidden by a mount
        QList<QByteArray> many;
        for (int i = 0; i < 600; ++i)
            many << "a/d" + QByteArray::number(i) + "/f.txt";
        QTest::newRow("a sibling shown again")
            << QList<QByteArray>{"a/one.txt", "a/in/two.txt", "b/.keep", "z.txt"}
            << QList<QByteArray>{"a", "b"} << 1 << 3;
        QTest::newRow("the listed folder shown below itself")
            << QList<QByteArray>{"top.txt", "sub/loop/.keep", "sub/s.txt"}
            << QList<QByteArray>{".", "sub/loop"} << 1 << 2;
        QTest::newRow("a deep folder shown higher up")
            << QList<QByteArray>{"a/b/c/deep.txt", "a/b/c/d/deeper.txt", "up/.keep"}
            << QList<QByteArray>{"a/b/c", "up"} << 1 << 2;
        QTest::newRow("one folder shown twice more") << QList<QByteArray>{"a/one.txt", "b/.keep", "c/.keep"}
                                                     << QList<QByteArray>{"a", "b", "a", "c"} << 2 << 1;
        QTest::newRow("many folders shown again")
            << many + QList<QByteArray>{"b/.keep"} << QList<QByteArray>{"a", "b"} << 1 << 600;
    }
    void eachFolderOnce()
    {
        QFETCH(QList<QByteArray>, files);
        QFETCH(QList<QByteArray>, binds);
        QFETCH(int, repeats);
        QFETCH(int, found);
        ScratchDir dir;
        makeTree(dir.path(), files);
        const auto at = [&](const QByteArray& rel) {
            return rel == "." ? dir.path() : dir.path() + '/' + rel;
        };
        std::vector<std::unique_ptr<BindMount>> mounts;
        for (qsizetype i = 0; i + 1 < binds.size(); i += 2) {
            mounts.push_back(std::make_unique<BindMount>(at(binds[i]), at(binds[i + 1])));
            if (!mounts.back()->mounted)
                QSKIP("cannot bind-mount here (needs root and CAP_SYS_ADMIN)");
        }
        const Run r = find({"--gt", "-1", dir.qpath()});
        SearchHost window;
        window.folders = {dir.path()};
        QVERIFY(window.search());
        mounts.clear();

        QCOMPARE(r.exitCode, 0);
        const QList<QByteArray> lines = sortedLines(r.out);
        QCOMPARE(lines.size(), found); // each file once, by whichever path came first
        QVERIFY(std::adjacent_find(lines.begin(), lines.end()) == lines.end());
        const QList<QByteArray> said = sortedLines(r.err);
        QCOMPARE(said.size(), repeats);
        for (const QByteArray& line : said) {
            QVERIFY2(line.startsWith("lentrova-find: " + dir.path() + '/'), line.constData());
            QVERIFY2(line.endsWith(": met before through another path (a bind mount); not searched again"),
                     line.constData());
        }
        QCOMPARE(window.model.rowCount(), found);
        QVERIFY(window.scripted.errorTexts().isEmpty());
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
