// SPDX-License-Identifier: MIT
// "Check For A Target…" in the window: the dialog, the run through the search machinery, its rows and box.
#include "app/mainwindow.h"
#include "app/searchrun.h"
#include "app/settingskeys.h"
#include "results/resultmodel.h"
#include "services/settings.h"
#include "support/scriptedtarget.h"
#include "support/testform.h"
#include "support/testmain.h"
#include "support/xdgopenstub.h"
#include "target/targetcheck.h"
#include "ui/resultlistview.h"

#include <QAction>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QStyleHints>
#include <QTreeView>

#include <atomic>
#include <cerrno>

namespace {
// A small tree with one fault of each common kind for Windows, and names every target takes.
void makeTree(const QString& root)
{
    makeFile(root, "ok.txt");
    makeFile(root, "a:b.txt");
    makeFile(root, "CON.txt");
    QDir().mkpath(root + "/trail.");
    makeFile(root, "sub/name.");
    makeFile(root, "sub/fine.txt");
}

QStringList sortedPaths(const ResultModel& model)
{
    QStringList paths;
    for (int r = 0; r < model.rowCount(); ++r)
        paths << QString::fromUtf8(model.nativePath(r));
    paths.sort();
    return paths;
}

TargetRuleSet rulesOf(const QString& text)
{
    QString error;
    return ruleSetFromText(text, &error);
}

QString header(const ResultModel& model)
{
    return model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString();
}
} // namespace

class TestTargetWindow : public QObject
{
    Q_OBJECT

    ScriptedDialogs dialogs;
    ScriptedTarget target;
    QTemporaryDir install;
    std::unique_ptr<QTemporaryDir> tree;
    std::unique_ptr<MainWindow> form;

    ResultModel& model() const { return *form->resultModel(); }

    void listFolder(const QString& folder) { form->folderModel()->appendRow(new QStandardItem(folder)); }

    // Opens the dialog through the menu item and waits for the box that ends the run it starts.
    bool check()
    {
        const int before = countDoneMessages(dialogs);
        form->targetCheckAction()->trigger();
        return QTest::qWaitFor([&] { return countDoneMessages(dialogs) == before + 1; }, 60000);
    }

    QString lastMessage() const
    {
        return dialogs.messages.isEmpty() ? QString() : dialogs.messages.last().text;
    }

private slots:
    void init()
    {
        dialogs = ScriptedDialogs();
        target = ScriptedTarget();
        storeSetting(SettingsApp, SettingsSection, KeyTargetProfile, QString());
        storeSetting(SettingsApp, SettingsSection, KeyTargetFolder, QString());
        storeSetting(SettingsApp, SettingsSection, KeyTargetRules, QString());
        form = makeTargetWindow(dialogs, target, install.path());
        tree = std::make_unique<QTemporaryDir>();
        makeTree(tree->path());
    }
    void cleanup() { form.reset(); }

    void dialogOffersEveryProfileAndEveryRule()
    {
        listFolder(tree->path());
        target.start = false;
        form->targetCheckAction()->trigger();
        QCOMPARE(target.shown, 1);
        QStringList keys;
        for (const TargetProfile& p : targetProfiles())
            keys << p.key;
        QCOMPARE(target.profilesOffered, keys << "auto");
        QCOMPARE(target.offered.profileKey, QStringLiteral("windows"));
        QCOMPARE(target.offered.rules, TargetRuleSet::all());
        QCOMPARE(target.offered.folder, QString());
        QCOMPARE(countDoneMessages(dialogs), 0);
        QVERIFY(!model().problemColumn());
    }

    // A choice that cannot be checked keeps the dialog open with the reason, and starts nothing.
    void badChoiceStartsNothing_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("reason");
        QTest::newRow("auto without a folder") << "auto"
                                               << ""
                                               << "all"
                                               << "auto needs a target folder";
        QTest::newRow("auto on a missing folder") << "auto"
                                                  << "/no/such/folder/here"
                                                  << "all"
                                                  << "not found";
        QTest::newRow("no rule") << "windows"
                                 << ""
                                 << "none"
                                 << "at least one";
    }
    void badChoiceStartsNothing()
    {
        QFETCH(QString, profile);
        QFETCH(QString, folder);
        QFETCH(QString, rules);
        QFETCH(QString, reason);
        listFolder(tree->path());
        addResult(model(), tree->path() + "/ok.txt");
        target.profile = profile;
        target.folder = folder;
        target.rules = rulesOf(rules);
        form->targetCheckAction()->trigger();
        QVERIFY2(target.error.contains(reason), qPrintable(target.error));
        QVERIFY(!form->searchRun().active());
        QCOMPARE(countDoneMessages(dialogs), 0);
        QCOMPARE(model().rowCount(), 1);
        QVERIFY(!model().problemColumn());
        QCOMPARE(readSetting(SettingsApp, SettingsSection, KeyTargetProfile, QString()), QString());
    }

    // The check lists only what breaks a rule, folders with a closing "/", each with its reasons, under
    // "Problem"; the next plain search is headed "Length" again and lists files by length.
    void checkListsWhatBreaksTheRules_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected"); // path below the tree, then a word of its problem
        QTest::addColumn<QString>("summary");
        const QString checked = QStringLiteral("Checked 5 files and 2 folders.");
        QTest::newRow("windows")
            << "windows"
            << "all"
            << "" << QStringList{"CON.txt",   "reserved name", "a:b.txt", "\":\"",
                                 "sub/name.", "period",        "trail./", "period"}
            << "Done.\nForbidden characters: 1 file, 0 folders\nReserved names: 1 file, 0 "
               "folders\nNames ending with a period: 1 file, 1 folder\n" +
                   checked;
        QTest::newRow("windows, reserved names only")
            << "windows"
            << "reserved-name"
            << "" << QStringList{"CON.txt", "reserved name"}
            << "Done.\nReserved names: 1 file, 0 folders\n" + checked;
        // Everything is copied, whatever the filter box says.
        QTest::newRow("filter set") << "windows"
                                    << "reserved-name"
                                    << "zzz-nothing-has-this" << QStringList{"CON.txt", "reserved name"}
                                    << "Done.\nReserved names: 1 file, 0 folders\n" + checked;
        QTest::newRow("linux takes everything") << "linux"
                                                << "all"
                                                << "" << QStringList{} << "Done.\n" + checked;
    }
    void checkListsWhatBreaksTheRules()
    {
        QFETCH(QString, profile);
        QFETCH(QString, rules);
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QFETCH(QString, summary);
        listFolder(tree->path());
        form->filterEdit()->setText(filter);
        target.profile = profile;
        target.rules = rulesOf(rules);
        QVERIFY(check());
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(lastMessage(), summary);
        QVERIFY(model().problemColumn());
        QCOMPARE(header(model()), QStringLiteral("Problem"));
        QStringList paths;
        for (int i = 0; i < expected.size(); i += 2)
            paths << tree->path() + '/' + expected[i];
        QCOMPARE(sortedPaths(model()), paths);
        for (int r = 0; r < model().rowCount(); ++r) {
            const QString path = QString::fromUtf8(model().nativePath(r));
            const QString word = expected[expected.indexOf(path.mid(tree->path().size() + 1)) + 1];
            const QString shown = model().data(model().index(r, 1), Qt::DisplayRole).toString();
            QVERIFY2(shown.contains(word), qPrintable(path + ": " + shown));
        }
        QCOMPARE(form->startButton()->text(), QStringLiteral("Start Finding"));
        QCOMPARE(form->pointer().value(), Pointer::Default);

        form->filterEdit()->clear();
        form->lengthEdit()->setText("1");
        form->comparisonCombo()->setCurrentIndex(1);
        const int before = countDoneMessages(dialogs);
        form->startButton()->click();
        QVERIFY(QTest::qWaitFor([&] { return countDoneMessages(dialogs) == before + 1; }, 60000));
        QCOMPARE(lastMessage(), QStringLiteral("Done."));
        QVERIFY(!model().problemColumn());
        QCOMPARE(header(model()), QStringLiteral("Length"));
        QCOMPARE(model().rowCount(), 5); // every file: none has a one-letter name
        for (int r = 0; r < model().rowCount(); ++r)
            QVERIFY(!model().nativePath(r).endsWith('/'));
        QCOMPARE(model().data(model().index(0, 1), Qt::DisplayRole).toString(),
                 QString::number(model().measuredLength(0)));
    }

    // A folder that cannot be read is a row of its own, and no error box.
    void unreadableFolderIsARow()
    {
        listFolder(tree->path());
        form->searchRun().setBeforeOpen(
            [](std::string_view path) { return path.ends_with("/sub") ? EACCES : 0; });
        target.profile = QStringLiteral("linux");
        QVERIFY(check());
        QVERIFY2(dialogs.errorTexts().isEmpty(), qPrintable(dialogs.errorTexts().join('\n')));
        QCOMPARE(shownRows(model()), QList<QByteArray>{QFile::encodeName(tree->path()) +
                                                       "/sub/\tcannot be read: Permission denied"});
        QVERIFY2(lastMessage().contains(QStringLiteral("Unreadable items: 0 files, 1 folder")),
                 qPrintable(lastMessage()));
    }

    // The box that ends a check counts, per rule, the files and the folders that break it.
    void summaryText_data()
    {
        QTest::addColumn<QList<int>>("fileRules"); // a rule per item that breaks it
        QTest::addColumn<QList<int>>("folderRules");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("folders");
        QTest::addColumn<QString>("text");
        QTest::newRow("clean") << QList<int>{} << QList<int>{} << 7 << 2
                               << "Done.\nChecked 7 files and 2 folders.";
        QTest::newRow("one of each")
            << QList<int>{int(TargetRule::ReservedName)} << QList<int>{int(TargetRule::TrailingPeriod)} << 1
            << 1
            << "Done.\nReserved names: 1 file, 0 folders\nNames ending with a period: 0 files, 1 folder\n"
               "Checked 1 file and 1 folder.";
        QTest::newRow("rule order, not arrival order")
            << QList<int>{int(TargetRule::NameTooLong), int(TargetRule::ForbiddenCharacter),
                          int(TargetRule::NameTooLong)}
            << QList<int>{int(TargetRule::NameTooLong)} << 10 << 3
            << "Done.\nForbidden characters: 1 file, 0 folders\nNames too long: 2 files, 1 folder\n"
               "Checked 10 files and 3 folders.";
        QTest::newRow("nothing checked")
            << QList<int>{} << QList<int>{} << 0 << 0 << "Done.\nChecked 0 files and 0 folders.";
    }
    void summaryText()
    {
        QFETCH(QList<int>, fileRules);
        QFETCH(QList<int>, folderRules);
        QFETCH(int, files);
        QFETCH(int, folders);
        QFETCH(QString, text);
        // Tallies come report by report: split them in two to see that they add up.
        TargetTally first, second;
        first.files = files / 2;
        second.files = files - first.files;
        second.folders = folders;
        for (int i = 0; i < fileRules.size(); ++i)
            (i % 2 ? second : first).fileSummary.add(TargetRule(fileRules[i]));
        for (int rule : folderRules)
            second.folderSummary.add(TargetRule(rule));
        TargetTally sum;
        sum.add(first);
        sum.add(second);
        QCOMPARE(targetCheckSummaryText(sum), text);
    }

    // Stop ends a check as it ends a search: the list stays as it stood, the button reads Start again, and
    // the one box sums up what was checked.
    void stopDuringACheck()
    {
        for (int i = 0; i < 5; ++i)
            makeFile(tree->path(), QStringLiteral("more%1/bad%1.").arg(i));
        listFolder(tree->path());
        std::atomic<bool> release{false};
        std::atomic<int> entered{0};
        form->searchRun().setBeforeEnter([&](std::string_view) {
            ++entered;
            while (!release.load())
                QThread::msleep(1);
        });
        target.profile = QStringLiteral("windows");
        form->targetCheckAction()->trigger();
        QVERIFY(form->searchRun().active());
        QCOMPARE(form->startButton()->text(), QStringLiteral("Stop"));
        QCOMPARE(form->pointer().value(), Pointer::Busy);
        QVERIFY(!form->targetCheckAction()->isEnabled());
        QTRY_COMPARE(entered.load(), 1);
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 20);
        QTRY_VERIFY(model().rowCount() > 0); // the top folder's files came before the walk was held
        form->startButton()->click();
        const int atStop = model().rowCount();
        release = true;
        QTRY_COMPARE_WITH_TIMEOUT(countDoneMessages(dialogs), 1, 10000);
        QCOMPARE(model().rowCount(), atStop);
        QCOMPARE(form->startButton()->text(), QStringLiteral("Start Finding"));
        QCOMPARE(form->pointer().value(), Pointer::Default);
        QVERIFY(form->targetCheckAction()->isEnabled());
        QVERIFY(lastMessage().startsWith(QStringLiteral("Done.\n")));
        QVERIFY(lastMessage().contains(QStringLiteral("\nChecked ")));
        QVERIFY(dialogs.errorTexts().isEmpty());
    }

    // The choice started is offered again, by a new window too; a cancelled one is not kept.
    void choiceIsRemembered()
    {
        listFolder(tree->path());
        target.profile = QStringLiteral("macos");
        target.folder = QStringLiteral("D:\\Backup\\Photos");
        target.rules = rulesOf("forbidden-character,name-too-long");
        QVERIFY(check());
        QCOMPARE(readSetting(SettingsApp, SettingsSection, KeyTargetProfile, QString()),
                 QStringLiteral("macos"));
        QCOMPARE(readSetting(SettingsApp, SettingsSection, KeyTargetFolder, QString()),
                 QStringLiteral("D:\\Backup\\Photos"));
        QCOMPARE(readSetting(SettingsApp, SettingsSection, KeyTargetRules, QString()),
                 QStringLiteral("forbidden-character,name-too-long"));

        form = makeTargetWindow(dialogs, target, install.path());
        listFolder(tree->path());
        target = ScriptedTarget();
        target.profile = QStringLiteral("exfat");
        target.start = false;
        form->targetCheckAction()->trigger();
        QCOMPARE(target.offered.profileKey, QStringLiteral("macos"));
        QCOMPARE(target.offered.folder, QStringLiteral("D:\\Backup\\Photos"));
        QCOMPARE(target.offered.rules, rulesOf("forbidden-character,name-too-long"));
        QCOMPARE(readSetting(SettingsApp, SettingsSection, KeyTargetProfile, QString()),
                 QStringLiteral("macos"));
    }

    // The window lists the same rows, in the same order, as lentrova-find --target on the same tree.
    void sameRowsAsTheFinder_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::newRow("windows") << "windows";
        QTest::newRow("fat32") << "fat32";
        QTest::newRow("onedrive") << "onedrive";
    }
    void sameRowsAsTheFinder()
    {
        QFETCH(QString, profile);
        makeFile(tree->path(), "sub/deeper/Readme");
        makeFile(tree->path(), "sub/deeper/README");
        makeFile(tree->path(), "sub/deeper/ends ");
        QDir().mkpath(tree->path() + "/aux");
        listFolder(tree->path());
        target.profile = profile;
        QVERIFY(check());
        QProcess finder;
        finder.start(QStringLiteral(LENTROVA_FIND), {"--target", profile, "--with-reason", tree->path()});
        QVERIFY(finder.waitForFinished(30000));
        QVERIFY2(finder.exitCode() <= 1, finder.readAllStandardError().constData());
        QList<QByteArray> lines = finder.readAllStandardOutput().split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        QVERIFY(!lines.isEmpty());
        QCOMPARE(shownRows(model()), lines);
    }

    void menusAndShortcut()
    {
        QVERIFY(form->folderList()->actions().contains(form->targetCheckAction()));
        QVERIFY(form->resultList()->actions().contains(form->targetCheckAction()));
        QCOMPARE(form->folderList()->contextMenuPolicy(), Qt::ActionsContextMenu);
        QCOMPARE(form->targetCheckAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));

        listFolder(tree->path());
        target.start = false;
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        for (QWidget* focus :
             std::initializer_list<QWidget*>{form->folderList(), form->resultList(), form->lengthEdit()}) {
            const int before = target.shown;
            focus->setFocus();
            QTest::keyClick(focus, Qt::Key_T, Qt::ControlModifier);
            QCOMPARE(target.shown, before + 1);
        }
    }

    // While a search runs the item is off, and asked for anyway it says why and opens nothing.
    void refusedWhileASearchRuns()
    {
        listFolder(tree->path());
        std::atomic<bool> release{false};
        form->searchRun().setBeforeEnter([&](std::string_view) {
            while (!release.load())
                QThread::msleep(1);
        });
        form->lengthEdit()->setText("1");
        form->comparisonCombo()->setCurrentIndex(1);
        form->startButton()->click();
        QVERIFY(!form->targetCheckAction()->isEnabled());
        form->onCheckForTargetClicked();
        QCOMPARE(target.shown, 0);
        QCOMPARE(lastMessage(), QStringLiteral("Wait until the search has ended."));
        release = true;
        QTRY_COMPARE_WITH_TIMEOUT(countDoneMessages(dialogs), 1, 10000);
        QVERIFY(form->targetCheckAction()->isEnabled());
    }

    // The trash and the move take files: a checked folder row is named and left, still checked, while the
    // checked files go.
    void folderRowsAreLeftByTrashAndMove_data()
    {
        QTest::addColumn<bool>("trash");
        QTest::newRow("trash") << true;
        QTest::newRow("move") << false;
    }
    void folderRowsAreLeftByTrashAndMove()
    {
        QFETCH(bool, trash);
        QTemporaryDir moveTo;
        const QString folder = tree->path() + "/trail.";
        model().appendRow(QFile::encodeName(folder + '/').toStdString(), 0);
        addResult(model(), tree->path() + "/a:b.txt");
        model().setAllChecked(true);
        if (trash) {
            dialogs.answers.enqueue(Answer::Yes);
            form->trashButton()->click();
        } else {
            dialogs.directories.enqueue(moveTo.path());
            form->moveButton()->click();
        }
        QVERIFY(!QFile::exists(tree->path() + "/a:b.txt"));
        QCOMPARE(QFile::exists(moveTo.path() + "/a:b.txt"), !trash);
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(model().rowCount(), 1);
        QCOMPARE(model().nativePath(0), QFile::encodeName(folder + '/'));
        QVERIFY(model().isChecked(0));
        QCOMPARE(dialogs.countMessages(QStringLiteral("These checked rows are folders and were left as they "
                                                      "are:\n") +
                                       folder +
                                       (trash ? "/: a folder; only files are sent to the trash"
                                              : "/: a folder; only files are moved")),
                 1);
    }

    // Open hands a folder row's folder itself to the desktop.
    void openFolderRow()
    {
        XdgOpenStub stub;
        model().appendRow(QFile::encodeName(tree->path() + "/trail./").toStdString(), 0);
        form->resultList()->selectRow(0);
        form->openFileButton()->click();
        QTRY_COMPARE(stub.launches().size(), 1);
        QCOMPARE(QUrl(stub.launches().first()).toLocalFile(), tree->path() + "/trail.");
    }
};

LENTROVA_TEST_MAIN(TestTargetWindow)
#include "test_targetwindow.moc"
