// SPDX-License-Identifier: MIT
#include "fileops/operationprogress.h"
#include "support/testmain.h"

class TestFileProgress : public QObject
{
    Q_OBJECT

private slots:
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
            progress.requestCancel();
        progress.finish();
        const QString line = cancellationLine(FileOperationKind(kind), progress.read());
        QCOMPARE(operationEndMessage(failures, line), message);
    }
};

LENTROVA_TEST_MAIN(TestFileProgress)
#include "test_fileprogress.moc"
