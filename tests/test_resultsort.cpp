// SPDX-License-Identifier: MIT
#include "results/resultsort.h"
#include "support/testmain.h"

#include <QItemSelectionModel>
#include <QSignalSpy>

namespace {
struct Row
{
    QByteArray path;
    quint16 length;
};

void fill(ResultModel& model, const QList<Row>& rows)
{
    for (const Row& r : rows)
        model.appendRow(std::string_view(r.path.constData(), std::size_t(r.path.size())), r.length);
}

QStringList paths(const ResultModel& model)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
        out << model.displayPath(r);
    return out;
}

QList<Row> rowsOf(const QStringList& paths)
{
    QList<Row> rows;
    for (const QString& p : paths) {
        const QByteArray bytes = p.toUtf8();
        rows.append({bytes, quint16(QString::fromUtf8(bytes.mid(bytes.lastIndexOf('/') + 1)).size())});
    }
    return rows;
}
} // namespace

class TestResultSort : public QObject
{
    Q_OBJECT

private slots:
    void order_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("expected");
        const QStringList numbered{"/d/file10.txt", "/d/file2.txt", "/d/File1.txt", "/d/file2.txt"};
        QTest::newRow("numbers by value")
            << numbered << 0 << int(Qt::AscendingOrder)
            << QStringList{"/d/File1.txt", "/d/file2.txt", "/d/file2.txt", "/d/file10.txt"};
        QTest::newRow("descending") << numbered << 0 << int(Qt::DescendingOrder)
                                    << QStringList{"/d/file10.txt", "/d/file2.txt", "/d/file2.txt",
                                                   "/d/File1.txt"};
        QTest::newRow("accents sort with their letter")
            << QStringList{"/d/zèbre", "/d/été", "/d/eau", "/d/fils", "/d/Été"} << 0
            << int(Qt::AscendingOrder) << QStringList{"/d/eau", "/d/été", "/d/Été", "/d/fils", "/d/zèbre"};
        // A folder's own files come together: "/a b/" is another folder than "/a/".
        QTest::newRow("folder by folder")
            << QStringList{"/a b/x", "/a/z", "/a/sub/y", "/a10/w", "/a9/v"} << 0 << int(Qt::AscendingOrder)
            << QStringList{"/a/z", "/a/sub/y", "/a b/x", "/a9/v", "/a10/w"};
        const QStringList lengths{"/q/bb", "/p/ccc", "/p/aa", "/z/a", "/b/bb"};
        QTest::newRow("length, ties by path") << lengths << 1 << int(Qt::AscendingOrder)
                                              << QStringList{"/z/a", "/b/bb", "/p/aa", "/q/bb", "/p/ccc"};
        QTest::newRow("length descending") << lengths << 1 << int(Qt::DescendingOrder)
                                           << QStringList{"/p/ccc", "/q/bb", "/p/aa", "/b/bb", "/z/a"};
        QTest::newRow("emoji counts two") << QStringList{"/e/😀", "/e/abc", "/e/a"} << 1
                                          << int(Qt::AscendingOrder) << QStringList{"/e/a", "/e/😀", "/e/abc"};
    }
    void order()
    {
        QFETCH(QStringList, list);
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QStringList, expected);
        ResultModel model;
        fill(model, rowsOf(list));
        model.sort(column, Qt::SortOrder(order));
        QCOMPARE(paths(model), expected);
    }

    // Names that are not UTF-8 sort as displayed, and every row still reaches its own bytes.
    void notUtf8KeepsBytes()
    {
        ResultModel model;
        fill(model, {{"/d/b\xff", 2}, {"/d/a", 1}, {"/d/b\xfe", 2}});
        model.sort(0, Qt::AscendingOrder);
        QCOMPARE(model.nativePath(0), QByteArray("/d/a"));
        // The two names read the same (b and U+FFFD): they keep their list order.
        QCOMPARE(model.nativePath(1), QByteArray("/d/b\xff"));
        QCOMPARE(model.nativePath(2), QByteArray("/d/b\xfe"));
    }

    // Check marks, ids and the selection go with their rows; removal by id reaches the right rows afterwards.
    void rowsTravelWhole()
    {
        ResultModel model;
        fill(model, rowsOf({"/d/c", "/d/a", "/d/b", "/d/d"}));
        model.setChecked(0, true); // c
        const quint64 idOfC = model.rowId(0), idOfB = model.rowId(2), idOfD = model.rowId(3);
        QItemSelectionModel selection(&model);
        selection.select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows); // b
        selection.setCurrentIndex(model.index(3, 0), QItemSelectionModel::NoUpdate);                  // d

        model.sort(0, Qt::AscendingOrder);
        QCOMPARE(paths(model), (QStringList{"/d/a", "/d/b", "/d/c", "/d/d"}));
        QVERIFY(model.isChecked(2));
        QCOMPARE(model.checkedCount(), 1);
        QCOMPARE(model.rowId(2), idOfC);
        QCOMPARE(selection.selectedRows().size(), 1);
        QCOMPARE(model.rowId(selection.selectedRows().first().row()), idOfB);
        QCOMPARE(model.rowId(selection.currentIndex().row()), idOfD);

        // Ids given in list order, which is no longer id order.
        QCOMPARE(model.removeRowsById({idOfD, idOfC}), 2);
        QCOMPARE(paths(model), (QStringList{"/d/a", "/d/b"}));
        QCOMPARE(model.snapshot().displayPath(1), QStringLiteral("/d/b"));
    }

    // After a target check the second column holds problems: it sorts by their text, numbers by value, and
    // rows with one text by path; a plain search's list sorts that column by length.
    void secondColumnSortsByWhatItShows_data()
    {
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("ascending") << Qt::AscendingOrder
                                   << QStringList{"/d/z", "/d/b", "/d/c", "/d/a", "/e/a"};
        QTest::newRow("descending") << Qt::DescendingOrder
                                    << QStringList{"/e/a", "/d/a", "/d/c", "/d/b", "/d/z"};
    }

    void secondColumnSortsByWhatItShows()
    {
        QFETCH(Qt::SortOrder, order);
        QFETCH(QStringList, expected);
        ResultBatch batch;
        // Lengths that would order them otherwise.
        batch.add("/d/a", 1, QStringLiteral("path 1000 characters at the target, limit 260"));
        batch.add("/e/a", 2, QStringLiteral("path 1000 characters at the target, limit 260"));
        batch.add("/d/c", 3, QStringLiteral("path 262 characters at the target, limit 260"));
        batch.add("/d/b", 4, QStringLiteral("ends with a space"));
        batch.add("/d/z", 5, QStringLiteral("\":\" at 2"));
        ResultModel model;
        model.setProblemColumn(true);
        model.appendBatch(batch);
        model.sort(1, order);
        QCOMPARE(paths(model), expected);

        model.setProblemColumn(false);
        model.sort(1, Qt::AscendingOrder);
        QCOMPARE(paths(model), (QStringList{"/d/a", "/e/a", "/d/c", "/d/b", "/d/z"}));
    }

    // An order worked out before the list changed is refused: it would put other rows in other places.
    void staleOrderRefused()
    {
        ResultModel model;
        fill(model, rowsOf({"/d/b", "/d/a"}));
        const ResultSnapshot before = model.snapshot();
        const std::vector<quint32> order = sortedOrder(before, SortKey::Path, Qt::AscendingOrder);
        model.appendRow("/d/0", 1);
        QVERIFY(!model.applyOrder(order, before.generation()));
        QVERIFY(!model.applyOrder({0, 0, 1}, model.layoutGeneration()));
        QCOMPARE(paths(model), (QStringList{"/d/b", "/d/a", "/d/0"}));
    }

    // A check mark set while the order was worked out stays on its row.
    void checksMadeMeanwhileKept()
    {
        ResultModel model;
        fill(model, rowsOf({"/d/b", "/d/c", "/d/a"}));
        const ResultSnapshot rows = model.snapshot();
        PreparedOrder prepared =
            ResultModel::prepareOrder(rows, sortedOrder(rows, SortKey::Path, Qt::AscendingOrder));
        model.setChecked(1, true); // c
        QVERIFY(model.applyOrder(std::move(prepared)));
        QCOMPARE(paths(model), (QStringList{"/d/a", "/d/b", "/d/c"}));
        QVERIFY(model.isChecked(2));
        QCOMPARE(model.checkedCount(), 1);
        QVERIFY(!rows.isChecked(1)); // the snapshot kept what it saw
    }

    // The sorter works on its own thread and swaps on this one; requests during a search are ignored.
    void sorterSwapsAndHonoursSearch()
    {
        ResultModel model;
        fill(model, rowsOf({"/d/x3", "/d/x1", "/d/x20", "/d/x2"}));
        ResultSorter sorter(model);
        QSignalSpy sorted(&sorter, &ResultSorter::sorted);
        QVERIFY(sorter.sort(0, Qt::DescendingOrder));
        QVERIFY(sorted.wait(10000));
        QCOMPARE(paths(model), (QStringList{"/d/x20", "/d/x3", "/d/x2", "/d/x1"}));
        QCOMPARE(sorted.first().at(0).toInt(), 0);

        sorter.setWalkRunning(true);
        QVERIFY(!sorter.sort(1, Qt::AscendingOrder));
        QVERIFY(!sorter.isSorting());
        sorter.setWalkRunning(false);

        // A search starting while the order is worked out: the walk's order stands.
        QSignalSpy dropped(&sorter, &ResultSorter::sortDropped);
        QVERIFY(sorter.sort(0, Qt::AscendingOrder));
        sorter.setWalkRunning(true);
        QCOMPARE(dropped.size(), 1);
        QTest::qWait(200);
        QCOMPARE(paths(model), (QStringList{"/d/x20", "/d/x3", "/d/x2", "/d/x1"}));
        QCOMPARE(sorted.size(), 1);
        sorter.setWalkRunning(false);

        // A removal while the order is worked out: the sorter sorts what the list then holds.
        QVERIFY(sorter.sort(0, Qt::AscendingOrder));
        model.removeRowsById({model.rowId(0)});
        QVERIFY(sorted.wait(10000));
        QCOMPARE(paths(model), (QStringList{"/d/x1", "/d/x2", "/d/x3"}));
    }
};

LENTROVA_TEST_MAIN(TestResultSort)
#include "test_resultsort.moc"
