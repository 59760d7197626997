// SPDX-License-Identifier: MIT
// Times a search through the main window's own Start button against GNU find, bfs and fd on generated trees,
// and measures the window's longest stall and the memory a result row costs.
//
//   bench_search [--sizes 50000,200000,1000000] [--seed N] [--runs N] [--keep] [--verbose]
#include "app/form1.h"
#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "platform/procstats.h"
#include "platform/shell.h"
#include "results/resultmodel.h"
#include "search/searchrun.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class BenchDialogs : public Dialogs
{
public:
    QElapsedTimer* clock = nullptr;
    qint64 doneAt = -1;
    int errorBoxes = 0;
    int message(const QString& text, int /*style*/, const QString& title) override
    {
        if (text == QLatin1String("Done."))
            doneAt = clock->nsecsElapsed();
        else if (title == errorBoxTitle())
            ++errorBoxes;
        else
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return AnswerOk;
    }
    QString inputText(const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString existingDirectory(const QString&, const QString&) override { return {}; }
};

class NoDraw : public RandomSource
{
public:
    int draw1to100() override { return 1; }
};

struct OurRun
{
    double seconds;
    int rows;
    double stallMs;
};

bool verbose = false;

OurRun runOurs(Form1& form, BenchDialogs& dialogs, const QString& length, int combo)
{
    form.Text1->clear();
    form.Text2->setText(length);
    form.Combo1->setCurrentIndex(combo);
    QElapsedTimer clock;
    dialogs.clock = &clock;
    dialogs.doneAt = -1;

    // The probe ticks every 2 ms whenever the event loop runs; the longest gap between ticks is the stall.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(2);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.nsecsElapsed();
        if (verbose && gap > 20000000)
            std::fprintf(stderr, "    stall of %lld ms at %lld ms into the run, %d rows listed\n",
                         gap / 1000000, clock.elapsed(), form.resultModel()->rowCount());
        longestGap = std::max(longestGap, gap);
        sinceTick.restart();
    });

    QEventLoop loop;
    QObject::connect(&form.searchRun(), &SearchRun::runEnded, &loop, &QEventLoop::quit);
    probe.start();
    sinceTick.start();
    clock.start();
    form.PushButton1_Click();
    if (form.searchRun().active())
        loop.exec();
    probe.stop();
    // The click itself runs before the loop: count it as a stall as well.
    return {dialogs.doneAt / 1e9, form.resultModel()->rowCount(), longestGap / 1e6};
}

struct PeerRun
{
    QString name;
    double seconds = -1;
    qint64 count = -1;
};

PeerRun runPeer(const QString& name, const QString& program, const QStringList& args)
{
    PeerRun result{name};
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return result;
    QByteArray out;
    while (!p.waitForFinished(50))
        out += p.readAllStandardOutput();
    out += p.readAllStandardOutput();
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.count = out.count('\n');
    return result;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool generate(const QString& dir, qint64 files, quint32 seed)
{
    if (QDir(dir).exists())
        return true;
    const qint64 folders = std::max<qint64>(files / 20, 10);
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedChannels);
    gen.start(QCoreApplication::applicationDirPath() + "/bench_treegen",
              {dir, QString::number(files), QString::number(folders), QString::number(seed)});
    return gen.waitForFinished(-1) && gen.exitCode() == 0;
}

} // namespace

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
    bool keep = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--sizes" && i + 1 < args.size()) {
            sizes.clear();
            for (const QString& s : args[++i].split(','))
                sizes << s.toLongLong();
        } else if (args[i] == "--seed" && i + 1 < args.size()) {
            seed = args[++i].toUInt();
        } else if (args[i] == "--runs" && i + 1 < args.size()) {
            runs = std::max(1, args[++i].toInt());
        } else if (args[i] == "--keep") {
            keep = true;
        } else if (args[i] == "--verbose") {
            verbose = true;
        }
    }

    BenchDialogs dialogs;
    NoDraw noDraw;
    QTemporaryDir install;
    Form1Services services;
    services.dialogs = &dialogs;
    services.random = &noDraw;
    services.installFolder = install.path();
    services.endProgram = [] {};
    Form1 form(services);
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();

    const QString fdName = QStandardPaths::findExecutable("fdfind").isEmpty() ? "fd" : "fdfind";
    struct SizeResult
    {
        qint64 files;
        double ours;
        double bestPeer;
        QString bestPeerName;
        double stallMs;
        double allSeconds;
        double allStallMs;
        double bytesPerRow;
        double modelBytesPerRow;
    };
    std::vector<SizeResult> results;
    bool countsAgree = true;

    for (qint64 size : sizes) {
        const QString dir = QString("/tmp/lentrova-bench-%1-%2").arg(size).arg(seed);
        if (!generate(dir, size, seed)) {
            std::fprintf(stderr, "could not generate %s\n", qPrintable(dir));
            return 1;
        }
        form.folderModel()->removeRows(0, form.folderModel()->rowCount());
        form.folderModel()->appendRow(new QStandardItem(dir));

        // Warm the cache, then time each program the same number of times.
        runPeer("warm", "find", {dir, "-type", "f"});
        std::vector<double> ours;
        OurRun last{};
        double stall = 0;
        for (int r = 0; r < runs; ++r) {
            last = runOurs(form, dialogs, "12", 0);
            ours.push_back(last.seconds);
            stall = std::max(stall, last.stallMs);
        }
        const QString re = ".*/[^/]{12}";
        const QList<std::pair<QString, std::pair<QString, QStringList>>> peers = {
            {"GNU find", {"find", {dir, "-regextype", "posix-extended", "-regex", re, "-type", "f"}}},
            {"bfs", {"bfs", {dir, "-regextype", "posix-extended", "-regex", re, "-type", "f"}}},
            {"fd", {fdName, {"-u", "--type", "f", "--regex", "^.{12}$", dir}}},
        };
        SizeResult sr{size, median(ours), 1e9, QString(), stall, 0, 0, 0, 0};
        std::printf("\n== %lld files (%s) ==\n", size, qPrintable(dir));
        std::printf("  Lentrova   Equal To 12: %8.3f s  %7d matches  %10.0f files/s\n", sr.ours, last.rows,
                    size / sr.ours);
        for (const auto& [name, command] : peers) {
            std::vector<double> times;
            qint64 count = -1;
            for (int r = 0; r < runs; ++r) {
                const PeerRun p = runPeer(name, command.first, command.second);
                if (p.seconds < 0)
                    break;
                times.push_back(p.seconds);
                count = p.count;
            }
            if (times.empty()) {
                std::printf("  %-10s not available\n", qPrintable(name));
                continue;
            }
            const double t = median(times);
            const bool agree = count == last.rows;
            countsAgree = countsAgree && agree;
            std::printf("  %-10s Equal To 12: %8.3f s  %7lld matches  %s\n", qPrintable(name), t, count,
                        agree ? "(counts agree)" : "(COUNTS DIFFER)");
            if (t < sr.bestPeer) {
                sr.bestPeer = t;
                sr.bestPeerName = name;
            }
        }

        // Every file listed: the memory a row costs, and the cost of streaming every row into the window.
        runOurs(form, dialogs, "-1", 0); // empties the list with a quick search that finds nothing
        const quint64 before = currentResidentBytes();
        const OurRun all = runOurs(form, dialogs, "-1", 1);
        QCoreApplication::processEvents();
        const quint64 after = currentResidentBytes();
        const ResultModel& model = *form.resultModel();
        sr.allSeconds = all.seconds;
        sr.allStallMs = all.stallMs;
        sr.bytesPerRow = (double(after) - double(before) - double(model.pathBytes())) / std::max(1, all.rows);
        sr.modelBytesPerRow = double(model.overheadBytes()) / std::max(1, all.rows);
        std::printf("  Lentrova   Greater Than -1: %8.3f s  %7d rows  longest stall %.1f ms\n", all.seconds,
                    all.rows, all.stallMs);
        std::printf("             memory per row beyond its path bytes: %.1f bytes (process RSS growth), "
                    "%.1f bytes (result list storage)\n",
                    sr.bytesPerRow, sr.modelBytesPerRow);
        if (all.rows != size) {
            std::printf("             ROWS DIFFER from the %lld files generated\n", size);
            countsAgree = false;
        }
        if (dialogs.errorBoxes)
            std::printf("             %d error boxes\n", dialogs.errorBoxes);
        results.push_back(sr);
        runOurs(form, dialogs, "-1", 0);

        if (!keep) {
            QDir(dir).removeRecursively();
        }
    }

    std::printf("\n== Summary ==\n");
    std::printf("%10s %11s %12s %14s %7s %11s %12s %12s %11s\n", "files", "ours (s)", "files/s",
                "best peer (s)", "ratio", "stall (ms)", "all rows (s)", "ns/file all", "bytes/row");
    double worstRatio = 0, worstStall = 0, worstBytes = 0;
    for (const SizeResult& r : results) {
        const double ratio = r.ours / r.bestPeer;
        worstRatio = std::max(worstRatio, ratio);
        worstStall = std::max({worstStall, r.stallMs, r.allStallMs});
        worstBytes = std::max(worstBytes, r.bytesPerRow);
        std::printf("%10lld %11.3f %12.0f %8.3f %-5s %7.2f %11.1f %12.3f %12.0f %11.1f\n", r.files, r.ours,
                    r.files / r.ours, r.bestPeer, qPrintable(r.bestPeerName.left(5)), ratio,
                    std::max(r.stallMs, r.allStallMs), r.allSeconds, r.allSeconds * 1e9 / r.files,
                    r.bytesPerRow);
    }
    std::printf("\nfiles per second (largest tree, Equal To 12): %.0f\n",
                results.back().files / results.back().ours);
    std::printf("ratio of our time to the best peer's (worst size): %.2f  (target <= 0.80: %s)\n", worstRatio,
                worstRatio <= 0.8 ? "met" : "MISSED");
    std::printf("longest UI event-loop stall: %.1f ms  (target <= 50 ms: %s)\n", worstStall,
                worstStall <= 50 ? "met" : "MISSED");
    std::printf(
        "memory per result row beyond the path bytes (Greater Than -1, largest tree): %.1f bytes  (target "
        "<= 48: %s)\n",
        results.back().bytesPerRow, results.back().bytesPerRow <= 48 ? "met" : "MISSED");
    if (results.size() >= 2) {
        const SizeResult& a = results.front();
        const SizeResult& b = results.back();
        std::printf(
            "cost growth from %lld to %lld files: %.2fx time for %.2fx files (Equal To 12), %.2fx (every "
            "row)\n",
            a.files, b.files, b.ours / a.ours, double(b.files) / a.files, b.allSeconds / a.allSeconds);
    }
    std::printf("match counts agree with every peer: %s\n", countsAgree ? "yes" : "NO");
    std::printf("peak RSS: %.1f MiB\n", peakResidentBytes() / 1048576.0);
    return countsAgree ? 0 : 1;
}
