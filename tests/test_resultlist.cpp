// SPDX-License-Identifier: MIT
#include "app/searchrun.h"
#include "results/resultsort.h"
#include "support/paintedtext.h"
#include "support/testform.h"
#include "support/testmain.h"
#include "support/xdgopenstub.h"
#include "ui/resultlistchecking.h"

#include "ui/resultlistview.h"
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QThread>
#include <QTimer>
#include <atomic>

#include <QTreeView>
#include <QUrl>

namespace {
QString checks(const ResultModel& model)
{
    QString s;
    for (int r = 0; r < model.rowCount(); ++r)
        s += model.isChecked(r) ? 'x' : '.';
    return s;
}

void fill(ResultModel& model, int rows)
{
    ResultBatch batch;
    for (int i = 0; i < rows; ++i)
        batch.add("/r/" + std::to_string(i), 1);
    model.appendBatch(batch);
}

void select(QAbstractItemView* view, std::initializer_list<int> rows, int current)
{
    QItemSelection selection;
    for (int r : rows)
        selection.select(view->model()->index(r, 0), view->model()->index(r, 1));
    view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    view->selectionModel()->setCurrentIndex(view->model()->index(current, 0), QItemSelectionModel::NoUpdate);
}

QAction* action(QAbstractItemView* view, const QString& text)
{
    for (QAction* a : view->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}
} // namespace

class TestResultList : public QObject
{
    Q_OBJECT

private slots:
    // Rows added faster than the list lays itself out all become reachable: the layout put off while they
    // came is done once they stop. With and without rows there before.
    void rowsAddedInABurstAllShow_data()
    {
        QTest::addColumn<int>("before");
        QTest::newRow("empty list") << 0;
        QTest::newRow("rows there") << 500;
    }
    void rowsAddedInABurstAllShow()
    {
        QFETCH(int, before);
        TestForm form;
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.form.get()));
        ResultModel& rows = form.results();
        ResultListView& list = *form->resultList();
        const auto addRows = [&](int count) {
            for (int i = 0; i < count; ++i) {
                rows.appendRow("/burst/file " + std::to_string(rows.rowCount()), 12);
                QCoreApplication::processEvents();
            }
        };
        addRows(before);
        QTest::qWait(200);
        addRows(300);
        const QModelIndex last = rows.index(rows.rowCount() - 1, 0);
        QTRY_VERIFY([&] {
            list.scrollTo(last);
            return list.viewport()->rect().contains(list.visualRect(last));
        }());
    }

    // A path wider than its column loses its middle: the file name the user looks for stays in view, and the
    // tooltip holds the whole path.
    void longPathKeepsItsFileName()
    {
        TestForm form;
        const QString folders = QStringLiteral("/home/someone/Documents/Projects/an-archive-of-many-years");
        const QString path = folders + QStringLiteral("/holiday-in-the-mountains.jpeg");
        ResultBatch batch;
        batch.add(path.toStdString(), 30);
        form.results().appendBatch(batch);
        form->resultList()->resize(600, 200);
        form->resultList()->setColumnWidth(
            0, QFontMetrics(form->resultList()->font()).horizontalAdvance(path) / 2);
        const QStringList painted = PaintedText::of(form->resultList()->viewport());
        QString shown;
        for (const QString& text : painted)
            if (text.contains(u'\u2026'))
                shown = text;
        QVERIFY2(shown.endsWith(QStringLiteral("mountains.jpeg")), qPrintable(painted.join(" | ")));
        QVERIFY(shown.startsWith(QStringLiteral("/home")));
        QCOMPARE(form.results().index(0, 0).data(Qt::ToolTipRole).toString(), path);
    }

    void openHandsTheSelectedFileToXdgOpen()
    {
        XdgOpenStub stub;
        TestForm form;
        QTemporaryDir tree;
        const QString wanted =
            makeFile(tree.path(), QString::fromUtf8("My Files/na\xC3\xAFve, draft #2.txt"));
        addResult(form.results(), makeFile(tree.path(), "a.txt"));
        addResult(form.results(), wanted);
        addResult(form.results(), makeFile(tree.path(), "c.txt"));
        form.results().setChecked(0, true); // checks play no part
        form.results().setChecked(2, true);
        select(form->resultList(), {1}, 1);
        form->openFileButton()->click();
        QTRY_COMPARE(stub.launches().size(), 1);
        const QString url = stub.launches().first();
        QVERIFY2(url.startsWith("file:///") && !url.contains(' ') && !url.contains('#'), qPrintable(url));
        QCOMPARE(QUrl(url).toLocalFile(), wanted);
        QVERIFY(form.dialogs.messages.isEmpty());
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    void openReachesNamesThatAreNotUtf8()
    {
        XdgOpenStub stub;
        TestForm form;
        form.results().appendRow("/tmp/bad\xFFname.txt", 12);
        select(form->resultList(), {0}, 0);
        form->openFileButton()->click();
        QTRY_COMPARE(stub.launches().size(), 1);
        QCOMPARE(QUrl(stub.launches().first()).path(QUrl::FullyEncoded),
                 QStringLiteral("/tmp/bad%FFname.txt"));
    }

    void emptyListOpensNothing()
    {
        XdgOpenStub stub;
        TestForm form;
        form->openFileButton()->click();
        form->revealButton()->click();
        QTest::qWait(300);
        QVERIFY(stub.launches().isEmpty());
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    void noSelectedRowIsAnError_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("open") << "PushButton5_Click";
        QTest::newRow("reveal") << "PushButton13_Click";
    }
    void noSelectedRowIsAnError()
    {
        QFETCH(QString, button);
        XdgOpenStub stub;
        TestForm form;
        form.results().appendRow("/tmp/a.txt", 5);
        form.results().setAllChecked(true);
        // A current row that is not selected does not count.
        form->resultList()->selectionModel()->setCurrentIndex(form.results().index(0, 0),
                                                              QItemSelectionModel::NoUpdate);
        (button == "PushButton5_Click" ? form->openFileButton() : form->revealButton())->click();
        const QStringList boxes = form.dialogs.errorTexts();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].contains("\r\nin Zimbrel2021/08/31.Form1." + button + " at line 108\r\r"),
                 qPrintable(boxes[0]));
        QCOMPARE(form.dialogs.messages[0].style, 48);
        QTest::qWait(300);
        QVERIFY(stub.launches().isEmpty());
    }

    void selectedRowIsTheCurrentOneWhenSelected()
    {
        TestForm form;
        fill(form.results(), 6);
        select(form->resultList(), {1, 3, 4}, 3);
        QCOMPARE(selectedResultRow(form->resultList()), 3);
        select(form->resultList(), {4, 2}, 0);
        QCOMPARE(selectedResultRow(form->resultList()), 2);
    }

    void clearAsksNothing()
    {
        TestForm form;
        fill(form.results(), 5);
        form.results().setAllChecked(true);
        form->progressBar()->setValue(40);
        form->progressBar()->setFormat("Writing file: x.txt");
        form->clearResultsButton()->click();
        QCOMPARE(form.results().rowCount(), 0);
        QVERIFY(form.dialogs.messages.isEmpty());
        QCOMPARE(form->progressBar()->value(), 40);
        QCOMPARE(form->progressBar()->format(), QStringLiteral("Writing file: x.txt"));
        QCOMPARE(form.results().headerData(0, Qt::Horizontal).toString(), QStringLiteral("Filename(s)"));
        form->clearResultsButton()->click(); // on an empty list: nothing, silently
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    void checkMenu_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("after");
        // Before: rows 0 and 3 checked; rows 1, 3 and 4 selected.
        QTest::newRow("Check All") << "Check All"
                                   << "xxxxxx";
        QTest::newRow("Uncheck All") << "Uncheck All"
                                     << "......";
        QTest::newRow("Check Selected") << "Check Selected"
                                        << "xx.xx.";
        QTest::newRow("Uncheck Selected") << "Uncheck Selected"
                                          << "x.....";
        QTest::newRow("Invert Checks") << "Invert Checks"
                                       << ".xx.xx";
    }
    void checkMenu()
    {
        QFETCH(QString, item);
        QFETCH(QString, after);
        TestForm form;
        QCOMPARE(form->resultList()->contextMenuPolicy(), Qt::ActionsContextMenu);
        QStringList texts;
        for (QAction* a : form->resultList()->actions())
            texts << a->text();
        QCOMPARE(texts, (QStringList{"Check All", "Uncheck All", "Check Selected", "Uncheck Selected",
                                     "Invert Checks", "", QString::fromUtf8("Check For A Target\u2026"), "",
                                     QString::fromUtf8("Shorten Checked Names\u2026"),
                                     QString::fromUtf8("Fix Checked Names For Target\u2026"),
                                     "Undo Last Renaming"}));
        fill(form.results(), 6);
        form.results().setChecked(0, true);
        form.results().setChecked(3, true);
        select(form->resultList(), {1, 3, 4}, 1);
        QSignalSpy changed(&form.results(), &QAbstractItemModel::dataChanged);
        action(form->resultList(), item)->trigger();
        QCOMPARE(checks(form.results()), after);
        QCOMPARE(changed.size(), 1);
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    void keys()
    {
        TestForm form;
        fill(form.results(), 5);
        form.results().setChecked(2, true);
        QTest::keyClick(form->resultList(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(form->resultList()->selectionModel()->selectedRows().size(), 5);

        // Space gives every selected row the opposite of the current row's state.
        select(form->resultList(), {0, 2, 3}, 0);
        QSignalSpy changed(&form.results(), &QAbstractItemModel::dataChanged);
        QTest::keyClick(form->resultList(), Qt::Key_Space);
        QCOMPARE(checks(form.results()), QStringLiteral("x.xx."));
        QCOMPARE(changed.size(), 1);
        QTest::keyClick(form->resultList(), Qt::Key_Space);
        QCOMPARE(checks(form.results()), QStringLiteral("....."));
        select(form->resultList(), {1, 4}, 2); // the current row is not selected: the first selected leads
        QTest::keyClick(form->resultList(), Qt::Key_Space);
        QCOMPARE(checks(form.results()), QStringLiteral(".x..x"));

        // Nothing selected: Space changes nothing.
        form->resultList()->selectionModel()->clearSelection();
        QTest::keyClick(form->resultList(), Qt::Key_Space);
        QCOMPARE(checks(form.results()), QStringLiteral(".x..x"));
    }

    // Header clicks sort the list itself: ties keep their list order either way, names compare as a person
    // reads them (accents, case, numbers), and check marks and the selection go with their rows.
    void headerClicksSort_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QList<int>>("order"); // the rows, by their place before sorting
        QTest::addColumn<int>("column");
        QTest::addColumn<Qt::SortOrder>("direction");
        QTest::newRow("Length") << QList<int>{1} << QList<int>{2, 4, 3, 6, 1, 5, 0} << 1
                                << Qt::AscendingOrder;
        QTest::newRow("Length twice")
            << QList<int>{1, 1} << QList<int>{0, 1, 5, 6, 3, 4, 2} << 1 << Qt::DescendingOrder;
        QTest::newRow("Filename(s)") << QList<int>{0} << QList<int>{4, 2, 3, 6, 1, 5, 0} << 0
                                     << Qt::AscendingOrder;
        QTest::newRow("Filename(s) twice")
            << QList<int>{0, 0} << QList<int>{0, 1, 5, 6, 3, 2, 4} << 0 << Qt::DescendingOrder;
        QTest::newRow("Length then Filename(s)")
            << QList<int>{1, 0} << QList<int>{4, 2, 3, 6, 1, 5, 0} << 0 << Qt::AscendingOrder;
    }
    void headerClicksSort()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QList<int>, order);
        QFETCH(int, column);
        QFETCH(Qt::SortOrder, direction);
        TestForm form;
        const QStringList paths{"/t/b/file10.txt",
                                "/t/b/file2.txt",
                                "/t/a/zeta.txt",
                                "/t/a/Zoe12.txt",
                                QString::fromUtf8("/t/a/\xC3\x89mile.txt"),
                                "/t/b/file2.txt",
                                "/t/b/file1.txt"};
        for (const QString& path : paths)
            addResult(form.results(), path);
        // The two rows of one path are told apart by their check marks.
        const QList<int> checked{1, 3};
        for (int row : checked)
            form.results().setChecked(row, true);
        select(form->resultList(), {4, 5}, 4);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.form.get()));
        QHeaderView* header = form->resultList()->horizontalHeader();
        QSignalSpy sorted(&form->resultSorter(), &ResultSorter::sorted);
        for (int section : clicks) {
            const int before = int(sorted.size());
            const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                            header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            QTRY_COMPARE(sorted.size(), before + 1);
        }
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), column);
        QCOMPARE(header->sortIndicatorOrder(), direction);
        QList<int> selected;
        for (int place = 0; place < order.size(); ++place) {
            const int was = order[place];
            QCOMPARE(form.results().displayPath(place), paths[was]);
            QCOMPARE(form.results().isChecked(place), checked.contains(was));
            if (form->resultList()->selectionModel()->isRowSelected(place, {}))
                selected << was;
        }
        QCOMPARE(selected.size(), 2);
        QVERIFY(selected.contains(4) && selected.contains(5));
        QCOMPARE(form->resultList()->currentIndex().row(), int(order.indexOf(4)));
    }

    // Until "Done." the walk's order stands: header clicks change neither the list nor the indicator.
    void headerClicksDuringASearchAreIgnored()
    {
        TestForm form;
        QTemporaryDir tree;
        for (const char* name : {"b.txt", "a.txt", "c.txt", "sub/d.txt"})
            makeFile(tree.path(), name);
        form->folderModel()->appendRow(new QStandardItem(tree.path()));
        std::atomic<bool> release{false};
        form->searchRun().setBeforeOpen([&](std::string_view path) {
            while (path.size() >= 4 && path.substr(path.size() - 4) == "/sub" && !release.load())
                QThread::msleep(1);
            return 0;
        });
        form->lengthEdit()->setText("-1");
        form->comparisonCombo()->setCurrentIndex(1);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.form.get()));
        form->startButton()->click();
        QTRY_COMPARE(form.results().rowCount(), 3);
        QStringList walked;
        for (int r = 0; r < 3; ++r)
            walked << form.results().displayPath(r);
        QHeaderView* header = form->resultList()->horizontalHeader();
        QSignalSpy sorted(&form->resultSorter(), &ResultSorter::sorted);
        for (int section : {0, 1, 0}) {
            const QPoint at(header->sectionViewportPosition(section) + 5, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        }
        QTest::qWait(100);
        QCOMPARE(sorted.size(), 0);
        QVERIFY(!header->isSortIndicatorShown());
        for (int r = 0; r < 3; ++r)
            QCOMPARE(form.results().displayPath(r), walked[r]);
        release = true;
        QTRY_COMPARE_WITH_TIMEOUT(form.dialogs.countMessages("Done."), 1, 10000);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        QTRY_COMPARE(sorted.size(), 1);
        QCOMPARE(form.results().displayPath(0), tree.path() + "/a.txt");
        QVERIFY(header->isSortIndicatorShown());
    }

    // Tabbing into a list selects its current row, so that Space, Enter and Delete act at once; Enter opens
    // the file as "Open Selected File" does, and Shift+F10 opens the check menu.
    void keyboardEntersTheLists()
    {
        XdgOpenStub stub;
        TestForm form;
        QTemporaryDir tree;
        const QString first = makeFile(tree.path(), "first.txt");
        addResult(form.results(), first);
        addResult(form.results(), makeFile(tree.path(), "second.txt"));
        form->folderModel()->appendRow(new QStandardItem("/one"));
        form->folderModel()->appendRow(new QStandardItem("/two"));
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.form.get()));
        form->resultList()->setFocus(Qt::OtherFocusReason); // first in the focus order, as the window starts
        QVERIFY(form->resultList()->hasFocus());
        QVERIFY(!form->resultList()->selectionModel()->hasSelection());

        QTest::keyClick(form->resultList(), Qt::Key_Tab);
        QVERIFY(form->folderList()->hasFocus());
        QTest::keyClick(form->folderList(), Qt::Key_Delete);
        QCOMPARE(form->folderModel()->rowCount(), 1);
        QCOMPARE(form->folderModel()->item(0)->text(), QStringLiteral("/two"));

        QTest::keyClick(form->folderList(), Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(form->resultList()->hasFocus());
        QCOMPARE(form->resultList()->selectionModel()->selectedRows().size(), 1);
        QTest::keyClick(form->resultList(), Qt::Key_Space);
        QCOMPARE(checks(form.results()), QStringLiteral("x."));
        QTest::keyClick(form->resultList(), Qt::Key_Return);
        QTRY_COMPARE(stub.launches().size(), 1);
        QCOMPARE(QUrl(stub.launches().first()).toLocalFile(), first);
        QVERIFY(form.dialogs.messages.isEmpty());

        QStringList menu;
        QTimer::singleShot(0, form.form.get(), [&] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : popup->actions())
                    menu << a->text();
                popup->close();
            }
        });
        QTest::keyClick(form->resultList(), Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(menu.contains("Check All") && menu.contains("Invert Checks"));
    }

    // Removing rows one run at a time keeps the view's selection; a long list, or many runs, resets the view
    // instead. Either way the rows left are the others, in order, with their check marks.
    void removedRowsLeaveTheOthers_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<int>>("removed");
        QTest::addColumn<bool>("oneByOne");
        QTest::newRow("one run") << 1000 << QList<int>{10, 11, 12} << true;
        QTest::newRow("a few runs, first and last rows") << 1000 << QList<int>{0, 300, 301, 999} << true;
        QList<int> everyTenth;
        for (int r = 0; r < 1000; r += 10)
            everyTenth << r;
        QTest::newRow("many runs") << 1000 << everyTenth << false;
        // Each run near the top moves nearly the whole list.
        const int longList = int(ResultModel::MostRowsMovedOneByOne / 4) + 1000;
        QTest::newRow("a few runs at the top of a long list")
            << longList << QList<int>{0, 2, 4, 6, 8} << false;
    }

    void removedRowsLeaveTheOthers()
    {
        QFETCH(int, rows);
        QFETCH(QList<int>, removed);
        QFETCH(bool, oneByOne);
        TestForm form;
        ResultModel& model = form.results();
        fill(model, rows);
        std::vector<int> sevenths;
        for (int r = 0; r < rows; r += 7)
            sevenths.push_back(r);
        model.setCheckedRows(sevenths, true);
        const int kept = 500; // never removed
        select(form->resultList(), {kept}, kept);
        std::vector<quint64> ids;
        for (int r : removed)
            ids.push_back(model.rowId(r));
        std::reverse(ids.begin(), ids.end()); // in any order
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

        QCOMPARE(model.removeRowsById(ids), int(removed.size()));

        QCOMPARE(model.rowCount(), rows - int(removed.size()));
        quint64 bytes = 0;
        int original = 0, gone = 0;
        for (int r = 0; r < model.rowCount(); ++r, ++original) {
            while (gone < int(removed.size()) && removed[gone] == original) {
                ++original;
                ++gone;
            }
            const QByteArray path = model.nativePath(r);
            if (path != "/r/" + QByteArray::number(original))
                QFAIL(
                    qPrintable(QStringLiteral("row %1 holds %2, not /r/%3").arg(r).arg(path).arg(original)));
            QCOMPARE(model.isChecked(r), original % 7 == 0);
            bytes += quint64(path.size());
        }
        QCOMPARE(model.pathBytes(), bytes);
        QCOMPARE(reset.size(), oneByOne ? 0 : 1);
        if (oneByOne) {
            const int keptNow =
                kept - int(std::count_if(removed.begin(), removed.end(), [](int r) { return r < kept; }));
            QCOMPARE(form->resultList()->currentIndex().row(), keptNow);
            QVERIFY(form->resultList()->selectionModel()->isRowSelected(keptNow));
        }
    }

    void manyRowsAtOnce()
    {
        TestForm form;
        fill(form.results(), 300000);
        QTest::keyClick(form->resultList(), Qt::Key_A, Qt::ControlModifier);
        QSignalSpy changed(&form.results(), &QAbstractItemModel::dataChanged);
        action(form->resultList(), "Check Selected")->trigger();
        QCOMPARE(form.results().checkedCount(), 300000);
        // A selection of two blocks.
        QItemSelection two;
        two.select(form.results().index(10, 0), form.results().index(99999, 1));
        two.select(form.results().index(200000, 0), form.results().index(299999, 1));
        form->resultList()->selectionModel()->select(two, QItemSelectionModel::ClearAndSelect);
        action(form->resultList(), "Uncheck Selected")->trigger();
        QCOMPARE(form.results().checkedCount(), 300000 - 99990 - 100000);
        QVERIFY(form.results().isChecked(9) && !form.results().isChecked(10) &&
                form.results().isChecked(100000));
        QCOMPARE(changed.size(), 2);
    }
};

LENTROVA_TEST_MAIN(TestResultList)
#include "test_resultlist.moc"
