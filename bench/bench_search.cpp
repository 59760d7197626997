// SPDX-License-Identifier: MIT
// Times a search through the main window's own Start button against fd with one thread, fd with eight
// threads, bfs and a bare single-thread getdents listing of the same tree, with the cache warm and (as root)
// cold, on generated trees; measures the window's longest stall, the memory a result row costs, and how long
// Stop takes.
//
//   bench_search [--sizes 50000,200000,1000000] [--seed N] [--runs N] [--cold-runs N] [--trees DIR] [--keep]
//                [--readers N] [--verbose]
//   bench_search --share [--share-delays 2,20] [--share-sizes 20000,200000] [--share-cap 120]
//                [--share-slow-peers-up-to 20000] [--share-cache-on-only]: the same on a simulated network
//                share
#include "app/mainwindow.h"
#include "app/searchrun.h"
#include "benchwindow.h"
#include "procstats.h"
#include "results/resultmodel.h"
#include "search/walker.h"
#include "searchpeers.h"
#include "services/dialogs.h"
#include "services/errorbox.h"
#include "sharebench.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

class BenchDialogs : public Dialogs
{
public:
    std::function<void()> onDone;
    QElapsedTimer* clock = nullptr;
    qint64 doneAt = -1;
    int errorBoxes = 0;
    Answer message(const QString& text, MessageStyle /*style*/, const QString& title) override
    {
        if (text == QLatin1String("Done.")) {
            doneAt = clock->nsecsElapsed();
            if (onDone)
                onDone();
        } else if (title == errorBoxTitle())
            ++errorBoxes;
        else
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return Answer::Ok;
    }
    QString inputText(const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&, QString*) override { return {}; }
    QString existingDirectory(const QString&, const QString&) override { return {}; }
};

struct OurRun
{
    double seconds;
    int rows;
    double stallMs; // the longest gap between probe ticks, wall time
    double busyMs;  // the most the window's thread itself worked between two ticks
};

bool verbose = false;

OurRun runOurs(MainWindow& form, BenchDialogs& dialogs, const QString& length, int combo)
{
    form.filterEdit()->clear();
    form.lengthEdit()->setText(length);
    form.comparisonCombo()->setCurrentIndex(combo);
    QElapsedTimer clock;
    dialogs.clock = &clock;
    dialogs.doneAt = -1;

    // The probe ticks every 2 ms whenever the event loop runs; the longest gap between ticks is the stall. On
    // a busy machine part of a gap is time the thread waited for a processor, so its own CPU time is kept
    // too.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    qint64 longestBusy = 0;
    qint64 cpuAtTick = threadCpuNanoseconds();
    qint64 queuedAtTick = verbose ? threadRunQueueNanoseconds() : 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(2);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.nsecsElapsed();
        const qint64 cpu = threadCpuNanoseconds();
        const qint64 queued = verbose ? threadRunQueueNanoseconds() : 0;
        if (verbose && gap > 20000000)
            std::fprintf(
                stderr,
                "    stall of %lld ms at %lld ms into the run, %d rows listed: the window thread worked "
                "%lld ms of it and waited %lld ms for a processor\n",
                gap / 1000000, clock.elapsed(), form.resultModel()->rowCount(), (cpu - cpuAtTick) / 1000000,
                (queued - queuedAtTick) / 1000000);
        queuedAtTick = queued;
        if (verbose && cpu - cpuAtTick > 10000000)
            std::fprintf(stderr, "    window thread busy %lld ms at %lld ms into the run, %d rows listed\n",
                         (cpu - cpuAtTick) / 1000000, clock.elapsed(), form.resultModel()->rowCount());
        longestGap = std::max(longestGap, gap);
        longestBusy = std::max(longestBusy, cpu - cpuAtTick);
        cpuAtTick = cpu;
        sinceTick.restart();
    });

    QEventLoop loop;
    QObject::connect(&form.searchRun(), &SearchRun::runEnded, &loop, &QEventLoop::quit);
    probe.start();
    sinceTick.start();
    cpuAtTick = threadCpuNanoseconds();
    queuedAtTick = verbose ? threadRunQueueNanoseconds() : 0;
    clock.start();
    form.onStartStopClicked();
    if (form.searchRun().active())
        loop.exec();
    probe.stop();
    // The click itself runs before the loop and counts in the first gap.
    return {dialogs.doneAt / 1e9, form.resultModel()->rowCount(), longestGap / 1e6, longestBusy / 1e6};
}

struct StopRun
{
    double stopMs = -1;   // from the Stop click to "Done."
    int threadsLeft = -1; // threads more than before Start when "Done." showed
};

// Starts a search for every file, presses Stop after a while, and times how long "Done." takes.
StopRun runStop(MainWindow& form, BenchDialogs& dialogs, int afterMs)
{
    form.filterEdit()->clear();
    form.lengthEdit()->setText(QStringLiteral("-1"));
    form.comparisonCombo()->setCurrentIndex(1);
    QElapsedTimer clock;
    dialogs.clock = &clock;
    dialogs.doneAt = -1;
    const int before = taskCount();
    StopRun result;
    qint64 stoppedAt = -1;
    QEventLoop loop;
    QObject::connect(&form.searchRun(), &SearchRun::runEnded, &loop, &QEventLoop::quit);
    dialogs.onDone = [&] { result.threadsLeft = taskCount() - before; };
    clock.start();
    form.onStartStopClicked();
    QTimer::singleShot(afterMs, &loop, [&] {
        stoppedAt = clock.nsecsElapsed();
        form.onStartStopClicked();
    });
    if (form.searchRun().active())
        loop.exec();
    if (stoppedAt >= 0)
        result.stopMs = (dialogs.doneAt - stoppedAt) / 1e6;
    dialogs.onDone = nullptr;
    return result;
}
} // namespace

// One walk of the tree on this thread with the window's readers, rows handed back at once: the plain search
// (Equal To 12) or a target check; seconds, processor seconds of the whole process, and the rows found.
struct WalkTime
{
    double seconds = 0;
    double processorSeconds = 0;
    qint64 rows = 0;
};

double processorSeconds()
{
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

WalkTime timeWalk(const QString& dir, int readers, const QString& targetProfile)
{
    std::atomic<bool> stop{false};
    LiveCriteria criteria;
    criteria.set(LengthCriterion{Comparison::EqualTo, 12, LengthUnit::Name});
    WalkSettings settings;
    settings.stop = &stop;
    settings.criteria = &criteria;
    settings.readers = readers;
    if (!targetProfile.isEmpty()) {
        QString error;
        settings.target = std::make_shared<const TargetCheckSetup>(
            *resolveTargetSetup(targetProfile, QString(), TargetRuleSet::all(), &error));
    }
    const QByteArray native = QFile::encodeName(dir);
    qint64 rows = 0;
    const double processorAtStart = processorSeconds();
    QElapsedTimer t;
    t.start();
    walkFolder(fsys::openFolder(native.constData()).fd, folderPathForWalk(native), settings,
               [&](WalkReport&& report) {
                   rows += qint64(report.rows.size());
                   report.rows.clear();
                   return std::move(report.rows);
               });
    return {t.nsecsElapsed() / 1e9, processorSeconds() - processorAtStart, rows};
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    QApplication app(argc, argv);

    QList<qint64> sizes = {50000, 200000, 1000000};
    quint32 seed = 12;
    int runs = 3;
    int coldRuns = 3;
    bool keep = false;
    bool targetOnly = false; // only the plain walk against the target check, to profile the latter
    QString treeFolder = QStringLiteral("/tmp");
    int readers = DefaultWalkReaders;
    bool share = false;
    ShareBenchSetup shareSetup;
    const auto numbers = [](const QString& list) {
        QList<double> out;
        for (const QString& s : list.split(','))
            out << s.toDouble();
        return out;
    };
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--share") {
            share = true;
        } else if (args[i] == "--share-delays" && i + 1 < args.size()) {
            shareSetup.delaysMs = numbers(args[++i]);
        } else if (args[i] == "--share-sizes" && i + 1 < args.size()) {
            shareSetup.sizes.clear();
            for (const double n : numbers(args[++i]))
                shareSetup.sizes << qint64(n);
        } else if (args[i] == "--share-cap" && i + 1 < args.size()) {
            shareSetup.capSeconds = args[++i].toDouble();
        } else if (args[i] == "--share-slow-peers-up-to" && i + 1 < args.size()) {
            shareSetup.slowPeersUpTo = args[++i].toLongLong();
        } else if (args[i] == "--share-cache-on-only") {
            shareSetup.cacheOff = false;
        } else if (args[i] == "--sizes" && i + 1 < args.size()) {
            sizes.clear();
            for (const QString& s : args[++i].split(','))
                sizes << s.toLongLong();
        } else if (args[i] == "--seed" && i + 1 < args.size()) {
            seed = args[++i].toUInt();
        } else if (args[i] == "--runs" && i + 1 < args.size()) {
            runs = std::max(1, args[++i].toInt());
        } else if (args[i] == "--cold-runs" && i + 1 < args.size()) {
            coldRuns = std::max(0, args[++i].toInt());
        } else if (args[i] == "--trees" && i + 1 < args.size()) {
            treeFolder = args[++i];
        } else if (args[i] == "--readers" && i + 1 < args.size()) {
            readers = std::max(0, args[++i].toInt());
        } else if (args[i] == "--target-only") {
            targetOnly = true;
        } else if (args[i] == "--keep") {
            keep = true;
        } else if (args[i] == "--verbose") {
            verbose = true;
        }
    }

    BenchDialogs dialogs;
    QTemporaryDir install;
    auto makeForm = [&] {
        auto form = makeBenchWindow(dialogs, install.path());
        form->searchRun().setReaders(readers);
        form->show();
        QCoreApplication::processEvents();
        return form;
    };
    std::unique_ptr<MainWindow> window = makeForm();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (share) {
        shareSetup.seed = seed;
        shareSetup.treeFolder = treeFolder;
        shareSetup.keep = keep;
        shareSetup.readers = readers;
        const auto listOnly = [&](const QString& folder) {
            window->folderModel()->removeRows(0, window->folderModel()->rowCount());
            window->folderModel()->appendRow(new QStandardItem(folder));
        };
        shareSetup.windowSearch = [&](const QString& folder) {
            listOnly(folder);
            // Each mount is new: no listing kept from another may stand in, whatever numbers it reused.
            window->searchRun().forgetListings();
            const OurRun r = runOurs(*window, dialogs, "12", 0);
            return std::pair<double, int>(r.seconds, r.rows);
        };
        shareSetup.windowSearchAgain = [&](const QString& folder) {
            listOnly(folder);
            window->searchRun().forgetListings();
            const double first = runOurs(*window, dialogs, "12", 0).seconds;
            return std::pair<double, double>(first, runOurs(*window, dialogs, "12", 0).seconds);
        };
        shareSetup.windowStopAfterAtLeastMs = QApplication::doubleClickInterval() + 50;
        shareSetup.windowStop = [&](const QString& folder, int afterMs) {
            listOnly(folder);
            return runStop(*window, dialogs, afterMs).stopMs;
        };
        // The first search in a window also sets up what every later one finds in place (the readers' memory,
        // the list's first chunk and the fonts it paints with): done once, untimed, on a small local folder.
        QTemporaryDir warmUp;
        QFile(warmUp.filePath(QStringLiteral("twelve.chars"))).open(QIODevice::WriteOnly);
        listOnly(warmUp.path());
        runOurs(*window, dialogs, "12", 0);
        return runShareBench(shareSetup);
    }

    const QString fdName = QStandardPaths::findExecutable("fdfind").isEmpty() ? "fd" : "fdfind";
    const bool cold = coldRuns > 0 && canDropCaches();
    // The programs timed in each round; the bare listing runs in this process.
    enum Program { Ours, Fd1, Fd8, Bfs, Bare, ProgramCount };
    const char* const programNames[ProgramCount] = {"Lentrova", "fd -j1", "fd -j8", "bfs", "bare listing"};
    struct SizeResult
    {
        qint64 files;
        double warm[ProgramCount];
        double cold[ProgramCount];
        double stallMs;
        double busyMs;
        double allSeconds;
        double bytesPerRow;
        double modelBytesPerRow;
        double targetRatio;
        double secondRatio;
        StopRun stop;
    };
    std::vector<SizeResult> results;
    bool countsAgree = true;

    // Output goes to a file as often as to a terminal: each line as it comes, so that nothing is lost.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("load average at start: %s; %d CPUs\n", qPrintable(loadAverage()),
                QThread::idealThreadCount());
    if (!cold)
        std::printf("cold-cache figures skipped: %s\n", coldRuns == 0
                                                            ? "--cold-runs 0"
                                                            : "dropping the caches needs root and a writable "
                                                              "/proc/sys/vm/drop_caches");
    for (qint64 size : sizes) {
        const QString dir = QString("%1/lentrova-bench-%2-%3").arg(treeFolder).arg(size).arg(seed);
        if (!generate(dir, size, seed)) {
            std::fprintf(stderr, "could not generate %s\n", qPrintable(dir));
            return 1;
        }
        window->folderModel()->removeRows(0, window->folderModel()->rowCount());
        window->folderModel()->appendRow(new QStandardItem(dir));
        const QString re = ".*/[^/]{12}";
        const QList<std::pair<QString, QStringList>> peers = {
            {fdName, {"-u", "-j1", "--type", "f", "--regex", "^.{12}$", dir}},
            {fdName, {"-u", "-j8", "--type", "f", "--regex", "^.{12}$", dir}},
            {"bfs", {dir, "-regextype", "posix-extended", "-regex", re, "-type", "f"}},
        };
        SizeResult sr{};
        sr.files = size;
        int matches = -1;
        qint64 peerCounts[ProgramCount] = {-1, -1, -1, -1, -1};
        // The same walk, plain and as a check for Windows, alternated so that the machine's load falls on
        // both alike.
        const auto compareTargetCheck = [&] {
            std::vector<double> plain, target, plainCores, targetCores;
            qint64 targetRows = 0;
            for (int r = 0; r < runs; ++r) {
                const WalkTime p = timeWalk(dir, readers, QString());
                plain.push_back(p.seconds);
                plainCores.push_back(p.processorSeconds / p.seconds);
                const WalkTime t = timeWalk(dir, readers, QStringLiteral("windows"));
                target.push_back(t.seconds);
                targetCores.push_back(t.processorSeconds / t.seconds);
                targetRows = t.rows;
            }
            sr.targetRatio = median(target) / median(plain);
            std::printf("  walk, plain search: %.3f s; target check (windows): %.3f s, %lld rows; ratio %.2f "
                        "(target <= 1.30: %s); processors busy %.2f and %.2f\n",
                        median(plain), median(target), targetRows, sr.targetRatio,
                        sr.targetRatio <= 1.3 ? "met" : "MISSED", median(plainCores), median(targetCores));
        };
        if (targetOnly) {
            bareListing(QFile::encodeName(dir)); // warms the cache
            compareTargetCheck();
            if (!keep)
                QDir(dir).removeRecursively();
            continue;
        }
        // One round runs every program once, so that a change in the machine's load falls on all alike.
        auto round = [&](bool dropFirst, std::vector<std::vector<double>>& times) {
            for (int k = 0; k < ProgramCount; ++k) {
                if (dropFirst)
                    dropCaches();
                if (k == Ours) {
                    // A first search: the window's listings from the runs before are dropped.
                    window->searchRun().forgetListings();
                    const OurRun r = runOurs(*window, dialogs, "12", 0);
                    times[k].push_back(r.seconds);
                    if (verbose)
                        std::printf("  run: ours %.1f ms\n", r.seconds * 1000);
                    matches = r.rows;
                    sr.stallMs = std::max(sr.stallMs, r.stallMs);
                    sr.busyMs = std::max(sr.busyMs, r.busyMs);
                } else if (k == Bare) {
                    QElapsedTimer t;
                    t.start();
                    peerCounts[k] = bareListing(QFile::encodeName(dir));
                    times[k].push_back(t.nsecsElapsed() / 1e9);
                    if (verbose)
                        std::printf("  run: bare %.1f ms\n", t.nsecsElapsed() / 1e6);
                } else {
                    const auto& peer = peers[k - 1];
                    const PeerRun p = runPeer(programNames[k], peer.first, peer.second);
                    if (p.seconds >= 0) {
                        times[k].push_back(p.seconds);
                        peerCounts[k] = p.count;
                    }
                }
            }
        };
        std::vector<std::vector<double>> warmTimes(ProgramCount), coldTimes(ProgramCount);
        bareListing(QFile::encodeName(dir)); // warms the cache
        // The first search in a window also sets up what every later one finds in place (the readers' memory,
        // the list's first chunk): its time is printed, not counted, as the warm-up listing's is not. Its
        // stall counts.
        const OurRun first = runOurs(*window, dialogs, "12", 0);
        sr.stallMs = first.stallMs;
        sr.busyMs = first.busyMs;
        for (int r = 0; r < runs; ++r)
            round(false, warmTimes);
        for (int r = 0; cold && r < coldRuns; ++r)
            round(true, coldTimes);
        for (int k = 0; k < ProgramCount; ++k) {
            sr.warm[k] = warmTimes[k].empty() ? -1 : median(warmTimes[k]);
            sr.cold[k] = coldTimes[k].empty() ? -1 : median(coldTimes[k]);
        }
        std::printf("\n== %lld files (%s), load average %s ==\n", size, qPrintable(dir),
                    qPrintable(loadAverage()));
        compareTargetCheck();
        std::printf("  first search in this window, untimed: %.3f s\n", first.seconds);
        // A search again with nothing changed: the folders' listings are kept from the one before.
        std::vector<double> firsts, seconds;
        for (int r = 0; r < runs; ++r) {
            window->searchRun().forgetListings();
            firsts.push_back(runOurs(*window, dialogs, "12", 0).seconds);
            const OurRun again = runOurs(*window, dialogs, "12", 0);
            seconds.push_back(again.seconds);
            sr.stallMs = std::max(sr.stallMs, again.stallMs);
            sr.busyMs = std::max(sr.busyMs, again.busyMs);
        }
        sr.secondRatio = median(seconds) / median(firsts);
        std::printf(
            "  search again, nothing changed: %.3f s after a first search of %.3f s: ratio %.2f (target "
            "<= 0.25: %s); listings kept: %zu folders, %.1f MiB\n",
            median(seconds), median(firsts), sr.secondRatio, sr.secondRatio <= 0.25 ? "met" : "MISSED",
            window->searchRun().listings().folders(),
            double(window->searchRun().listings().bytes()) / (1 << 20));
        std::printf("  %-13s %10s %10s  %s\n", "", "warm (s)", "cold (s)", "matches (Equal To 12)");
        for (int k = 0; k < ProgramCount; ++k) {
            QString note;
            if (k == Ours) {
                note = QString::number(matches);
            } else if (k == Bare) {
                note = QStringLiteral("%1 files listed").arg(peerCounts[k]);
                if (peerCounts[k] != size)
                    countsAgree = false;
            } else if (sr.warm[k] < 0) {
                note = QStringLiteral("not available");
            } else {
                const bool agree = peerCounts[k] == matches;
                countsAgree = countsAgree && agree;
                note = QStringLiteral("%1 %2")
                           .arg(peerCounts[k])
                           .arg(agree ? "(counts agree)" : "(COUNTS DIFFER)");
            }
            std::printf("  %-13s %10.3f %10.3f  %s\n", programNames[k], sr.warm[k], sr.cold[k],
                        qPrintable(note));
        }

        // Every file listed, in a window of its own, so that nothing an earlier run left allocated hides the
        // cost of a row.
        window.reset();
        releaseFreedMemory();
        window = makeForm();
        window->folderModel()->appendRow(new QStandardItem(dir));
        const quint64 before = currentResidentBytes();
        const OurRun all = runOurs(*window, dialogs, "-1", 1);
        QCoreApplication::processEvents();
        const quint64 after = currentResidentBytes();
        const ResultModel& model = *window->resultModel();
        sr.allSeconds = all.seconds;
        sr.stallMs = std::max(sr.stallMs, all.stallMs);
        sr.busyMs = std::max(sr.busyMs, all.busyMs);
        // The listings this window keeps for a search again grow with the files walked, not with the rows:
        // they are told apart.
        const double kept = double(window->searchRun().listings().bytes());
        sr.bytesPerRow =
            (double(after) - double(before) - double(model.pathBytes()) - kept) / std::max(1, all.rows);
        sr.modelBytesPerRow = double(model.overheadBytes()) / std::max(1, all.rows);
        std::printf("  Lentrova, Greater Than -1: %.3f s, %d rows; longest stall %.1f ms, window thread busy "
                    "%.1f ms between two ticks at most\n",
                    all.seconds, all.rows, all.stallMs, all.busyMs);
        std::printf(
            "  memory per row beyond its path bytes: %.1f bytes (process RSS growth, the kept listings' %.1f "
            "MiB, %.1f bytes a file, left out), %.1f bytes (result list storage)\n",
            sr.bytesPerRow, kept / (1 << 20), kept / std::max<qint64>(1, size), sr.modelBytesPerRow);
        if (all.rows != size) {
            std::printf("  ROWS DIFFER from the %lld files generated\n", size);
            countsAgree = false;
        }
        if (dialogs.errorBoxes)
            std::printf("  %d error boxes\n", dialogs.errorBoxes);
        runOurs(*window, dialogs, "-1", 0); // empties the list
        window->searchRun().forgetListings();
        // A Stop within the double-click interval after Start is ignored, so the run must outlast it: the
        // tree is listed as often as needed for Stop to fall a third of the way in.
        const int stopAfter = QApplication::doubleClickInterval() + 50;
        const int listings = std::max(1, int(std::ceil(3.0 * stopAfter / std::max(1.0, all.seconds * 1000))));
        for (int i = 1; i < listings; ++i)
            window->folderModel()->appendRow(new QStandardItem(dir));
        sr.stop = runStop(*window, dialogs, std::max(stopAfter, int(all.seconds * 1000 * listings / 3)));
        window->folderModel()->removeRows(1, listings - 1);
        std::printf(
            "  Stop a third of the way in (the tree listed %d times): \"Done.\" %.1f ms after the click; %d "
            "threads more than before Start\n",
            listings, sr.stop.stopMs, sr.stop.threadsLeft);
        results.push_back(sr);
        window->folderModel()->removeRows(0, window->folderModel()->rowCount());
        if (!keep)
            QDir(dir).removeRecursively();
    }
    if (targetOnly)
        return 0;

    std::printf("\n== Summary == (load average now: %s; %d CPUs)\n", qPrintable(loadAverage()),
                QThread::idealThreadCount());
    std::printf("%9s %9s %9s %9s %9s %10s %9s %9s %11s %9s %8s %9s\n", "files", "warm", "bare", "warm/bare",
                "cold", "cold fd-j8", "cold/fd8", "stall ms", "busy ms", "bytes/row", "stop ms", "threads");
    double worstWarm = 0, worstCold = 0, worstStall = 0, worstBusy = 0, worstStop = 0;
    int worstThreads = 0;
    for (const SizeResult& r : results) {
        const double warmRatio = r.warm[Ours] / r.warm[Bare];
        const double coldRatio = r.cold[Fd8] > 0 ? r.cold[Ours] / r.cold[Fd8] : -1;
        worstWarm = std::max(worstWarm, warmRatio);
        worstCold = std::max(worstCold, coldRatio);
        worstStall = std::max(worstStall, r.stallMs);
        worstBusy = std::max(worstBusy, r.busyMs);
        worstStop = std::max(worstStop, r.stop.stopMs);
        worstThreads = std::max(worstThreads, r.stop.threadsLeft);
        std::printf("%9lld %9.3f %9.3f %9.2f %9.3f %10.3f %9.2f %9.1f %11.1f %9.1f %8.1f %9d\n", r.files,
                    r.warm[Ours], r.warm[Bare], warmRatio, r.cold[Ours], r.cold[Fd8], coldRatio, r.stallMs,
                    r.busyMs, r.bytesPerRow, r.stop.stopMs, r.stop.threadsLeft);
    }
    std::printf(
        "\nwarm: our time over the bare single-thread listing (worst size): %.2f  (target <= 0.80: %s)\n",
        worstWarm, worstWarm <= 0.8 ? "met" : "MISSED");
    if (cold)
        std::printf("cold: our time over fd -j8 (worst size): %.2f  (target <= 0.90: %s)\n", worstCold,
                    worstCold <= 0.9 ? "met" : "MISSED");
    else
        std::printf("cold: skipped (caches could not be dropped)\n");
    std::printf("longest window stall: %.1f ms wall (target <= 50: %s); window thread's own work between two "
                "ticks: %.1f ms at most (target <= 15: %s)\n",
                worstStall, worstStall <= 50 ? "met" : "MISSED", worstBusy,
                worstBusy <= 15 ? "met" : "MISSED");
    std::printf("memory per result row beyond the path bytes (largest tree): %.1f bytes (target <= 48: %s)\n",
                results.back().bytesPerRow, results.back().bytesPerRow <= 48 ? "met" : "MISSED");
    std::printf(
        "Stop to \"Done.\": %.1f ms at most (target <= 100: %s); threads left at \"Done.\": %d (target 0: "
        "%s)\n",
        worstStop, worstStop <= 100 ? "met" : "MISSED", worstThreads, worstThreads <= 0 ? "met" : "MISSED");
    if (results.size() >= 2) {
        const SizeResult& a = results.front();
        const SizeResult& b = results.back();
        const double files = double(b.files) / a.files;
        const double warmGrowth = b.warm[Ours] / a.warm[Ours];
        std::printf(
            "cost growth from %lld to %lld files (%.2fx the files): ours %.2fx warm, %.2fx cold, %.2fx "
            "every row listed (target <= %.2fx: %s); bare listing %.2fx, fd -j8 %.2fx\n",
            a.files, b.files, files, warmGrowth, a.cold[Ours] > 0 ? b.cold[Ours] / a.cold[Ours] : -1,
            b.allSeconds / a.allSeconds, files, warmGrowth <= files ? "met" : "MISSED",
            b.warm[Bare] / a.warm[Bare], b.warm[Fd8] / a.warm[Fd8]);
    }
    double worstTarget = 0;
    for (const SizeResult& r : results)
        worstTarget = std::max(worstTarget, r.targetRatio);
    std::printf("target check (windows) over the plain walk (worst size): %.2f  (target <= 1.30: %s)\n",
                worstTarget, worstTarget <= 1.3 ? "met" : "MISSED");
    double worstSecond = 0;
    for (const SizeResult& r : results)
        worstSecond = std::max(worstSecond, r.secondRatio);
    std::printf("search again with nothing changed, over a first search (worst size): %.2f  (target <= 0.25: "
                "%s)\n",
                worstSecond, worstSecond <= 0.25 ? "met" : "MISSED");
    std::printf("match counts agree with every peer: %s\n", countsAgree ? "yes" : "NO");
    std::printf("peak RSS: %.1f MiB\n", peakResidentBytes() / 1048576.0);
    return countsAgree ? 0 : 1;
}
