// SPDX-License-Identifier: MIT
#include "support/testform.h"
#include "support/testmain.h"
#include "support/xdgopenstub.h"
#include "ui/resultlistchecking.h"

#include "ui/resultlistview.h"
#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

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
        select(form->resultList, {1}, 1);
        form->openFileButton->click();
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
        select(form->resultList, {0}, 0);
        form->openFileButton->click();
        QTRY_COMPARE(stub.launches().size(), 1);
        QCOMPARE(QUrl(stub.launches().first()).path(QUrl::FullyEncoded),
                 QStringLiteral("/tmp/bad%FFname.txt"));
    }

    void emptyListOpensNothing()
    {
        XdgOpenStub stub;
        TestForm form;
        form->openFileButton->click();
        form->revealButton->click();
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
        form->resultList->selectionModel()->setCurrentIndex(form.results().index(0, 0),
                                                            QItemSelectionModel::NoUpdate);
        (button == "PushButton5_Click" ? form->openFileButton : form->revealButton)->click();
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
        select(form->resultList, {1, 3, 4}, 3);
        QCOMPARE(selectedResultRow(form->resultList), 3);
        select(form->resultList, {4, 2}, 0);
        QCOMPARE(selectedResultRow(form->resultList), 2);
    }

    void clearAsksNothing()
    {
        TestForm form;
        fill(form.results(), 5);
        form.results().setAllChecked(true);
        form->progressBar->setValue(40);
        form->progressBar->setFormat("Writing file: x.txt");
        form->clearResultsButton->click();
        QCOMPARE(form.results().rowCount(), 0);
        QVERIFY(form.dialogs.messages.isEmpty());
        QCOMPARE(form->progressBar->value(), 40);
        QCOMPARE(form->progressBar->format(), QStringLiteral("Writing file: x.txt"));
        QCOMPARE(form.results().headerData(0, Qt::Horizontal).toString(), QStringLiteral("Filename(s)"));
        form->clearResultsButton->click(); // on an empty list: nothing, silently
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
        QCOMPARE(form->resultList->contextMenuPolicy(), Qt::ActionsContextMenu);
        QStringList texts;
        for (QAction* a : form->resultList->actions())
            texts << a->text();
        QCOMPARE(texts, (QStringList{"Check All", "Uncheck All", "Check Selected", "Uncheck Selected",
                                     "Invert Checks", "", QString::fromUtf8("Shorten Checked Names\u2026"),
                                     "Undo Last Shortening"}));
        fill(form.results(), 6);
        form.results().setChecked(0, true);
        form.results().setChecked(3, true);
        select(form->resultList, {1, 3, 4}, 1);
        QSignalSpy changed(&form.results(), &QAbstractItemModel::dataChanged);
        action(form->resultList, item)->trigger();
        QCOMPARE(checks(form.results()), after);
        QCOMPARE(changed.size(), 1);
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    void keys()
    {
        TestForm form;
        fill(form.results(), 5);
        form.results().setChecked(2, true);
        QTest::keyClick(form->resultList, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(form->resultList->selectionModel()->selectedRows().size(), 5);

        // Space gives every selected row the opposite of the current row's state.
        select(form->resultList, {0, 2, 3}, 0);
        QSignalSpy changed(&form.results(), &QAbstractItemModel::dataChanged);
        QTest::keyClick(form->resultList, Qt::Key_Space);
        QCOMPARE(checks(form.results()), QStringLiteral("x.xx."));
        QCOMPARE(changed.size(), 1);
        QTest::keyClick(form->resultList, Qt::Key_Space);
        QCOMPARE(checks(form.results()), QStringLiteral("....."));
        select(form->resultList, {1, 4}, 2); // the current row is not selected: the first selected one leads
        QTest::keyClick(form->resultList, Qt::Key_Space);
        QCOMPARE(checks(form.results()), QStringLiteral(".x..x"));

        // Nothing selected: Space changes nothing.
        form->resultList->selectionModel()->clearSelection();
        QTest::keyClick(form->resultList, Qt::Key_Space);
        QCOMPARE(checks(form.results()), QStringLiteral(".x..x"));
    }

    void manyRowsAtOnce()
    {
        TestForm form;
        fill(form.results(), 300000);
        QTest::keyClick(form->resultList, Qt::Key_A, Qt::ControlModifier);
        QSignalSpy changed(&form.results(), &QAbstractItemModel::dataChanged);
        action(form->resultList, "Check Selected")->trigger();
        QCOMPARE(form.results().checkedCount(), 300000);
        // A selection of two blocks.
        QItemSelection two;
        two.select(form.results().index(10, 0), form.results().index(99999, 1));
        two.select(form.results().index(200000, 0), form.results().index(299999, 1));
        form->resultList->selectionModel()->select(two, QItemSelectionModel::ClearAndSelect);
        action(form->resultList, "Uncheck Selected")->trigger();
        QCOMPARE(form.results().checkedCount(), 300000 - 99990 - 100000);
        QVERIFY(form.results().isChecked(9) && !form.results().isChecked(10) &&
                form.results().isChecked(100000));
        QCOMPARE(changed.size(), 2);
    }
};

LENTROVA_TEST_MAIN(TestResultList)
#include "test_resultlist.moc"
