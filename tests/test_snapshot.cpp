// SPDX-License-Identifier: MIT
#include "platform/largealloc.h"
#include "results/resultmodel.h"
#include "support/testmain.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include <unistd.h>

namespace {
QString describe(const ResultSnapshot& s)
{
    QStringList rows;
    for (int r = 0; r < s.size(); ++r)
        rows << s.displayPath(r) + (s.isChecked(r) ? "+" : "");
    return rows.join(' ');
}

QString describe(const ResultModel& m)
{
    QStringList rows;
    for (int r = 0; r < m.rowCount(); ++r)
        rows << m.displayPath(r) + (m.isChecked(r) ? "+" : "");
    return rows.join(' ');
}

using Change = std::function<void(ResultModel&)>;
} // namespace

class TestSnapshot : public QObject
{
    Q_OBJECT

private slots:
    // A snapshot shares the rows with the list; whatever the list does afterwards, the snapshot keeps reading
    // the rows, paths and check marks it was taken with.
    void snapshotOutlivesChanges_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("listAfter");
        QTest::newRow("check one") << Change([](ResultModel& m) { m.setChecked(0, true); })
                                   << "/a+ /bb /ccc+";
        QTest::newRow("check all") << Change([](ResultModel& m) { m.setAllChecked(true); })
                                   << "/a+ /bb+ /ccc+";
        QTest::newRow("invert") << Change([](ResultModel& m) { m.invertChecks(); }) << "/a+ /bb+ /ccc";
        QTest::newRow("check rows") << Change([](ResultModel& m) {
            m.setCheckedRows({1, 2}, false);
        }) << "/a /bb /ccc";
        QTest::newRow("remove by position")
            << Change([](ResultModel& m) { m.removeRowsById({m.rowId(1)}); }) << "/a /ccc+";
        QTest::newRow("remove by id") << Change([](ResultModel& m) {
            m.removeRowsById({m.rowId(0), m.rowId(2)});
        }) << "/bb";
        QTest::newRow("append") << Change([](ResultModel& m) { m.appendRow("/dddd", 5); })
                                << "/a /bb /ccc+ /dddd";
        QTest::newRow("clear, then refill") << Change([](ResultModel& m) {
            m.clearRows();
            m.appendRow("/new", 3);
            m.setAllChecked(true);
        }) << "/new+";
    }
    void snapshotOutlivesChanges()
    {
        QFETCH(Change, change);
        QFETCH(QString, listAfter);
        ResultModel model;
        model.appendRow("/a", 1);
        model.appendRow("/bb", 2);
        model.appendRow("/ccc", 3);
        model.setChecked(2, true);
        const ResultSnapshot before = model.snapshot();
        const ResultSnapshot again = model.snapshot();
        change(model);
        QCOMPARE(describe(model), listAfter);
        QCOMPARE(describe(before), QStringLiteral("/a /bb /ccc+"));
        QCOMPARE(describe(again), QStringLiteral("/a /bb /ccc+"));
        QCOMPARE(before.measuredLength(2), quint16(3));
        // Ids stay the rows' identities in both.
        if (model.rowCount() > 0 && model.displayPath(0) == "/a")
            QCOMPARE(model.rowId(0), before.rowId(0));
    }

    // A list of millions hands back hundreds of megabytes when cleared, off the caller's thread: every big
    // block freed goes back to the system soon after, the first of them while the others wait.
    void bigBlocksGoBackToTheSystem()
    {
        startPageSupplier(); // as a result list does
        constexpr std::size_t Bytes = std::size_t(64) << 20;
        constexpr int Blocks = 4;
        const auto residentMiB = [] {
            QFile statm(QStringLiteral("/proc/self/statm"));
            if (!statm.open(QIODevice::ReadOnly))
                return -1.0;
            const QList<QByteArray> fields = statm.readAll().split(' ');
            return fields.size() > 1 ? fields[1].toDouble() * double(::getpagesize()) / (1 << 20) : -1.0;
        };
        std::vector<char*> blocks;
        for (int i = 0; i < Blocks; ++i) {
            blocks.push_back(static_cast<char*>(allocateLarge(Bytes)));
            std::memset(blocks.back(), 1, Bytes);
        }
        const double filled = residentMiB();
        QVERIFY(filled > Blocks * 64);
        for (char* p : blocks)
            freeLarge(p, Bytes);
        QTRY_VERIFY2(residentMiB() < filled - (Blocks - 1) * 64,
                     qPrintable(QStringLiteral("%1 MiB resident, %2 before").arg(residentMiB()).arg(filled)));
    }

    void manyBatchesKeepEveryRow()
    {
        ResultModel model;
        for (int b = 0; b < 50; ++b) {
            ResultBatch batch;
            for (int i = 0; i < 1000; ++i)
                batch.add("/f" + std::to_string(b * 1000 + i), quint16(i % 7));
            model.appendBatch(batch);
            if (b == 20)
                model.setChecked(20500, true);
        }
        QCOMPARE(model.rowCount(), 50000);
        QCOMPARE(model.displayPath(49999), QStringLiteral("/f49999"));
        QCOMPARE(model.measuredLength(12345), quint16(12345 % 1000 % 7));
        QVERIFY(model.isChecked(20500));
        QCOMPARE(model.checkedCount(), 1);
    }

    // The row table moves out of the heap into a block of its own (taken ahead) once it passes a few
    // megabytes, and a cleared list writes its paths into memory it had before; every row, and every
    // snapshot taken on the way (in the first filling), must read the same after either.
    void rowsSurviveTheMoveOutOfTheHeap_data()
    {
        QTest::addColumn<int>("snapshotAt");
        QTest::addColumn<bool>("refill");
        QTest::addColumn<int>("pathPadding");
        QTest::newRow("plain") << -1 << false << 0;
        QTest::newRow("snapshot just before the move") << 196608 << false << 0;
        QTest::newRow("snapshot when the block is taken") << 131072 << false << 0;
        QTest::newRow("cleared and filled again") << -1 << true << 0;
        QTest::newRow("paths over several chunks, filled again") << -1 << true << 40;
        QTest::newRow("paths over several chunks, snapshot, filled again") << 16384 << true << 40;
    }
    void rowsSurviveTheMoveOutOfTheHeap()
    {
        QFETCH(int, snapshotAt);
        QFETCH(bool, refill);
        QFETCH(int, pathPadding);
        constexpr int Rows = 400000;
        const std::string padding(std::size_t(pathPadding), 'p');
        // The second filling writes other paths, so that one written over the first shows.
        const auto path = [&](int i, int round = 0) {
            return "/" + padding + (round ? "s" : "r") + std::to_string(i);
        };
        ResultModel model;
        ResultSnapshot early;
        for (int round = 0; round < (refill ? 2 : 1); ++round) {
            model.clearRows();
            for (int first = 0; first < Rows; first += 8192) {
                if (first == snapshotAt && round == 0)
                    early = model.snapshot();
                ResultBatch batch;
                for (int i = first; i < std::min(Rows, first + 8192); ++i)
                    batch.add(path(i, round), quint16(i % 1000));
                model.appendBatch(batch);
            }
        }
        const int last = refill ? 1 : 0;
        QCOMPARE(model.rowCount(), Rows);
        for (int i = 0; i < Rows; i += 997) {
            QCOMPARE(model.nativePath(i), QByteArray::fromStdString(path(i, last)));
            QCOMPARE(model.measuredLength(i), quint16(i % 1000));
        }
        QCOMPARE(model.nativePath(Rows - 1), QByteArray::fromStdString(path(Rows - 1, last)));
        if (snapshotAt >= 0) {
            QCOMPARE(early.size(), snapshotAt);
            QCOMPARE(early.displayPath(0), QString::fromStdString(path(0)));
            QCOMPARE(early.displayPath(snapshotAt - 1), QString::fromStdString(path(snapshotAt - 1)));
            QCOMPARE(early.measuredLength(12345), quint16(345));
        }
    }
};

LENTROVA_TEST_MAIN(TestSnapshot)
#include "test_snapshot.moc"
