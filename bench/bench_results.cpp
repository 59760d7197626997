// SPDX-License-Identifier: MIT
// Times the result-list operations on a million rows, all checked, through the window's own handlers on the
// offscreen platform: the text report, the clipboard copy, "Check All" and a prune that removes half the
// rows. For each it prints the time (handler plus the events it left behind), the peak RSS while it ran, and
// the longest stretch in which the event loop did not run (a 1 ms probe timer). Then it sorts a list of a
// million rows in a view of its own by each column, printing the time spent off the window's thread, the time
// of the swap on it, and the longest stall.
#include "app/mainwindow.h"
#include "benchwindow.h"
#include "fileops/fixplan.h"
#include "fileops/folderproposals.h"
#include "fileops/shorten.h"
#include "results/resultmodel.h"
#include "results/resultsort.h"
#include "services/dialogs.h"
#include "ui/shortendialog.h"

#include "ui/resultlistview.h"
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <QTreeView>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {
constexpr int Rows = 1000000;

class BenchDialogs : public Dialogs
{
public:
    QString saveAs;
    QString input;
    int messages = 0;
    Answer message(const QString&, MessageStyle, const QString&) override
    {
        ++messages;
        return Answer::Ok;
    }
    QString inputText(const QString&, const QString&) override { return input; }
    QString saveFileName(const QString&, const QString&, const QString&, QString*) override { return saveAs; }
    QString existingDirectory(const QString&, const QString&) override { return {}; }
};

// Kernel memory figures of this process, in MiB.
double statusMiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// Lets the peak figure start again from the current size (Linux 4.0 and later).
bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

struct Probe
{
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    qint64 longestEnd = 0; // when the longest stall ended
    qint64 started = 0;
    QTimer timer;
    Probe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
        timer.start();
        clock.start();
    }
    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        if (now - last > longest) {
            longest = now - last;
            longestEnd = now;
        }
        last = now;
    }
    void restart()
    {
        last = started = clock.nsecsElapsed();
        longest = longestEnd = 0;
    }
};

bool peakResets = false;
double worstPeak = 0;

void measure(const char* what, Probe& probe, const std::function<void()>& operation,
             const QString& extra = {})
{
    QCoreApplication::processEvents();
    peakResets = resetPeak();
    const double before = statusMiB("VmRSS:");
    QElapsedTimer clock;
    probe.restart();
    clock.start();
    operation();
    QCoreApplication::processEvents(); // the relayout and repaint the operation asked for
    probe.tick();
    const double ms = clock.nsecsElapsed() / 1e6;
    const double peak = statusMiB("VmHWM:");
    worstPeak = std::max(worstPeak, peak);
    std::printf("%-34s %9.1f ms   RSS before %7.1f MiB, peak %7.1f MiB (+%6.1f)   longest stall %6.1f ms "
                "(ending %.1f ms in)%s\n",
                what, ms, before, peak, peak - before, probe.longest / 1e6,
                (probe.longestEnd - probe.started) / 1e6, qPrintable(extra));
    std::fflush(stdout);
}

// Sorts through ResultSorter as the window does, while the probe watches the event loop.
void sortOnce(const char* what, ResultModel& model, ResultSorter& sorter, Probe& probe, int column,
              Qt::SortOrder order)
{
    QElapsedTimer clock;
    qint64 swapStart = 0, swapEnd = 0;
    const QMetaObject::Connection before = QObject::connect(
        &model, &QAbstractItemModel::layoutAboutToBeChanged, [&] { swapStart = clock.nsecsElapsed(); });
    QEventLoop loop;
    const QMetaObject::Connection done = QObject::connect(&sorter, &ResultSorter::sorted, [&] {
        swapEnd = clock.nsecsElapsed();
        loop.quit();
    });
    const QMetaObject::Connection dropped = QObject::connect(&sorter, &ResultSorter::sortDropped, [&] {
        std::printf("sort dropped\n");
        loop.quit();
    });
    QCoreApplication::processEvents();
    probe.restart();
    clock.start();
    sorter.sort(column, order);
    loop.exec();
    QCoreApplication::processEvents(); // the repaint the swap asked for
    probe.tick();
    const qint64 total = clock.nsecsElapsed();
    QObject::disconnect(before);
    QObject::disconnect(done);
    QObject::disconnect(dropped);
    std::printf("%-34s off-thread %7.1f ms   swap on window thread %6.1f ms   total %7.1f ms   longest stall "
                "%6.1f ms\n",
                what, swapStart / 1e6, (swapEnd - swapStart) / 1e6, total / 1e6, probe.longest / 1e6);
    std::fflush(stdout);
}

bool benchSort(Probe& probe)
{
    ResultModel model;
    ResultListView view;
    view.setModel(&model);
    view.resize(520, 166);
    view.show();
    ResultBatch batch;
    for (int i = 0; i < Rows; ++i) {
        // Walk order: folder by folder; some names not ASCII.
        const int folder = i / 1000;
        const std::string name = (i % 7 == 0 ? "r\xc3\xa9sum\xc3\xa9-" : "file-") + std::to_string(Rows - i) +
                                 (i % 2 ? "-odd" : "-even") + ".txt";
        const std::string path = "/home/user/projects/area-" + std::to_string(folder % 97) + "/module-" +
                                 std::to_string(folder) + "/sources/" + name;
        batch.add(path, quint16(QString::fromStdString(name).size()));
        if (batch.size() == 10000) {
            model.appendBatch(batch);
            batch.clear();
        }
    }
    model.appendBatch(batch);
    for (int r = 0; r < Rows; r += 997)
        model.setChecked(r, true);
    // A scattered selection of a thousand rows and a current row, which the swap must carry along.
    for (int r = 0; r < Rows; r += 1000)
        view.selectionModel()->select(model.index(r, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.selectionModel()->setCurrentIndex(model.index(Rows / 2, 0), QItemSelectionModel::NoUpdate);
    const quint64 currentId = model.rowId(Rows / 2);
    QCoreApplication::processEvents();
    std::printf("%d rows to sort, %d checked, %lld selected\n", model.rowCount(), model.checkedCount(),
                qint64(view.selectionModel()->selectedRows().size()));

    ResultSorter sorter(model);
    sortOnce("sort by \"Filename(s)\" ascending", model, sorter, probe, 0, Qt::AscendingOrder);
    sortOnce("sort by \"Filename(s)\" descending", model, sorter, probe, 0, Qt::DescendingOrder);
    sortOnce("sort by \"Length\" ascending", model, sorter, probe, 1, Qt::AscendingOrder);
    sortOnce("sort by \"Length\" descending", model, sorter, probe, 1, Qt::DescendingOrder);
    const bool kept = model.rowId(view.selectionModel()->currentIndex().row()) == currentId &&
                      view.selectionModel()->selectedRows().size() == 1000 &&
                      model.checkedCount() == (Rows + 996) / 997;
    std::printf("selection, current row and check marks kept: %s\n", kept ? "yes" : "NO");
    return kept;
}

QAction* menuItem(QAbstractItemView* list, const QString& text)
{
    for (QAction* action : list->actions())
        if (action->text() == text)
            return action;
    std::fprintf(stderr, "no menu item %s\n", qPrintable(text));
    std::exit(1);
}
// "Shorten Checked Names…" on 100,000 checked rows of real files in 100 folders, a fifth with non-ASCII
// names: the time to open the dialog with its preview built.
void benchShortenPreview(const QString& root)
{
    constexpr int Files = 100000;
    std::vector<ShortenCandidate> rows;
    rows.reserve(Files);
    for (int i = 0; i < Files; ++i) {
        const QByteArray folder =
            QFile::encodeName(root) + "/shorten/folder-" + QByteArray::number(i % 100) + '/';
        if (i < 100)
            QDir().mkpath(QFile::decodeName(folder));
        const QByteArray name =
            (i % 5 ? QByteArray("a-rather-long-file-name-from-some-export-")
                   : QByteArray("\xC3\xA9t\xC3\xA9-\xF0\x9F\x98\x80-photo-caf\xC3\xA9-")) +
            QByteArray::number(i) + ".jpeg";
        QFile file(QFile::decodeName(folder + name));
        file.open(QIODevice::WriteOnly);
        rows.push_back({quint64(i), folder + name});
    }
    QElapsedTimer timer;
    timer.start();
    ShortenDialog dialog(rows, QStringLiteral("30"), QStringLiteral("Lentrova"));
    const qint64 ms = timer.elapsed();
    std::printf("%-34s %6lld ms  %zu of %d rows previewed (target: under 1000 ms)\n",
                "shorten preview, 100,000 checked", ms, dialog.plan().size(), Files);
}

// "Fix Checked Names For Target…" for Windows on 100,000 rows of real files in 100 folders, each name with a
// forbidden character, a fifth non-ASCII, every tenth equal to another but for case: the time to plan the
// preview, and to find the folders to shorten.
void benchFixPreview(const QString& root)
{
    constexpr int Files = 100000;
    std::vector<FixCandidate> rows;
    rows.reserve(Files);
    const QByteArray top = QFile::encodeName(root) + "/fix/";
    for (int i = 0; i < Files; ++i) {
        const QByteArray folder = top + "folder:" + QByteArray::number(i % 100) + '/';
        if (i < 100)
            QDir().mkpath(QFile::decodeName(folder));
        const QByteArray name = (i % 5 ? QByteArray("report: draft? ")
                                       : QByteArray("\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 caf\xC3\xA9|")) +
                                QByteArray::number(i % 10 ? i : i + 1) + (i % 10 ? ".txt" : ".TXT");
        QFile file(QFile::decodeName(folder + name));
        file.open(QIODevice::WriteOnly);
        rows.push_back({quint64(i), folder + name, top, 0});
    }
    for (int i = 0; i < 100; ++i)
        rows.push_back({quint64(Files + i), top + "folder:" + QByteArray::number(i) + '/', top, 0});
    const FixSetup setup{targetProfile(u"windows"), TargetRuleSet::all(), "C:\\Users\\me\\OneDrive - Contoso",
                         FixCharacters::LookAlike};
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock(); // the planning runs on this thread alone
    const std::vector<FixItem> plan = planFixes(rows, setup);
    const double planCpuMs = double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC;
    const qint64 planMs = timer.restart();
    const std::vector<FolderProposal> proposals = proposeFolderShortening(rows, setup);
    const qint64 proposalMs = timer.elapsed();
    std::printf("%-34s %6lld ms (CPU %.0f ms)  %zu of %zu rows to rename (target: under 1000 ms)\n",
                "fix preview, 100,100 checked", planMs, planCpuMs, plan.size(), rows.size());
    std::printf("%-34s %6lld ms  %zu folders proposed\n", "folders to shorten, same rows", proposalMs,
                proposals.size());
}
} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    BenchDialogs dialogs;
    const std::unique_ptr<MainWindow> window = makeBenchWindow(dialogs, home.path());
    MainWindow& form = *window;
    form.show();

    // Paths as a deep tree gives them: about 70 bytes, every second one marked for the prune.
    ResultModel& model = *form.resultModel();
    ResultBatch batch;
    for (int i = 0; i < Rows; ++i) {
        const std::string name = "file-" + std::to_string(i) + (i % 2 ? "-odd" : "-even") + ".txt";
        const std::string path = "/home/user/projects/area-" + std::to_string(i % 97) + "/module-" +
                                 std::to_string(i % 13) + "/sources/" + name;
        batch.add(path, quint16(name.size()));
        if (batch.size() == 10000) {
            model.appendBatch(batch);
            batch.clear();
        }
    }
    model.appendBatch(batch);
    model.setAllChecked(true);
    QCoreApplication::processEvents();
    std::printf("%d rows, all checked; path bytes %.1f MiB; RSS %.1f MiB; peak reset %s\n", model.rowCount(),
                model.pathBytes() / 1048576.0, statusMiB("VmRSS:"),
                resetPeak() ? "available" : "unavailable");

    Probe probe;
    const QString report = home.path() + "/report.txt";
    dialogs.saveAs = report;
    measure("text report", probe, [&] { form.saveReportButton()->click(); });
    std::printf("%-34s %.1f MiB written\n", "", QFileInfo(report).size() / 1048576.0);
    QFile::remove(report);

    measure("clipboard copy", probe, [&] { form.copyResultsButton()->click(); });
    std::printf("%-34s %.1f MiB of text (%lld characters)\n", "",
                QGuiApplication::clipboard()->text().size() * 2 / 1048576.0,
                qint64(QGuiApplication::clipboard()->text().size()));
    QGuiApplication::clipboard()->clear();

    measure("\"Uncheck All\"", probe, [&] { menuItem(form.resultList(), "Uncheck All")->trigger(); });
    measure("\"Check All\"", probe, [&] { menuItem(form.resultList(), "Check All")->trigger(); });
    measure("Ctrl+A", probe, [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::ControlModifier);
        QCoreApplication::sendEvent(form.resultList(), &press);
        QCoreApplication::sendEvent(form.resultList(), &release);
    });
    measure("\"Uncheck Selected\" (all selected)", probe,
            [&] { menuItem(form.resultList(), "Uncheck Selected")->trigger(); });
    measure("\"Check All\" again", probe, [&] { menuItem(form.resultList(), "Check All")->trigger(); });

    dialogs.input = QStringLiteral("-ODD.");
    measure("prune half", probe, [&] { form.removeContainingButton()->click(); });
    std::printf("%-34s %d rows left, %d checked\n", "", model.rowCount(), model.checkedCount());
    // What a trash or a move of a few checked files spread over the list leaves to the window.
    std::vector<quint64> spread;
    for (int r = 0; r < model.rowCount(); r += model.rowCount() / 64 + 1)
        spread.push_back(model.rowId(r));
    measure("64 rows spread out removed", probe, [&] { model.removeRowsById(spread); });

    benchShortenPreview(home.path());
    benchFixPreview(home.path());

    std::printf("peak RSS over the operations: %.1f MiB%s\n", worstPeak,
                peakResets ? "" : " (the peak could not be reset: figures are for the whole run)");
    const bool pruned = model.rowCount() == Rows / 2 - int(spread.size()) && dialogs.messages == 1;
    const bool sorted = benchSort(probe);
    return pruned && sorted ? 0 : 1;
}
