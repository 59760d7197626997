// SPDX-License-Identifier: MIT
#include "sharebench.h"

#include "search/walker.h"
#include "searchpeers.h"
#include "support/latencymount.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

struct ShareRun
{
    double seconds = -1; // -1: not run
    bool capped = false;
    qint64 rows = -1;
    LatencyMount::Counts counts;
};

// Runs a program to its end or to the cap, counting its output lines.
ShareRun runCapped(const QString& program, const QStringList& args, double capSeconds)
{
    const PeerRun p = runPeer(program, program, args, capSeconds);
    ShareRun run;
    run.seconds = p.seconds;
    run.capped = p.capped;
    run.rows = p.capped ? -1 : p.count;
    return run;
}

QString shown(const ShareRun& r, double cap)
{
    if (r.seconds < 0)
        return QStringLiteral("skipped");
    if (r.capped)
        return QStringLiteral("> %1 s").arg(cap, 0, 'f', 0);
    return QStringLiteral("%1 s").arg(r.seconds, 0, 'f', 3);
}

QString requestsText(const LatencyMount::Counts& c)
{
    QStringList parts;
    for (auto it = c.byKind.cbegin(); it != c.byKind.cend(); ++it)
        if (it.key() != QLatin1String("all") && it.value() > 0)
            parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    return QStringLiteral("%1 requests (%2), at most %3 at once")
        .arg(c.all())
        .arg(parts.join(", "))
        .arg(c.mostInFlight);
}

// Walks the share with the window's readers on this thread, for every file, and sets the stop flag after
// afterMs: milliseconds from the flag to the walk's end.
double engineStopMs(const QString& folder, int readers, int afterMs)
{
    std::atomic<bool> stop{false};
    LiveCriteria criteria;
    criteria.set(LengthCriterion{Comparison::GreaterThan, -1, LengthUnit::Name});
    WalkSettings settings;
    settings.stop = &stop;
    settings.criteria = &criteria;
    settings.readers = readers;
    QElapsedTimer clock;
    std::atomic<qint64> stoppedAt{-1};
    clock.start();
    std::thread stopper([&] {
        QThread::msleep(afterMs);
        stoppedAt = clock.nsecsElapsed();
        stop = true;
    });
    const QByteArray native = QFile::encodeName(folder);
    walkFolder(fsys::openFolder(native.constData()).fd, folderPathForWalk(native), settings,
               [](WalkReport&& report) {
                   report.rows.clear();
                   return std::move(report.rows);
               });
    const qint64 endedAt = clock.nsecsElapsed();
    stopper.join();
    return stoppedAt < 0 || stoppedAt > endedAt ? -1 : (endedAt - stoppedAt) / 1e6;
}

// Folders from the top to the deepest, the top among them: no walk lists a folder before the one above it has
// answered, however many requests it has in flight.
int levelsOf(const QString& dir)
{
    namespace fs = std::filesystem;
    int deepest = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(QFile::encodeName(dir).toStdString(), error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error))
            deepest = std::max(deepest, it.depth() + 1);
    }
    return deepest + 1;
}

const char* met(bool ok)
{
    return ok ? "met" : "MISSED";
}

} // namespace

int runShareBench(const ShareBenchSetup& setup)
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString latencyfs = QDir(here).filePath(QStringLiteral("latencyfs"));
    const QString finder = QDir(here).filePath(QStringLiteral("../lentrova-find"));
    const QString fdName = QStandardPaths::findExecutable("fdfind").isEmpty() ? "fd" : "fdfind";
    std::printf("share: latencyfs, a fresh mount for every run; load average at start %s; %d CPUs\n",
                qPrintable(loadAverage()), QThread::idealThreadCount());
    {
        QDir probe(QDir::tempPath());
        LatencyMount trial(latencyfs, probe.path(), 0, true);
        if (!trial.usable()) {
            std::printf("share: not run: %s\n", qPrintable(trial.skipReason()));
            return 0;
        }
    }
    enum Program { Window, Finder, Fd16, FdDefault, Bfs, ProgramCount };
    const char* const names[ProgramCount] = {"Lentrova (window)", "lentrova-find", "fd -j16", "fd", "bfs"};
    bool countsAgree = true;
    const double slowest = *std::max_element(setup.delaysMs.cbegin(), setup.delaysMs.cend());
    for (const qint64 size : setup.sizes) {
        // Stop a third of the way into the window's walk on the slowest share, once that walk was timed.
        int stopAfterMs = 1500;
        const QString dir =
            QStringLiteral("%1/lentrova-bench-%2-%3").arg(setup.treeFolder).arg(size).arg(setup.seed);
        if (!generate(dir, size, setup.seed)) {
            std::fprintf(stderr, "could not generate %s\n", qPrintable(dir));
            return 1;
        }
        const int levels = levelsOf(dir);
        for (const double delay : setup.delaysMs) {
            for (const bool cache : {true, false}) {
                if (!cache && !setup.cacheOff)
                    continue;
                std::printf("\n== share: %lld files, %g ms a request, kernel cache %s; load average %s ==\n",
                            size, delay, cache ? "on" : "off", qPrintable(loadAverage()));
                ShareRun runs[ProgramCount];
                for (int k = 0; k < ProgramCount; ++k) {
                    const bool slowPeer = k == FdDefault || k == Bfs;
                    if (slowPeer && size > setup.slowPeersUpTo)
                        continue;
                    LatencyMount mount(latencyfs, dir, delay, cache);
                    if (!mount.usable()) {
                        std::printf("  %-18s could not mount: %s\n", names[k],
                                    qPrintable(mount.skipReason()));
                        continue;
                    }
                    const QString m = mount.path();
                    ShareRun& r = runs[k];
                    if (k == Window) {
                        QElapsedTimer t;
                        t.start();
                        const auto [seconds, rows] = setup.windowSearch(m);
                        r.seconds = seconds;
                        r.rows = rows;
                    } else if (k == Finder) {
                        r = runCapped(finder, {"--eq", "12", m}, setup.capSeconds);
                    } else if (k == Bfs) {
                        r = runCapped(
                            "bfs", {m, "-regextype", "posix-extended", "-regex", ".*/[^/]{12}", "-type", "f"},
                            setup.capSeconds);
                    } else {
                        QStringList args = {"-u", "--type", "f", "--regex", "^.{12}$", m};
                        if (k == Fd16)
                            args.prepend("-j16");
                        r = runCapped(fdName, args, setup.capSeconds);
                    }
                    r.counts = mount.unmount();
                    QString note = r.rows >= 0 ? QStringLiteral("%1 matches").arg(r.rows) : QString();
                    if (r.rows >= 0 && runs[Window].rows >= 0 && r.rows != runs[Window].rows) {
                        note += QStringLiteral(" (COUNTS DIFFER)");
                        countsAgree = false;
                    }
                    std::printf("  %-18s %12s  %s; %s\n", names[k], qPrintable(shown(r, setup.capSeconds)),
                                qPrintable(note), qPrintable(requestsText(r.counts)));
                }
                if (delay == slowest && !cache && runs[Window].seconds > 0)
                    stopAfterMs = std::max(50, int(runs[Window].seconds * 1000 / 3));
                const double fd16 = runs[Fd16].capped ? setup.capSeconds : runs[Fd16].seconds;
                for (const int k : {Window, Finder}) {
                    const ShareRun& r = runs[k];
                    if (r.seconds < 0 || r.capped || r.counts.all() < 0)
                        continue;
                    // The limit: the requests this walk needed, each taking the delay, as many at once as it
                    // had threads asking (its readers and the walk's own thread); and never less than the
                    // deepest folder's chain, each folder on it asked (looked up, opened, listed) only once
                    // the one above it was listed.
                    const double work = double(r.counts.all()) * delay / 1000;
                    const double atSixteen = work / 16;
                    const double spread = work / std::max(1, r.counts.callers);
                    const auto count = [&](const char* kind) { return r.counts.byKind.value(kind, 0); };
                    const double perFolder = double(count("lookup") + count("opendir") + count("readdir")) /
                                             double(std::max<qint64>(1, count("opendir")));
                    const double chain = levels * perFolder * delay / 1000;
                    const double limit = std::max(spread, chain);
                    std::printf(
                        "  %s: limit %.3f s: its %lld requests x %g ms over its %d threads asking, %.3f s; "
                        "its %d levels one after another, %.1f requests each, %.3f s (with 16 threads: "
                        "%.3f s); over that limit %.2f (target <= 1.5: %s)",
                        names[k], limit, r.counts.all(), delay, r.counts.callers, spread, levels, perFolder,
                        chain, atSixteen, r.seconds / limit, met(r.seconds <= 1.5 * limit));
                    if (fd16 > 0)
                        std::printf("; over fd -j16 %.2f (target <= 0.5: %s)", r.seconds / fd16,
                                    met(r.seconds <= 0.5 * fd16));
                    std::printf("\n");
                }
                LatencyMount again(latencyfs, dir, delay, cache);
                if (again.usable()) {
                    const auto [first, second] = setup.windowSearchAgain(again.path());
                    std::printf(
                        "  Lentrova (window), search again with nothing changed: %.3f s after a first "
                        "search of %.3f s on the same mount: ratio %.2f (target <= 0.4: %s)\n",
                        second, first, second / first, met(second <= 0.4 * first));
                }
            }
        }
        // Stop on the slowest share, where a request in hand takes longest.
        {
            LatencyMount mount(latencyfs, dir, slowest, false);
            if (mount.usable()) {
                const double ms = engineStopMs(mount.path(), setup.readers, stopAfterMs);
                if (ms < 0)
                    std::printf(
                        "  Stop at %g ms a request, cache off: not measured, the walk ended within the "
                        "%d ms before its stop flag\n",
                        slowest, stopAfterMs);
                else
                    std::printf(
                        "  Stop at %g ms a request, cache off, %d ms in: the walk ended %.1f ms after "
                        "its stop flag (target <= 100: %s)\n",
                        slowest, stopAfterMs, ms, met(ms <= 100));
            }
        }
        {
            LatencyMount mount(latencyfs, dir, slowest, false);
            const int windowStopAfterMs = std::max(stopAfterMs, setup.windowStopAfterAtLeastMs);
            if (mount.usable()) {
                const double ms = setup.windowStop(mount.path(), windowStopAfterMs);
                if (ms < 0)
                    std::printf(
                        "  Stop at %g ms a request, cache off: not measured, the window's search ended "
                        "within the %d ms before its Stop\n",
                        slowest, windowStopAfterMs);
                else
                    std::printf("  Stop at %g ms a request, cache off, %d ms in: \"Done.\" %.1f ms after the "
                                "window's Stop (target <= 100: %s)\n",
                                slowest, windowStopAfterMs, ms, met(ms <= 100));
            }
        }
        if (!setup.keep)
            QDir(dir).removeRecursively();
    }
    std::printf("\nshare: match counts agree: %s; load average now %s\n", countsAgree ? "yes" : "NO",
                qPrintable(loadAverage()));
    return countsAgree ? 0 : 1;
}
