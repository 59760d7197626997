// SPDX-License-Identifier: MIT
// "Fix Checked Names For Target…" and its undo, through the window's context menu, on real files.
#include "app/mainwindow.h"
#include "app/targetactions.h"
#include "results/resultmodel.h"
#include "services/settings.h"
#include "support/filetree.h"
#include "support/fixtree.h"
#include "support/scriptedfix.h"
#include "support/targettree.h"
#include "support/testmain.h"
#include "ui/resultlistview.h"
#include "ui/targetcheckdialog.h"

#include <QAction>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>

Q_DECLARE_METATYPE(FixCharacters)

class TestFixNames : public QObject
{
    Q_OBJECT

    ScriptedDialogs dialogs;
    ScriptedFix fix;
    QTemporaryDir install;
    std::unique_ptr<MainWindow> form;
    std::unique_ptr<ScratchDir> dir;
    QByteArray top;

    ResultModel& model() const { return *form->resultModel(); }

    // The list's rows below the top, as the window holds them.
    QList<QByteArray> listed() const
    {
        QList<QByteArray> out;
        for (int r = 0; r < model().rowCount(); ++r)
            out << model().nativePath(r).mid(top.size());
        return out;
    }

    // Makes the tree, lists its folder and shows each path as a checked row, as a target check leaves them.
    bool listTree(const QList<QByteArray>& paths)
    {
        if (!FixTree::make(top, paths))
            return false;
        form->folderModel()->appendRow(new QStandardItem(QFile::decodeName(top.chopped(1))));
        for (const QByteArray& path : paths) {
            const QByteArray full = top + path;
            model().appendRow(std::string_view(full.constData(), std::size_t(full.size())), 1);
        }
        model().setAllChecked(true);
        return true;
    }

    QList<ScriptedDialogs::Message> told() const { return dialogs.messages; }

private slots:
    void init()
    {
        dialogs = ScriptedDialogs();
        fix = ScriptedFix();
        QSettings(QSettings::IniFormat, QSettings::UserScope, SettingsApp).clear();
        FileTree::removeTree(qgetenv("XDG_DATA_HOME") + "/lentrova");
        form = makeFixWindow(dialogs, fix, install.path());
        dir = std::make_unique<ScratchDir>();
        top = dir->path() + '/';
    }

    void cleanup()
    {
        form.reset();
        dir.reset();
    }

    void fixAndUndo_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<FixCharacters>("characters");
        QTest::addColumn<QList<QByteArray>>("rows");
        QTest::addColumn<QList<QByteArray>>("after"); // the rows once fixed
        using L = QList<QByteArray>;
        QTest::newRow("Windows, files in a renamed folder")
            << "windows" << FixCharacters::Underscore << L{"a:b.txt", "sub?/", "sub?/CON.txt", "sub?/ok"}
            << L{"a_b.txt", "sub_/", "sub_/CON_.txt", "sub_/ok"};
        QTest::newRow("exFAT, look-alikes")
            << "exfat" << FixCharacters::LookAlike << L{"what?.txt", "a|b/", "a|b/c"}
            << L{"what\uFF1F.txt", "a\uFF5Cb/", "a\uFF5Cb/c"};
        QTest::newRow("exFAT, names equal but for case")
            << "exfat" << FixCharacters::Underscore << L{"Readme", "README", "x/", "X/", "X/in"}
            << L{"Readme", "README~2", "x/", "X~2/", "X~2/in"};
    }

    void fixAndUndo()
    {
        QFETCH(QString, profile);
        QFETCH(FixCharacters, characters);
        QFETCH(QList<QByteArray>, rows);
        QFETCH(QList<QByteArray>, after);
        QVERIFY(listTree(rows));
        const QMap<QByteArray, QByteArray> before = FixTree::read(top);
        fix.profile = profile;
        fix.characters = characters;
        form->fixNamesAction()->trigger();
        QVERIFY2(told().isEmpty(), told().isEmpty() ? "" : qPrintable(told()[0].text));
        QCOMPARE(listed(), after);
        const QMap<QByteArray, QByteArray> fixed = FixTree::read(top);
        for (const QByteArray& path : after)
            QVERIFY2(fixed.contains(path), path.constData());
        QCOMPARE(fixed.size(), before.size());
        QCOMPARE(model().checkedCount(), rows.size());

        form->undoShorteningAction()->trigger();
        QVERIFY2(told().isEmpty(), told().isEmpty() ? "" : qPrintable(told()[0].text));
        QCOMPARE(FixTree::read(top), before);
        QCOMPARE(listed(), rows);
    }

    void folderProposalsSwitch_data()
    {
        QTest::addColumn<bool>("shortenFolders");
        QTest::addColumn<QList<QByteArray>>("after");
        // Below "C:\", 3 + 100 + 1 + 100 + 1 + 60 = 265 units: 6 over Windows' 259.
        const QByteArray a = TargetTree::repeated("a", 100), b = TargetTree::repeated("b", 100);
        const QByteArray file = TargetTree::repeated("f", 56) + ".txt";
        const QByteArray cutA = TargetTree::repeated("a", 93); // the longer path is 7 over
        QTest::newRow("the folder above")
            << true << QList<QByteArray>{cutA + '/' + b + '/' + file, cutA + '/' + b + "/x" + file};
        QTest::newRow("each file") << false
                                   << QList<QByteArray>{
                                          a + '/' + b + '/' + TargetTree::repeated("f", 50) + ".txt",
                                          a + '/' + b + "/x" + TargetTree::repeated("f", 49) + ".txt"};
    }

    void folderProposalsSwitch()
    {
        QFETCH(bool, shortenFolders);
        QFETCH(QList<QByteArray>, after);
        const QByteArray below = TargetTree::repeated("a", 100) + '/' + TargetTree::repeated("b", 100) + '/';
        const QByteArray file = TargetTree::repeated("f", 56) + ".txt";
        QVERIFY(listTree({below + file, below + 'x' + file}));
        fix.profile = QStringLiteral("windows");
        fix.targetFolder = QStringLiteral("C:\\");
        fix.shortenFolders = shortenFolders;
        QString shown;
        fix.beforeAnswer = [&](FixDialog& dialog) {
            shown = dialog.preview()->model()->index(0, 2).data().toString();
        };
        form->fixNamesAction()->trigger();
        QCOMPARE(listed(), after);
        QCOMPARE(shown.contains(QStringLiteral("brings 2 paths within the limit")), shortenFolders);
        QCOMPARE(FixTree::read(top).size(), 4); // two folders, two files
    }

    void cancelChangesNothing()
    {
        QVERIFY(listTree({"a:b", "c?/"}));
        const QMap<QByteArray, QByteArray> before = FixTree::read(top);
        fix.profile = QStringLiteral("windows");
        fix.apply = false;
        bool previewed = false;
        fix.beforeAnswer = [&](FixDialog& dialog) { previewed = dialog.plan().size() == 2; };
        form->fixNamesAction()->trigger();
        QVERIFY(previewed);
        QCOMPARE(FixTree::read(top), before);
        QCOMPARE(listed(), (QList<QByteArray>{"a:b", "c?/"}));
        QVERIFY(FileTree::list(qgetenv("XDG_DATA_HOME") + "/lentrova/renames").isEmpty());
    }

    void offersTheLastTargetCheck_data()
    {
        QTest::addColumn<QString>("checked"); // profile of the last check; empty: none yet
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("offered");
        QTest::newRow("no check yet") << ""
                                      << ""
                                      << "windows|";
        QTest::newRow("a check for OneDrive") << "onedrive"
                                              << "C:\\Users\\me\\OneDrive"
                                              << "onedrive|C:\\Users\\me\\OneDrive";
    }

    void offersTheLastTargetCheck()
    {
        QFETCH(QString, checked);
        QFETCH(QString, folder);
        QFETCH(QString, offered);
        if (!checked.isEmpty())
            rememberTargetChoice({checked, folder, TargetRuleSet::all()});
        QVERIFY(listTree({"a:b"}));
        fix.apply = false;
        form->fixNamesAction()->trigger();
        QCOMPARE(fix.offered, QStringList{offered});
    }

    void nothingChecked()
    {
        QVERIFY(listTree({"a:b"}));
        model().setAllChecked(false);
        form->fixNamesAction()->trigger();
        QCOMPARE(fix.offered.size(), 0);
        QCOMPARE(told().size(), 1);
        QCOMPARE(told()[0].text, QStringLiteral("Check the files whose names are to be fixed first."));
    }
};

LENTROVA_TEST_MAIN(TestFixNames)
#include "test_fixnames.moc"
