// SPDX-License-Identifier: MIT
#include "app/clipboardcopy.h"
#include "results/listformat.h"
#include "services/apptitle.h"
#include "support/memorytable.h"
#include "support/testform.h"
#include "support/testmain.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>

namespace {

QString clipboardNow()
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

const QString CopiedMessage =
    QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area where "
                   "you normally type and press Ctrl+V to paste the clipboard.");
} // namespace

class TestClipboard : public QObject
{
    Q_OBJECT

private slots:
    void finishLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("closing tab goes") << "a   \tb\t"
                                          << "a   \tb\r\n";
        QTest::newRow("padding before the tab goes") << "a\tb  \t"
                                                     << "a\tb\r\n";
        QTest::newRow("tabs are not spaces") << "a\t\t"
                                             << "a\t\r\n";
        QTest::newRow("all spaces") << "   \t"
                                    << "\r\n";
        QTest::newRow("empty") << ""
                               << "\r\n";
    }
    void finishLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        finishClipboardLine(line);
        QCOMPARE(line, expected);
    }

    void goldenText_data()
    {
        QTest::addColumn<QList<QStringList>>("cells");
        QTest::addColumn<QList<bool>>("checked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("example") << QList<QStringList>{{"C:\\a.txt", "5"}, {"C:\\Data\\report.txt", "10"}}
                                 << QList<bool>{true, true}
                                 << "C:\\a.txt          \t5\r\nC:\\Data\\report.txt\t10\r\n";
        QTest::newRow("one checked row")
            << QList<QStringList>{{"/home/u/a.txt", "5"}} << QList<bool>{true} << "/home/u/a.txt\t5\r\n";
        QTest::newRow("wide unchecked row")
            << QList<QStringList>{{"/a.txt", "5"}, {"/a/much/wider/path.txt", "8"}}
            << QList<bool>{true, false} << "/a.txt                \t5\r\n";
        // The titles ("Filename(s)", "Length") do not count: nothing here is wider than the cells.
        QTest::newRow("titles do not widen") << QList<QStringList>{{"/a", "1"}, {"/bc", "22"}}
                                             << QList<bool>{true, true} << "/a \t1\r\n/bc\t22\r\n";
        QTest::newRow("last column with trailing spaces")
            << QList<QStringList>{{"/a", "x  "}, {"/b", "yyyy"}} << QList<bool>{true, true}
            << "/a\tx\r\n/b\tyyyy\r\n";
        QTest::newRow("first column's own spaces stay")
            << QList<QStringList>{{"/a  ", "1"}, {"/abcdefg", "2"}} << QList<bool>{true, false}
            << "/a      \t1\r\n";
        QTest::newRow("no row checked") << QList<QStringList>{{"/a", "1"}} << QList<bool>{false} << "";
        QTest::newRow("sub-item never set") << QList<QStringList>{{"/abc"}, {"/d", "12"}}
                                            << QList<bool>{true, true} << "/abc\t\r\n/d  \t12\r\n";
        QTest::newRow("emoji counts two")
            << QList<QStringList>{{QString::fromUtf8("/\xF0\x9F\x98\x80"), "1"}, {"/abcd", "4"}}
            << QList<bool>{true, true} << QString::fromUtf8("/\xF0\x9F\x98\x80  \t1\r\n/abcd\t4\r\n");
    }
    void goldenText()
    {
        QFETCH(QList<QStringList>, cells);
        QFETCH(QList<bool>, checked);
        QFETCH(QString, expected);
        MemoryTable table;
        table.titles = QStringList{"Filename(s)", "Length"};
        for (int i = 0; i < cells.size(); ++i)
            table.add(cells[i], checked[i]);
        QCOMPARE(clipboardText(table, noYield), expected);
    }

    void copyFromTheWindow()
    {
        TestForm form;
        QTemporaryDir tree;
        const QString shortPath = makeFile(tree.path(), "a.txt");
        const QString longPath = makeFile(tree.path(), "Data/report.txt");
        const QString unchecked = makeFile(tree.path(), "Data/old/notes.text");
        addResult(form.results(), shortPath);
        addResult(form.results(), longPath);
        addResult(form.results(), unchecked);
        form.results().setChecked(0, true);
        form.results().setChecked(1, true);
        form->copyResultsButton()->click();

        const QString expected = shortPath + QString(unchecked.size() - shortPath.size(), ' ') + "\t5\r\n" +
                                 longPath + QString(unchecked.size() - longPath.size(), ' ') + "\t10\r\n";
        QCOMPARE(clipboardNow(), expected);
        QCOMPARE(form.dialogs.messages.size(), 1);
        QCOMPARE(form.dialogs.messages[0].text, CopiedMessage);
        QCOMPARE(form.dialogs.messages[0].style, 0);
        QCOMPARE(form.dialogs.messages[0].title, applicationTitle());
        QCOMPARE(applicationTitle(), QStringLiteral("Lentrova"));
    }

    void emptyListLeavesClipboardAlone()
    {
        TestForm form;
        QGuiApplication::clipboard()->setText("kept from before");
        form->copyResultsButton()->click();
        QCOMPARE(clipboardNow(), QStringLiteral("kept from before"));
        QCOMPARE(form.dialogs.messages.size(), 1);
        QCOMPARE(form.dialogs.messages[0].text, CopiedMessage);
    }

    void noCheckedRowEmptiesClipboard()
    {
        TestForm form;
        QTemporaryDir tree;
        addResult(form.results(), makeFile(tree.path(), "a.txt"));
        QGuiApplication::clipboard()->setText("old text");
        form->copyResultsButton()->click();
        QCOMPARE(clipboardNow(), QString());
        QCOMPARE(form.dialogs.messages.size(), 1);
        QCOMPARE(form.dialogs.messages[0].text, CopiedMessage);
    }

    void listChangedWhileCopying()
    {
        // The copy reads the rows as they were when it started; the clipboard never gets a mixture.
        ResultModel model;
        model.appendRow("/one", 3);
        model.appendRow("/two/three", 5);
        model.appendRow("/four", 4);
        model.setChecked(0, true);
        model.setChecked(2, true);
        const SnapshotTable table = SnapshotTable::of(model);
        int yields = 0;
        const auto meddle = [&] {
            if (++yields == 2)
                model.clearRows();
            if (yields == 5) {
                model.appendRow("/a/much/longer/path/that/came/later", 9);
                model.setAllChecked(true);
            }
        };
        copyListToClipboard(table, meddle);
        QVERIFY(yields > 5);
        QCOMPARE(clipboardNow(), QStringLiteral("/one      \t3\r\n/four     \t4\r\n"));
    }

    void secondClickWhileTheFirstRunsIsIgnored()
    {
        TestForm form;
        form.results().appendRow("/a", 1);
        form.results().setAllChecked(true);
        int messages = 0;
        form.dialogs.onMessage = [&](const ScriptedDialogs::Message&) {
            if (++messages == 1)
                form->copyResultsButton()->click(); // still inside the first click's message
        };
        form->copyResultsButton()->click();
        QCOMPARE(form.dialogs.messages.size(), 1);
    }
};

LENTROVA_TEST_MAIN(TestClipboard)
#include "test_clipboard.moc"
