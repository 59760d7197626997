// SPDX-License-Identifier: MIT
#include "fileops/operationprogress.h"
#include "services/apptitle.h"
#include "support/filetree.h"
#include "support/testmain.h"
#include "ui/fileprogresswindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

#include <semaphore>
#include <thread>

namespace {
constexpr qint64 FileSize = 1000000;
constexpr qint64 Chunk = 100000;
const QByteArray LongName = "second-" + QByteArray(180, 'x') + "-end.bin";

// Moves files by copying them in chunks on a thread of its own and reporting as a move across file systems
// does: it polls the cancel request between files and between chunks, and drops a file it is copying then.
// It can be held at one point: before file f begins (chunk -1) or before its chunk c.
struct CopyWorker
{
    FileOperationProgress& progress;
    const QList<QByteArray>& sources;
    const QList<QByteArray>& targets;
    std::pair<int, int> holdAt{-2, -2};
    std::binary_semaphore reached{0};
    std::binary_semaphore resume{0};
    std::thread thread;

    CopyWorker(FileOperationProgress& p, const QList<QByteArray>& from, const QList<QByteArray>& to)
        : progress(p), sources(from), targets(to)
    {
    }
    ~CopyWorker() { join(); }
    void start()
    {
        thread = std::thread([this] { run(); });
    }
    void join()
    {
        if (thread.joinable())
            thread.join();
    }
    bool cancelledAt(int file, int chunk)
    {
        if (holdAt == std::pair{file, chunk}) {
            reached.release();
            resume.acquire();
        }
        return progress.stopRequested();
    }
    void run()
    {
        for (int f = 0; f < sources.size() && !cancelledAt(f, -1); ++f) {
            progress.beginFile(sources.at(f));
            QFile in(QFile::decodeName(sources.at(f)));
            QFile out(QFile::decodeName(targets.at(f)));
            if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
                progress.finishFile(false);
                continue;
            }
            progress.beginCopy(in.size());
            for (int c = 0; !in.atEnd(); ++c) {
                if (cancelledAt(f, c)) {
                    out.remove();
                    progress.abandonFile();
                    return;
                }
                const QByteArray bytes = in.read(Chunk);
                out.write(bytes);
                progress.addCopied(bytes.size());
            }
            out.close();
            progress.finishFile(in.remove());
        }
    }
};

// Three files of FileSize bytes to move from one folder to another, a main window, and a clock the test sets.
struct MoveFixture
{
    ScratchDir from;
    ScratchDir to;
    QByteArray content = QByteArray(FileSize, 'a');
    QList<QByteArray> sources;
    QList<QByteArray> targets;
    qint64 now = 0;
    FileOperationProgress progress{[this] { return now; }};
    QWidget mainWindow;
    QPushButton* mainButton = new QPushButton(QStringLiteral("Clear"), &mainWindow);
    FileProgressWindow window{&mainWindow, progress,
                              operationTitle(FileOperationKind::Move, QFile::decodeName(to.path()))};
    CopyWorker worker{progress, sources, targets};

    MoveFixture()
    {
        for (const QByteArray& name : {QByteArray("first.bin"), LongName, QByteArray("third.bin")}) {
            sources.append(from.path() + '/' + name);
            targets.append(to.path() + '/' + name);
            FileTree::write(sources.last(), content);
        }
        // Painting runs on Qt's own thread pool, whose hand-offs ThreadSanitizer cannot see; these tests
        // read texts and states, not pixels.
        window.setUpdatesEnabled(false);
        mainWindow.show();
        progress.start(int(sources.size()), 3 * FileSize);
    }
    QString text(const char* label) const { return window.findChild<QLabel*>(label)->text(); }
    QPushButton* cancelButton() const { return window.findChild<QPushButton*>("cancelButton"); }
    bool moved(int i) const { return !FileTree::exists(sources[i]) && FileTree::read(targets[i]) == content; }
    bool untouched(int i) const
    {
        return FileTree::read(sources[i]) == content && !FileTree::exists(targets[i]);
    }
};

class ShowCounter : public QObject
{
public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        shows += event->type() == QEvent::Show;
        return false;
    }
};
} // namespace

class TestFileProgress : public QObject
{
    Q_OBJECT

private slots:
    void windowShowsTheWorkersProgress()
    {
        MoveFixture f;
        f.worker.holdAt = std::pair(1, 5);
        f.worker.start();
        f.worker.reached.acquire();
        f.now = 1000;
        f.window.poll();

        QVERIFY(f.window.isVisible());
        QCOMPARE(f.window.windowTitle(), applicationTitle());
        QCOMPARE(f.window.parentWidget(), &f.mainWindow);
        // Modal to the main window: its input is held (its close is not: the real-window test closes it).
        QSignalSpy clicks(f.mainButton, &QPushButton::clicked);
        QTest::mouseClick(f.mainButton, Qt::LeftButton);
        QTest::keyClick(f.mainButton, Qt::Key_Space);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(f.text("operationLabel"), QStringLiteral("Moving to ") + f.to.qpath());
        QCOMPARE(f.text("countLabel"), QStringLiteral("2 of 3 files"));
        QCOMPARE(f.text("bytesLabel"), QStringLiteral("1.5 MB of 3.0 MB copied, 1.5 MB/s"));
        QCOMPARE(f.window.findChild<QProgressBar*>("progressBar")->value(), 500);
        const QString shown = f.text("fileLabel");
        QVERIFY2(shown.size() < LongName.size() && shown.contains(QChar(0x2026)), qPrintable(shown));
        QVERIFY(shown.startsWith("second-xxx") && shown.endsWith("xxx-end.bin"));

        f.worker.resume.release();
        f.worker.join();
        f.progress.finish();
        f.window.poll();
        QVERIFY(!f.window.isVisible());
        QTest::mouseClick(f.mainButton, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QVERIFY(f.moved(0) && f.moved(1) && f.moved(2));
        QCOMPARE(cancellationLine(FileOperationKind::Move, f.progress.read()), QString());
    }

    void cancelStopsAfterTheFileInHand_data()
    {
        QTest::addColumn<int>("holdChunk");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("movedFiles");
        QTest::addColumn<QString>("message");
        const QString two = QStringLiteral("2 of 3 files were moved; the rest were cancelled.");
        const QString one = QStringLiteral("1 of 3 files was moved; the rest were cancelled.");
        QTest::newRow("Cancel between files") << -1 << "button" << 2 << two;
        QTest::newRow("Cancel during a copy") << 5 << "button" << 1 << one;
        QTest::newRow("window closed during a copy") << 5 << "close" << 1 << one;
        QTest::newRow("Escape during a copy") << 5 << "escape" << 1 << one;
    }
    void cancelStopsAfterTheFileInHand()
    {
        QFETCH(int, holdChunk);
        QFETCH(QString, how);
        QFETCH(int, movedFiles);
        QFETCH(QString, message);
        MoveFixture f;
        const int heldFile = holdChunk < 0 ? 2 : 1;
        f.worker.holdAt = std::pair(heldFile, holdChunk);
        f.worker.start();
        f.worker.reached.acquire();
        f.now = 600;
        f.window.poll();
        QVERIFY(f.window.isVisible());

        if (how == "button")
            QTest::mouseClick(f.cancelButton(), Qt::LeftButton);
        else if (how == "close")
            f.window.close();
        else
            QTest::keyClick(&f.window, Qt::Key_Escape);
        QVERIFY(f.progress.stopRequested());
        QVERIFY(f.window.isVisible()); // until the file in hand is dealt with
        QVERIFY(!f.cancelButton()->isEnabled());

        f.worker.resume.release();
        f.worker.join();
        f.progress.finish();
        f.window.poll();
        QVERIFY(!f.window.isVisible());
        for (int i = 0; i < 3; ++i)
            QVERIFY2(i < movedFiles ? f.moved(i) : f.untouched(i), qPrintable(QString::number(i)));
        const FileOperationSnapshot end = f.progress.read();
        QCOMPARE(end.filesSucceeded, movedFiles);
        QCOMPARE(cancellationLine(FileOperationKind::Move, end), message);
    }

    void quickOperationShowsNoWindow()
    {
        MoveFixture f;
        ShowCounter counter;
        f.window.installEventFilter(&counter);
        f.worker.start();
        f.window.poll();
        f.now = 400;
        f.worker.join();
        f.window.poll();
        f.progress.finish();
        f.now = 800;
        f.window.poll();
        QCOMPARE(counter.shows, 0);
        QVERIFY(f.moved(0) && f.moved(1) && f.moved(2));
    }

    void slowOperationAppearsAfterTheDelay()
    {
        MoveFixture f;
        f.worker.holdAt = std::pair(0, 0);
        f.worker.start();
        f.worker.reached.acquire();
        f.now = FileProgressWindow::ShowAfterMs - 1;
        QTest::qWait(3 * FileProgressWindow::PollMs);
        QVERIFY(!f.window.isVisible());
        f.now = FileProgressWindow::ShowAfterMs;
        QTRY_VERIFY(f.window.isVisible());
        QCOMPARE(f.text("countLabel"), QStringLiteral("1 of 3 files"));
        f.worker.resume.release();
        f.worker.join();
        f.progress.finish();
        QTRY_VERIFY(!f.window.isVisible());
    }

    void trashShowsFilesWithoutBytes()
    {
        qint64 now = 0;
        FileOperationProgress progress([&] { return now; });
        QWidget mainWindow;
        mainWindow.show();
        FileProgressWindow window(&mainWindow, progress, operationTitle(FileOperationKind::Trash));
        progress.start(2);
        progress.beginFile("/home/u/a.txt");
        now = 700;
        window.poll();
        QVERIFY(window.isVisible());
        QCOMPARE(window.findChild<QLabel*>("operationLabel")->text(), QStringLiteral("Sending to the trash"));
        QCOMPARE(window.findChild<QLabel*>("fileLabel")->text(), QStringLiteral("a.txt"));
        QVERIFY(!window.findChild<QLabel*>("bytesLabel")->isVisibleTo(&window));
        progress.finishFile(true);
        window.poll();
        QCOMPARE(window.findChild<QLabel*>("countLabel")->text(), QStringLiteral("1 of 2 files"));
        QCOMPARE(window.findChild<QProgressBar*>("progressBar")->value(), 500);
    }

    void rateIsMeasuredOverTheLastSeconds()
    {
        qint64 now = 0;
        FileOperationProgress progress([&] { return now; });
        progress.start(1);
        progress.beginFile("/a/b");
        progress.beginCopy(100000000);
        for (now = 100; now <= 3000; now += 100) {
            progress.addCopied(100000);
            QCOMPARE(progress.read().bytesPerSecond, now < 500 ? -1.0 : 1e6); // too soon to tell, at first
        }
        double rate = 0;
        for (; now <= 6000; now += 100) {
            progress.addCopied(200000);
            rate = progress.read().bytesPerSecond;
        }
        QCOMPARE(rate, 2e6); // the slower start has left the window
        for (; now <= 9000; now += 100)
            rate = progress.read().bytesPerSecond;
        QCOMPARE(rate, 0.0); // a stall shows
    }

    void endMessage_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("finished");
        QTest::addColumn<int>("succeeded");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("failures");
        QTest::addColumn<QString>("message");
        const int move = int(FileOperationKind::Move);
        const int trash = int(FileOperationKind::Trash);
        const QString failed = QStringLiteral("These files were not moved:\n/a/x (busy)");
        QTest::newRow("all moved") << move << 40 << 40 << false << QString() << QString();
        QTest::newRow("cancelled after the last file") << move << 40 << 40 << true << QString() << QString();
        QTest::newRow("cancelled") << move << 12 << 12 << true << QString()
                                   << "12 of 40 files were moved; the rest were cancelled.";
        QTest::newRow("trash cancelled") << trash << 12 << 12 << true << QString()
                                         << "12 of 40 files were sent to the trash; the rest were cancelled.";
        QTest::newRow("cancelled at once") << trash << 0 << 0 << true << QString()
                                           << "No file was sent to the trash; the operation was cancelled.";
        QTest::newRow("failures only") << move << 40 << 39 << false << failed << failed;
        QTest::newRow("failures and cancel")
            << move << 14 << 13 << true << failed
            << failed + "\n\n13 of 40 files were moved; the last 26 were cancelled.";
        QTest::newRow("one left") << move << 39 << 38 << true << failed
                                  << failed + "\n\n38 of 40 files were moved; the last file was cancelled.";
    }
    void endMessage()
    {
        QFETCH(int, kind);
        QFETCH(int, finished);
        QFETCH(int, succeeded);
        QFETCH(bool, cancel);
        QFETCH(QString, failures);
        QFETCH(QString, message);
        FileOperationProgress progress;
        progress.start(40);
        for (int i = 0; i < finished; ++i)
            progress.finishFile(i < succeeded);
        if (cancel)
            progress.requestStop();
        progress.finish();
        const QString line = cancellationLine(FileOperationKind(kind), progress.read());
        QCOMPARE(operationEndMessage(failures, line), message);
    }
};

LENTROVA_TEST_MAIN(TestFileProgress)
#include "test_fileprogress.moc"
