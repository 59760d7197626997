// SPDX-License-Identifier: MIT
#include "results/prune.h"
#include "support/testform.h"
#include "support/testmain.h"

#include <QPushButton>

namespace {

// The rows' paths relative to root, in list order, with a "+" for a checked row.
QStringList rowsUnder(const ResultModel& model, const QString& root)
{
    QStringList rows;
    for (int r = 0; r < model.rowCount(); ++r)
        rows << model.displayPath(r).mid(root.size() + 1) + (model.isChecked(r) ? "+" : "");
    return rows;
}

QStringList namesOf(const ResultModel& model)
{
    QStringList names;
    for (int r = 0; r < model.rowCount(); ++r)
        names << QString::fromUtf8(model.nativePath(r));
    return names;
}

const QStringList Tree = {"Data/notes.txt", "Data/Report.TXT", "other/My File.doc", "other/star*.txt",
                          "other/readme.md"};
} // namespace

class TestPrune : public QObject
{
    Q_OBJECT

private slots:
    void fromTheWindow_data()
    {
        QTest::addColumn<bool>("containing");
        QTest::addColumn<QString>("piece");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("TXT ignores case")
            << true << "TXT" << QStringList{"other/My File.doc", "other/readme.md"};
        QTest::newRow("folder name") << true << "data"
                                     << QStringList{"other/My File.doc", "other/star*.txt",
                                                    "other/readme.md"};
        QTest::newRow("a space") << true << " "
                                 << QStringList{"Data/notes.txt", "Data/Report.TXT", "other/star*.txt",
                                                "other/readme.md"};
        QTest::newRow("separator, containing") << true << "/" << QStringList{};
        QTest::newRow("separator, not containing") << false << "/" << Tree;
        QTest::newRow("*.txt is five characters")
            << true << "*.txt"
            << QStringList{"Data/notes.txt", "Data/Report.TXT", "other/My File.doc", "other/readme.md"};
        QTest::newRow("? is a character") << true << "re?dme" << Tree;
        QTest::newRow("not containing keeps matches")
            << false << ".Txt" << QStringList{"Data/notes.txt", "Data/Report.TXT", "other/star*.txt"};
        QTest::newRow("leading blank taken as typed") << true << " readme" << Tree;
        QTest::newRow("trailing blank taken as typed") << true << "notes " << Tree;
    }
    void fromTheWindow()
    {
        QFETCH(bool, containing);
        QFETCH(QString, piece);
        QFETCH(QStringList, left);
        TestForm form;
        QTemporaryDir tree;
        for (const QString& name : Tree)
            addResult(form.results(), makeFile(tree.path(), name));
        form.dialogs.inputs << piece;
        (containing ? form->removeContainingButton() : form->removeNotContainingButton())->click();
        QCOMPARE(rowsUnder(form.results(), tree.path()), left);
        QCOMPARE(form.dialogs.inputPrompts,
                 QStringList{containing ? "Remove entries containing: " : "Remove entries not containing: "});
        QCOMPARE(form.dialogs.inputTitles, QStringList{"Lentrova"});
        QVERIFY(form.dialogs.messages.isEmpty());
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    void rows2_5_9OfTen()
    {
        TestForm form;
        QTemporaryDir tree;
        for (int i = 1; i <= 10; ++i) {
            const bool marked = i == 2 || i == 5 || i == 9;
            // The folder's random suffix is alphanumeric, so the marker holds an underscore and a period.
            const QString name = QString("f%1%2.txt").arg(i, 2, 10, QChar('0')).arg(marked ? "_M" : "");
            addResult(form.results(), makeFile(tree.path(), name));
        }
        for (int row : {0, 4, 5, 9}) // rows 1, 5, 6 and 10
            form.results().setChecked(row, true);
        form.dialogs.inputs << "_m.";
        form->removeContainingButton()->click();
        QCOMPARE(
            rowsUnder(form.results(), tree.path()),
            (QStringList{"f01.txt+", "f03.txt", "f04.txt", "f06.txt+", "f07.txt", "f08.txt", "f10.txt+"}));
    }

    void cancelOrEmptyRemovesNothing()
    {
        TestForm form;
        QTemporaryDir tree;
        addResult(form.results(), makeFile(tree.path(), "a.txt"));
        form->pointer().set(Pointer::Hand);
        form->removeContainingButton()->click(); // cancelled
        form.dialogs.inputs << "";
        form->removeNotContainingButton()->click(); // OK on an empty box
        QCOMPARE(form.results().rowCount(), 1);
        QCOMPARE(form.dialogs.inputPrompts,
                 (QStringList{"Remove entries containing: ", "Remove entries not containing: "}));
        QCOMPARE(form->pointer().value(), Pointer::Hand);
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    void emptyListStillAsks()
    {
        TestForm form;
        form.dialogs.inputs << "a";
        form->removeNotContainingButton()->click();
        QCOMPARE(form.dialogs.inputPrompts.size(), 1);
        QCOMPARE(form.results().rowCount(), 0);
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    void caseMapping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("piece");
        QTest::addColumn<bool>("found");
        QTest::newRow("ASCII") << "/Data/Notes.TXT"
                               << "notes.txt" << true;
        QTest::newRow("piece upper case") << "/data/notes.txt"
                                          << "NOTES" << true;
        QTest::newRow("umlaut") << QString::fromUtf8("/M\xC3\x9C"
                                                     "LLER/a")
                                << QString::fromUtf8("m\xC3\xBCller") << true;
        QTest::newRow("accents are not ignored") << "/cafe" << QString::fromUtf8("caf\xC3\xA9") << false;
        QTest::newRow("empty piece") << "/a"
                                     << "" << true;
    }
    void caseMapping()
    {
        QFETCH(QString, text);
        QFETCH(QString, piece);
        QFETCH(bool, found);
        QCOMPARE(containsIgnoringCase(text, piece.toLower()), found);
    }

    void listClearedAndRefilledDuringScan()
    {
        // Rows that arrive while the scan yields were never scanned, so they are never removed.
        ResultModel model;
        for (const char* p : {"/keep/a", "/drop/b", "/keep/c", "/drop/d"})
            model.appendRow(p, 1);
        int yields = 0;
        removeRowsContaining(model, "drop", [&] {
            if (++yields == 2) {
                model.clearRows();
                model.appendRow("/drop/new1", 1);
                model.appendRow("/keep/new2", 1);
                model.appendRow("/drop/new3", 1);
            }
        });
        QCOMPARE(yields, 4);
        QCOMPARE(namesOf(model), (QStringList{"/drop/new1", "/keep/new2", "/drop/new3"}));
    }

    void rowsRemovedAndAddedDuringScan()
    {
        ResultModel model;
        for (const char* p : {"/x/1", "/y/2", "/x/3", "/y/4", "/x/5", "/y/6"})
            model.appendRow(p, 1);
        model.setChecked(5, true);
        int yields = 0;
        removeRowsNotContaining(model, "/y/", [&] {
            if (++yields == 3) {
                // Another prune, then the search, change the list under the scan.
                removeRowsContaining(model, "/y/2", noYield);
                model.removeRowsById({model.rowId(0)});
                model.appendRow("/x/7", 1);
            }
        });
        QCOMPARE(namesOf(model), (QStringList{"/y/4", "/y/6", "/x/7"}));
        QVERIFY(model.isChecked(1));
        QVERIFY(!model.isChecked(0));
    }
};

LENTROVA_TEST_MAIN(TestPrune)
#include "test_prune.moc"
