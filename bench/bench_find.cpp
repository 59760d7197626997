// SPDX-License-Identifier: MIT
// Times lentrova-find against fd with one thread, fd with its default threads and bfs, on the trees
// bench_search makes, warm, in the same rounds, and checks that all four count the same files.
//
//   bench_find [--sizes 50000,200000,1000000] [--seed N] [--runs N] [--trees DIR]
#include "searchpeers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs the program with its output thrown away and prints the most memory it held at once, in KiB. A
// process's peak counts the memory of the process it was forked or spawned from (the kernel copies that
// peak along with the address space), so the program is started from here, early, while this process is
// still small: from the benchmark itself every figure would be at least the benchmark's own size.
int measurePeak(char** argv)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        const int out = ::open("/dev/null", O_WRONLY);
        if (out >= 0)
            ::dup2(out, STDOUT_FILENO);
        ::execv(argv[0], argv);
        ::_exit(127);
    }
    int status = 0;
    rusage use{};
    if (::wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    std::printf("%ld\n", use.ru_maxrss); // kilobytes on Linux
    return 0;
}

// The most memory the program held at once, its output thrown away; -1 when it could not run.
double peakMiB(const QString& program, const QStringList& args)
{
    QProcess measuring;
    measuring.start(QCoreApplication::applicationFilePath(), QStringList{"--peak-of", program} + args);
    if (!measuring.waitForFinished(-1) || measuring.exitStatus() != QProcess::NormalExit ||
        measuring.exitCode() != 0)
        return -1;
    bool ok = false;
    const double kib = measuring.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? kib / 1024 : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string_view(argv[1]) == "--peak-of")
        return measurePeak(argv + 2);
    QCoreApplication app(argc, argv);
    QList<qint64> sizes = {50000, 200000, 1000000};
    quint32 seed = 12;
    int runs = 3;
    QString trees = QStringLiteral("/tmp");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--sizes") {
            sizes.clear();
            for (const QString& s : args[++i].split(','))
                sizes << s.toLongLong();
        } else if (args[i] == "--seed") {
            seed = args[++i].toUInt();
        } else if (args[i] == "--runs") {
            runs = std::max(1, args[++i].toInt());
        } else if (args[i] == "--trees") {
            trees = args[++i];
        }
    }
    const QString here = QCoreApplication::applicationDirPath();
    const QString finder = QDir(here).filePath("../lentrova-find");
    const QString fd = QStandardPaths::findExecutable("fdfind").isEmpty() ? "fd" : "fdfind";
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));

    bool allAgree = true;
    bool targetMet = true;
    for (qint64 size : sizes) {
        const QString dir = QString("%1/lentrova-bench-%2-%3").arg(trees).arg(size).arg(seed);
        if (!QDir(dir).exists()) {
            QProcess gen;
            gen.setProcessChannelMode(QProcess::ForwardedChannels);
            gen.start(QDir(here).filePath("bench_treegen"),
                      {dir, QString::number(size), QString::number(std::max<qint64>(size / 20, 10)),
                       QString::number(seed)});
            if (!gen.waitForFinished(-1) || gen.exitCode() != 0) {
                std::fprintf(stderr, "could not generate %s\n", qPrintable(dir));
                return 1;
            }
        }
        // The same question put to each: files whose name is 12 characters long (the tree's names are all in
        // the Basic Multilingual Plane, so UTF-16 units and code points agree).
        const QList<std::pair<QString, std::pair<QString, QStringList>>> programs = {
            {"lentrova-find", {finder, {"--eq", "12", dir}}},
            {"fd -j1", {fd, {"-u", "-j1", "--type", "f", "--regex", "^.{12}$", dir}}},
            {"fd", {fd, {"-u", "--type", "f", "--regex", "^.{12}$", dir}}},
            {"bfs", {"bfs", {dir, "-regextype", "posix-extended", "-regex", ".*/[^/]{12}", "-type", "f"}}},
        };
        runPeer(finder, finder, {"--gt", "-1", dir}); // warm the cache
        std::vector<std::vector<double>> times(std::size_t(programs.size()));
        std::vector<qint64> counts(std::size_t(programs.size()), -1);
        for (int r = 0; r < runs; ++r) {
            // One round runs each program once, so a change in the machine's load falls on all alike.
            for (int k = 0; k < int(programs.size()); ++k) {
                const PeerRun t =
                    runPeer(programs[k].first, programs[k].second.first, programs[k].second.second);
                if (t.seconds >= 0) {
                    times[std::size_t(k)].push_back(t.seconds);
                    counts[std::size_t(k)] = t.count;
                }
            }
        }
        std::printf("\n== %lld files (%s), median of %d ==\n", size, qPrintable(dir), runs);
        const double ours = times[0].empty() ? -1 : median(times[0]);
        double best = 1e9;
        QString bestName;
        for (int k = 0; k < int(programs.size()); ++k) {
            if (times[std::size_t(k)].empty()) {
                std::printf("  %-14s not available\n", qPrintable(programs[k].first));
                continue;
            }
            const double t = median(times[std::size_t(k)]);
            const bool agree = counts[std::size_t(k)] == counts[0];
            allAgree = allAgree && agree;
            std::printf("  %-14s %8.3f s  %8lld matches  %s\n", qPrintable(programs[k].first), t,
                        counts[std::size_t(k)],
                        k == 0  ? ""
                        : agree ? "(counts agree)"
                                : "(COUNTS DIFFER)");
            if (k > 0 && t < best) {
                best = t;
                bestName = programs[k].first;
            }
        }
        if (ours > 0 && !bestName.isEmpty()) {
            const double ratio = ours / best;
            std::printf("  lentrova-find / best (%s): %.2fx (target at most 0.70x at 1M files)\n",
                        qPrintable(bestName), ratio);
            if (size >= 1000000 && ratio > 0.7)
                targetMet = false;
        }
        // The finder keeps no rows: what it holds must not grow with what it finds.
        const double peak = peakMiB(finder, {"--gt", "-1", dir});
        std::printf(
            "  lentrova-find, every file matching (--gt -1): peak memory %.1f MiB (target under 64 MiB: "
            "%s)\n",
            peak, peak >= 0 && peak < 64 ? "met" : "MISSED");
        if (peak < 0 || peak >= 64)
            targetMet = false;
    }
    std::printf("\nload average at end: %s\n", qPrintable(loadAverage()));
    std::printf("counts %s; speed target %s\n", allAgree ? "agree" : "DIFFER", targetMet ? "met" : "NOT met");
    return allAgree ? 0 : 1;
}
