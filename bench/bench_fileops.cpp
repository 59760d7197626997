// SPDX-License-Identifier: MIT
// Moves and trashes many small files and one large file, and measures how long the event loop was kept
// waiting at most while each operation ran. Usage: bench_fileops [small-files] [large-file-MiB]
#include "app/mainwindow.h"
#include "benchwindow.h"
#include "fileops/moveoperation.h"
#include "fileops/trashoperation.h"
#include "loopwatch.h"
#include "results/resultmodel.h"
#include "services/dialogs.h"
#include "services/yielder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
class AnswerDialogs : public Dialogs
{
public:
    QString folder;
    Answer message(const QString&, MessageStyle style, const QString&) override
    {
        return style == MessageStyle::YesNo ? Answer::Yes : Answer::Ok;
    }
    QString inputText(const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&, QString*) override { return {}; }
    QString existingDirectory(const QString&, const QString&) override { return folder; }
};

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

void makeFiles(const QByteArray& folder, int count, ResultModel& model)
{
    ResultBatch batch;
    for (int i = 0; i < count; ++i) {
        const QByteArray path = folder + "/file-" + QByteArray::number(i) + ".txt";
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        (void)!::write(fd, path.constData(), size_t(path.size()));
        ::close(fd);
        batch.add(std::string_view(path.constData(), size_t(path.size())), 12);
    }
    model.appendBatch(batch);
    model.setAllChecked(true);
}

bool makeLargeFile(const QByteArray& path, qint64 mib)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    QByteArray chunk(1 << 20, 'L');
    for (qint64 i = 0; i < mib; ++i)
        if (::write(fd, chunk.constData(), size_t(chunk.size())) != chunk.size())
            return false;
    return ::close(fd) == 0;
}

void report(const char* what, int files, qint64 bytes, qint64 ms, qint64 longest, qint64 ticks)
{
    std::printf("%-44s %7d files %9.1f MiB %8lld ms %9.0f files/s %8.1f MiB/s  longest loop wait %4lld ms  "
                "(%lld ticks)\n",
                what, files, double(bytes) / (1 << 20), (long long)ms, ms ? files * 1000.0 / double(ms) : 0.0,
                ms ? double(bytes) / (1 << 20) * 1000.0 / double(ms) : 0.0, (long long)longest,
                (long long)ticks);
    std::fflush(stdout);
}

template <class Op> void timeOperation(const char* what, int files, qint64 bytes, Op op)
{
    LoopWatch watch;
    watch.start();
    QElapsedTimer clock;
    clock.start();
    op();
    const qint64 ms = clock.elapsed();
    const qint64 longest = watch.stop();
    report(what, files, bytes, ms, longest, watch.ticks());
}

// Runs mv with every source into folder and returns how long it took.
qint64 timeMv(const QList<QByteArray>& sources, const QByteArray& folder)
{
    QStringList args{QStringLiteral("-t"), QFile::decodeName(folder)};
    for (const QByteArray& source : sources)
        args.append(QFile::decodeName(source));
    QElapsedTimer clock;
    clock.start();
    QProcess mv;
    mv.start(QStringLiteral("mv"), args);
    mv.waitForFinished(-1);
    const qint64 ms = clock.elapsed();
    if (mv.exitCode() != 0)
        std::printf("mv failed: %s\n", mv.readAllStandardError().constData());
    return ms;
}

// Moves the checked rows of model into folder as the window does, and returns how long it took.
qint64 timeMove(ResultModel& model, const QByteArray& folder)
{
    Yielder yielder;
    QElapsedTimer clock;
    clock.start();
    MoveOperation move(folder);
    move.moveChecked(model.snapshot(), [&] { yielder(); });
    move.removeGoneRows(model);
    const qint64 ms = clock.elapsed();
    if (model.rowCount() != 0)
        std::printf("move left %d rows: %s\n", model.rowCount(), qPrintable(move.endMessage()));
    return ms;
}

void printAgainstMv(const char* what, const std::vector<qint64>& ours, const std::vector<qint64>& mv,
                    double target)
{
    std::vector<qint64> a = ours, b = mv;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    const qint64 oursMedian = a[a.size() / 2], mvMedian = b[b.size() / 2];
    std::printf(
        "%-44s move %6lld ms, mv %6lld ms (medians of %zu runs), ratio %.2f, target within %.1fx: %s\n", what,
        (long long)oursMedian, (long long)mvMedian, a.size(),
        mvMedian ? double(oursMedian) / double(mvMedian) : 0.0, target,
        double(oursMedian) <= target * double(mvMedian) ? "met" : "NOT MET");
    std::fflush(stdout);
}

// The same files moved by mv and by the move, in turns, to another file system.
void compareWithMv(const QByteArray& base, const QByteArray& other, int smallFiles, qint64 largeMiB, int runs)
{
    std::vector<qint64> ours, mv;
    // Both start from freshly written files, as a user's would be; the order alternates between runs, so
    // that neither always pays for the other's writeback.
    for (int run = 0; run < runs; ++run) {
        for (const bool byMv : {run % 2 == 0, run % 2 != 0}) {
            const QByteArray from = base + (byMv ? "/mv-small-src" : "/our-small-src");
            const QByteArray to = other + (byMv ? "/mv-small" : "/our-small");
            ::mkdir(from.constData(), 0755);
            ::mkdir(to.constData(), 0755);
            ResultModel model;
            makeFiles(from, smallFiles, model);
            if (byMv) {
                QList<QByteArray> sources;
                for (int r = 0; r < model.rowCount(); ++r)
                    sources.append(model.nativePath(r));
                mv.push_back(timeMv(sources, to));
            } else {
                ours.push_back(timeMove(model, to + '/'));
            }
            QDir(QFile::decodeName(to)).removeRecursively();
            QDir(QFile::decodeName(from)).removeRecursively();
        }
    }
    char what[80];
    std::snprintf(what, sizeof what, "%d small files to another file system", smallFiles);
    printAgainstMv(what, ours, mv, 2.0);
    if (largeMiB <= 0)
        return;
    ours.clear();
    mv.clear();
    for (int run = 0; run < runs; ++run) {
        for (const bool byMv : {run % 2 == 0, run % 2 != 0}) {
            const QByteArray large = base + "/compare-large.bin";
            if (!makeLargeFile(large, largeMiB))
                return;
            if (byMv) {
                mv.push_back(timeMv({large}, other));
            } else {
                ResultModel model;
                model.appendRow(std::string_view(large.constData(), size_t(large.size())), 17);
                model.setAllChecked(true);
                ours.push_back(timeMove(model, other + '/'));
            }
            ::unlink((other + "/compare-large.bin").constData());
            ::unlink(large.constData());
        }
    }
    std::snprintf(what, sizeof what, "one %lld MiB file to another file system", (long long)largeMiB);
    printAgainstMv(what, ours, mv, 1.2);
}

QByteArray otherFileSystemFolder(const QByteArray& than)
{
    struct stat a, b;
    if (::stat(than.constData(), &a) == 0 && ::stat("/dev/shm", &b) == 0 && a.st_dev != b.st_dev) {
        char pattern[] = "/dev/shm/lentrova-bench-XXXXXX";
        if (::mkdtemp(pattern))
            return pattern;
    }
    return {};
}
void benchTrashSameName(const QByteArray& base, int files, int rounds);
} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int smallFiles = argc > 1 ? std::atoi(argv[1]) : 5000;
    const qint64 largeMiB = argc > 2 ? std::atoll(argv[2]) : 1024;

    QTemporaryDir work;
    const QByteArray base = native(work.path());
    const QByteArray other = otherFileSystemFolder(base);
    std::printf("work folder %s, other file system %s\n", base.constData(),
                other.isEmpty() ? "(none)" : other.constData());

    {
        QDir().mkpath(work.path() + "/trash-src");
        ResultModel model;
        makeFiles(base + "/trash-src", smallFiles, model);
        Yielder yielder;
        timeOperation("trash, small files", smallFiles, 0, [&] {
            TrashOperation trash;
            trash.addChecked(model.snapshot());
            trash.run([&] { yielder(); });
            trash.removeGoneRows(model);
        });
    }
    benchTrashSameName(base, 3000, 3);
    {
        QDir().mkpath(work.path() + "/move-src");
        QDir().mkpath(work.path() + "/move-dst");
        ResultModel model;
        makeFiles(base + "/move-src", smallFiles, model);
        Yielder yielder;
        timeOperation("move, small files, same file system", smallFiles, 0, [&] {
            MoveOperation move(base + "/move-dst/");
            move.moveChecked(model.snapshot(), [&] { yielder(); });
            move.removeGoneRows(model);
        });
    }
    if (!other.isEmpty()) {
        QDir().mkpath(work.path() + "/copy-src");
        ResultModel model;
        makeFiles(base + "/copy-src", smallFiles, model);
        ::mkdir((other + "/small").constData(), 0755);
        Yielder yielder;
        timeOperation("move, small files, other file system", smallFiles, 0, [&] {
            MoveOperation move(other + "/small/");
            move.moveChecked(model.snapshot(), [&] { yielder(); });
            move.removeGoneRows(model);
        });
    }
    if (!other.isEmpty() && largeMiB > 0) {
        const QByteArray large = base + "/large.bin";
        if (makeLargeFile(large, largeMiB)) {
            ResultModel model;
            model.appendRow(std::string_view(large.constData(), size_t(large.size())), 9);
            model.setAllChecked(true);
            Yielder yielder;
            timeOperation("move, one large file, other file system", 1, largeMiB << 20, [&] {
                MoveOperation move(other + '/');
                move.moveChecked(model.snapshot(), [&] { yielder(); });
                move.removeGoneRows(model);
            });
            // And back: this copy is synced to the disk before its source goes.
            const QByteArray moved = other + "/large.bin";
            ResultModel back;
            back.appendRow(std::string_view(moved.constData(), size_t(moved.size())), 9);
            back.setAllChecked(true);
            ::mkdir((base + "/large-back").constData(), 0755);
            timeOperation("move, one large file, back, synced to disk", 1, largeMiB << 20, [&] {
                MoveOperation move(base + "/large-back/");
                move.moveChecked(back.snapshot(), [&] { yielder(); });
                move.removeGoneRows(back);
            });
        }
    }
    if (!other.isEmpty())
        compareWithMv(base, other, 2000, largeMiB, 5);
    {
        // The whole handler over a long list with few checked rows: the per-row cost of the guarded loop.
        const int rows = 1000000;
        const int checked = 1000;
        QDir().mkpath(work.path() + "/list-src");
        QDir().mkpath(work.path() + "/list-dst");
        AnswerDialogs dialogs;
        dialogs.folder = work.path() + "/list-dst";
        const std::unique_ptr<MainWindow> window = makeBenchWindow(dialogs, work.path());
        MainWindow& form = *window;
        ResultModel scratch;
        makeFiles(base + "/list-src", checked, scratch);
        ResultBatch batch;
        for (int r = 0; r < rows; ++r) {
            const QByteArray path = r % (rows / checked) == 0
                                        ? scratch.nativePath(r / (rows / checked))
                                        : base + "/list-src/not-checked-" + QByteArray::number(r);
            batch.add(std::string_view(path.constData(), size_t(path.size())), 12);
        }
        form.resultModel()->appendBatch(batch);
        std::vector<int> toCheck;
        for (int r = 0; r < rows; r += rows / checked)
            toCheck.push_back(r);
        form.resultModel()->setCheckedRows(toCheck, true);
        // Let the list lay out its rows first, as it would have long before a user clicks.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 500)
            QCoreApplication::processEvents();
        timeOperation("Move To Folder, 1,000,000 rows, 1,000 checked", checked, 0,
                      [&] { form.moveButton()->click(); });
        std::printf("rows left after the move: %d\n", form.resultModel()->rowCount());
    }
    if (!other.isEmpty()) {
        const QString otherPath = QFile::decodeName(other);
        QDir(otherPath).removeRecursively();
    }
    return 0;
}

namespace {
// Many files of one name (Thumbs.db in every folder) against as many distinct names, each into a trash of its
// own: the one name must not cost more per file as the trash fills with it. The best of a few rounds each.
void benchTrashSameName(const QByteArray& base, int files, int rounds)
{
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qint64 best[2] = {-1, -1};
    for (int round = 0; round < rounds; ++round) {
        for (int same = 0; same < 2; ++same) {
            const QByteArray root =
                base + "/names-" + QByteArray::number(round) + (same ? "-same" : "-distinct");
            QDir().mkpath(QFile::decodeName(root + "/data/Trash/files"));
            QDir().mkpath(QFile::decodeName(root + "/data/Trash/info"));
            qputenv("XDG_DATA_HOME", root + "/data");
            ResultModel model;
            ResultBatch batch;
            for (int i = 0; i < files; ++i) {
                const QByteArray folder = root + "/d" + QByteArray::number(i);
                ::mkdir(folder.constData(), 0755);
                const QByteArray path =
                    folder + (same ? QByteArray("/Thumbs.db") : "/Thumbs-" + QByteArray::number(i) + ".db");
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                (void)!::write(fd, "thumbs", 6);
                ::close(fd);
                batch.add(std::string_view(path.constData(), size_t(path.size())), 9);
            }
            model.appendBatch(batch);
            model.setAllChecked(true);
            Yielder yielder;
            qint64 ms = 0;
            const QByteArray what =
                QByteArray(same ? "trash, one name in every folder" : "trash, distinct names") + ", round " +
                QByteArray::number(round + 1);
            timeOperation(what.constData(), files, 0, [&] {
                QElapsedTimer clock;
                clock.start();
                TrashOperation trash;
                trash.addChecked(model.snapshot());
                trash.run([&] { yielder(); });
                trash.removeGoneRows(model);
                ms = clock.elapsed();
            });
            if (best[same] < 0 || ms < best[same])
                best[same] = ms;
        }
    }
    qputenv("XDG_DATA_HOME", oldData);
    std::printf("trash %d files: distinct names %lld ms, one name %lld ms (best of %d); one name / distinct "
                "names = %.2f (target at most 1.50)\n",
                files, (long long)best[0], (long long)best[1], rounds,
                best[0] > 0 ? double(best[1]) / double(best[0]) : 0.0);
    std::fflush(stdout);
}
} // namespace
