// SPDX-License-Identifier: MIT
// Shortening checked names and undoing it, through the window's context menu, on real files.
#include "app/fileoperationgate.h"
#include "app/mainwindow.h"
#include "fileops/renamejournal.h"
#include "results/resultmodel.h"
#include "services/settings.h"
#include "support/duringhandler.h"
#include "support/filetree.h"
#include "support/scriptedshorten.h"
#include "support/testform.h"
#include "support/testmain.h"
#include "ui/fileprogresswindow.h"
#include "ui/resultlistview.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTimer>

#include <unistd.h>

namespace {
struct Row
{
    QByteArray path;
    int length;
    bool checked;
    bool operator==(const Row&) const = default;
};

char* toString(const Row& row)
{
    return QTest::toString(row.path + ' ' + QByteArray::number(row.length) + (row.checked ? " checked" : ""));
}

const QString Menu = QString::fromUtf8("Shorten Checked Names\u2026");
} // namespace

class TestShortenNames : public QObject
{
    Q_OBJECT

    ScriptedDialogs dialogs;
    ScriptedShorten shorten;
    QTemporaryDir install;
    std::unique_ptr<MainWindow> form;

    ResultModel& model() const { return *form->resultModel(); }

    QList<Row> rows() const
    {
        QList<Row> out;
        for (int r = 0; r < model().rowCount(); ++r)
            out.append({model().nativePath(r), model().measuredLength(r), model().isChecked(r)});
        return out;
    }

    void addRow(const QByteArray& path, bool checked = true)
    {
        const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
        model().appendRow(std::string_view(path.constData(), std::size_t(path.size())),
                          quint16(QString::fromUtf8(name).size()));
        model().setChecked(model().rowCount() - 1, checked);
    }

    // Files enough for a shortening that runs a while, each listed and checked.
    bool addCheckedFiles(const QByteArray& folder, int count)
    {
        ResultBatch batch;
        for (int i = 0; i < count; ++i) {
            const QByteArray path = folder + "file-with-a-long-name-" + QByteArray::number(i);
            if (!FileTree::write(path, ""))
                return false;
            batch.add(std::string_view(path.constData(), std::size_t(path.size())), 1);
        }
        model().appendBatch(batch);
        model().setAllChecked(true);
        return true;
    }

    // Fills the list as Start Finding does, with the criteria given.
    bool search(const QByteArray& folder, const QString& length, int comparison)
    {
        form->folderModel()->appendRow(new QStandardItem(QFile::decodeName(folder)));
        form->lengthEdit()->setText(length);
        form->comparisonCombo()->setCurrentIndex(comparison);
        const int before = dialogs.countMessages(QStringLiteral("Done."));
        form->startButton()->click();
        return QTest::qWaitFor([&] { return dialogs.countMessages(QStringLiteral("Done.")) == before + 1; },
                               20000);
    }

    // Messages other than the search's "Done.".
    QList<ScriptedDialogs::Message> told() const
    {
        QList<ScriptedDialogs::Message> out;
        for (const ScriptedDialogs::Message& m : dialogs.messages)
            if (m.text != QStringLiteral("Done."))
                out.append(m);
        return out;
    }

    static QByteArray folderOf(const QByteArray& path) { return path.left(path.lastIndexOf('/') + 1); }

private slots:
    void init()
    {
        dialogs = ScriptedDialogs();
        shorten = ScriptedShorten();
        QSettings(QSettings::IniFormat, QSettings::UserScope, SettingsApp).clear();
        FileTree::removeTree(qgetenv("XDG_DATA_HOME") + "/lentrova");
        form = makeShortenWindow(dialogs, shorten, install.path());
    }

    void cleanup() { form.reset(); }

    void menuItemsFollowTheCheckingItems()
    {
        const QList<QAction*> items = form->resultList()->actions();
        QVERIFY(items.size() >= 4);
        QVERIFY(items[items.size() - 4]->isSeparator());
        QCOMPARE(items[items.size() - 3]->text(), Menu);
        QCOMPARE(items[items.size() - 2]->text(), QString::fromUtf8("Fix Checked Names For Target\u2026"));
        QCOMPARE(items.last()->text(), QStringLiteral("Undo Last Renaming"));
        QCOMPARE(form->shortenNamesAction(), items[items.size() - 3]);
    }

    void offeredLimit_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("comparison");
        QTest::addColumn<QString>("offered");
        QTest::newRow("greater than, characters") << "12" << 1 << "12";
        QTest::newRow("greater than, bytes") << "12 Bytes" << 1 << "12 bytes";
        QTest::newRow("greater than, path") << "12 path" << 1 << "";
        QTest::newRow("equal to") << "22" << 0 << "";
        QTest::newRow("less than") << "40" << 2 << "";
    }

    // The dialog offers what a Greater Than search looked for; Cancel leaves files and rows alone.
    void offeredLimit()
    {
        QFETCH(QString, length);
        QFETCH(int, comparison);
        QFETCH(QString, offered);
        ScratchDir dir;
        const QByteArray file = dir.path() + "/a-rather-long-name.txt";
        QVERIFY(FileTree::write(file, "x"));
        QVERIFY(search(dir.path(), length, comparison));
        QCOMPARE(model().rowCount(), 1);
        model().setAllChecked(true);
        const QList<Row> before = rows();
        shorten.limits.enqueue(QStringLiteral("8"));
        shorten.apply = false;
        form->shortenNamesAction()->trigger();
        QCOMPARE(shorten.offered, QStringList{offered});
        QCOMPARE(rows(), before);
        QCOMPARE(FileTree::list(dir.path()), QList<QByteArray>{"a-rather-long-name.txt"});
        QVERIFY(told().isEmpty());
    }

    void nothingOfferedWithoutSearch()
    {
        ScratchDir dir;
        QVERIFY(FileTree::write(dir.path() + "/long-name.txt", "x"));
        addRow(dir.path() + "/long-name.txt");
        shorten.apply = false;
        form->shortenNamesAction()->trigger();
        QCOMPARE(shorten.offered, QStringList{QString()});
    }

    void nothingChecked()
    {
        ScratchDir dir;
        QVERIFY(FileTree::write(dir.path() + "/long-name.txt", "x"));
        addRow(dir.path() + "/long-name.txt", false);
        form->shortenNamesAction()->trigger();
        QVERIFY(shorten.offered.isEmpty());
        QCOMPARE(told().size(), 1);
        QCOMPARE(told()[0].style, 0);
        QCOMPARE(told()[0].title, QStringLiteral("Lentrova"));
    }

    void applyAndUndo_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("accentedAfter");
        QTest::addColumn<int>("plainAfter");
        QTest::newRow("characters") << "12" << 10 << 10;
        QTest::newRow("bytes") << "12 bytes" << 15 << 10;
        QTest::newRow("path") << "12 path" << 14 << 14;
        QTest::newRow("path bytes") << "12 path bytes" << 19 << 14;
    }

    // Renamed rows keep their place and check mark and show the new name's length in the unit the search
    // counted; undo brings back the names, and the lengths the search showed.
    void applyAndUndo()
    {
        QFETCH(QString, length);
        QFETCH(int, accentedAfter);
        QFETCH(int, plainAfter);
        ScratchDir dir;
        const QByteArray sub = dir.path() + "/sub/";
        const QByteArray accented = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9-long-name.txt";
        QVERIFY(FileTree::makeFolder(sub));
        for (const QByteArray& name : {accented, QByteArray("plain-long-name.txt"),
                                       QByteArray("unchecked-long-name.txt"), QByteArray("s.txt")})
            QVERIFY(FileTree::write(sub + name, name));
        QVERIFY(search(dir.path(), length, 1));
        QCOMPARE(model().rowCount(), 3);
        for (int r = 0; r < 3; ++r)
            model().setChecked(r, !model().nativePath(r).contains("unchecked"));
        const QList<Row> found = rows();

        shorten.limits.enqueue(QStringLiteral("10"));
        form->shortenNamesAction()->trigger();
        QList<Row> expected = found;
        for (Row& row : expected) {
            if (row.path.endsWith(accented)) {
                row.path = sub + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9-.txt";
                row.length = accentedAfter;
            } else if (row.path.endsWith("plain-long-name.txt")) {
                row.path = sub + "plain-.txt";
                row.length = plainAfter;
            }
        }
        QCOMPARE(rows(), expected);
        for (const Row& row : rows())
            QVERIFY(FileTree::exists(row.path));
        QCOMPARE(FileTree::read(sub + "plain-.txt"), QByteArray("plain-long-name.txt"));
        QVERIFY(told().isEmpty());
        QCOMPARE(form->pointer().value(), Pointer::Default);

        form->undoShorteningAction()->trigger();
        QCOMPARE(rows(), found);
        QCOMPARE(FileTree::read(sub + accented), accented);
        QCOMPARE(FileTree::list(sub).size(), 4);
        QVERIFY(told().isEmpty());
    }

    // Another program takes the planned name after the preview: the file gets the next counter, and its row
    // shows the name it really got.
    void nameTakenBetweenPreviewAndApply()
    {
        ScratchDir dir;
        const QByteArray f = dir.path() + '/';
        QVERIFY(FileTree::write(f + "abcdefghij.txt", "mine"));
        addRow(f + "abcdefghij.txt");
        shorten.limits.enqueue(QStringLiteral("8"));
        shorten.beforeAnswer = [&](ShortenDialog& dialog) {
            QCOMPARE(dialog.plan().at(0).newName, QByteArray("abcd.txt"));
            QVERIFY(FileTree::write(f + "abcd.txt", "theirs"));
        };
        form->shortenNamesAction()->trigger();
        QCOMPARE(rows(), (QList<Row>{{f + "ab~2.txt", 8, true}}));
        QCOMPARE(FileTree::read(f + "ab~2.txt"), QByteArray("mine"));
        QCOMPARE(FileTree::read(f + "abcd.txt"), QByteArray("theirs"));
        QVERIFY(told().isEmpty());

        form->undoShorteningAction()->trigger();
        QCOMPARE(rows(), (QList<Row>{{f + "abcdefghij.txt", 14, true}}));
        QCOMPARE(FileTree::read(f + "abcd.txt"), QByteArray("theirs"));
    }

    // Files gone since the preview are named in one message; the others are renamed.
    void failuresInOneMessage()
    {
        ScratchDir dir;
        const QByteArray f = dir.path() + '/';
        for (const char* name : {"first-long-name", "second-long-name", "third-long-name"}) {
            QVERIFY(FileTree::write(f + name, name));
            addRow(f + name);
        }
        shorten.limits.enqueue(QStringLiteral("5"));
        shorten.beforeAnswer = [&](ShortenDialog&) {
            QVERIFY(::unlink((f + "first-long-name").constData()) == 0);
            QVERIFY(::unlink((f + "third-long-name").constData()) == 0);
        };
        form->shortenNamesAction()->trigger();
        QCOMPARE(rows(), (QList<Row>{{f + "first-long-name", 15, true},
                                     {f + "secon", 5, true},
                                     {f + "third-long-name", 15, true}}));
        QCOMPARE(told().size(), 1);
        QCOMPARE(told()[0].style, 48);
        QCOMPARE(told()[0].title, QStringLiteral("Lentrova"));
        QCOMPARE(told()[0].text, "These files were not renamed:\n" + dir.qpath() +
                                     "/first-long-name (No such file or directory)\n" + dir.qpath() +
                                     "/third-long-name (No such file or directory)");
    }

    // Without a record to undo them by, nothing is renamed.
    void journalCannotBeWritten()
    {
        QVERIFY(FileTree::write(qgetenv("XDG_DATA_HOME") + "/lentrova", "in the way"));
        ScratchDir dir;
        QVERIFY(FileTree::write(dir.path() + "/long-name.txt", "x"));
        addRow(dir.path() + "/long-name.txt");
        const QList<Row> before = rows();
        shorten.limits.enqueue(QStringLiteral("6"));
        form->shortenNamesAction()->trigger();
        QCOMPARE(rows(), before);
        QCOMPARE(FileTree::list(dir.path()), QList<QByteArray>{"long-name.txt"});
        QCOMPARE(told().size(), 1);
        QCOMPARE(told()[0].style, 48);
        QVERIFY(told()[0].text.startsWith(QStringLiteral("Nothing was renamed")));
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    void undoWithNothingToUndo()
    {
        form->undoShorteningAction()->trigger();
        QCOMPARE(told().size(), 1);
        QCOMPARE(told()[0].text, QStringLiteral("There is no renaming to undo."));
        QCOMPARE(told()[0].style, 0);
        QCOMPARE(told()[0].title, QStringLiteral("Lentrova"));
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    // A file whose old name was taken since stays at its new name, and its row with it.
    void undoReportsWhatItCannotUndo()
    {
        ScratchDir dir;
        const QByteArray f = dir.path() + '/';
        for (const char* name : {"first-long-name", "second-long-name"}) {
            QVERIFY(FileTree::write(f + name, name));
            addRow(f + name);
        }
        shorten.limits.enqueue(QStringLiteral("5"));
        form->shortenNamesAction()->trigger();
        QCOMPARE(FileTree::list(dir.path()), (QList<QByteArray>{"first", "secon"}));
        QVERIFY(FileTree::write(f + "first-long-name", "newcomer"));

        form->undoShorteningAction()->trigger();
        QCOMPARE(rows(), (QList<Row>{{f + "first", 5, true}, {f + "second-long-name", 16, true}}));
        QCOMPARE(FileTree::read(f + "first-long-name"), QByteArray("newcomer"));
        QCOMPARE(FileTree::read(f + "first"), QByteArray("first-long-name"));
        QCOMPARE(told().size(), 1);
        QCOMPARE(told()[0].style, 48);
        QCOMPARE(told()[0].text,
                 "These names were not changed back:\n" + dir.qpath() + "/first: File exists");
    }

    void undoMessage_data()
    {
        QTest::addColumn<bool>("firstBackByHand"); // "first" was renamed back to its old name by hand
        QTest::addColumn<bool>("secondOldTaken");  // a new file took "second-long-name"
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("text"); // %1: the folder
        QTest::newRow("renamed back by hand")
            << true << false << 0 << "These files had their old names back already:\n%1/first-long-name";
        QTest::newRow("and one not undone")
            << true << true << 48
            << "These names were not changed back:\n%1/secon: File exists\n\n"
               "These files had their old names back already:\n%1/first-long-name";
    }

    // Files found at their old names are named as such, not as missing, and their rows show the old names.
    void undoMessage()
    {
        QFETCH(bool, firstBackByHand);
        QFETCH(bool, secondOldTaken);
        QFETCH(int, style);
        QFETCH(QString, text);
        ScratchDir dir;
        const QByteArray f = dir.path() + '/';
        for (const char* name : {"first-long-name", "second-long-name"}) {
            QVERIFY(FileTree::write(f + name, name));
            addRow(f + name);
        }
        shorten.limits.enqueue(QStringLiteral("5"));
        form->shortenNamesAction()->trigger();
        QCOMPARE(FileTree::list(dir.path()), (QList<QByteArray>{"first", "secon"}));
        if (firstBackByHand)
            QVERIFY(::rename((f + "first").constData(), (f + "first-long-name").constData()) == 0);
        if (secondOldTaken)
            QVERIFY(FileTree::write(f + "second-long-name", "newcomer"));

        form->undoShorteningAction()->trigger();
        QCOMPARE(rows(), (QList<Row>{{f + "first-long-name", 15, true},
                                     secondOldTaken ? Row{f + "secon", 5, true}
                                                    : Row{f + "second-long-name", 16, true}}));
        QCOMPARE(told().size(), 1);
        QCOMPARE(told()[0].style, style);
        QCOMPARE(told()[0].text, text.arg(dir.qpath()));
    }

    // While the renames run the window turns with the busy pointer, and a second click on either item is
    // refused with a message rather than nested.
    void busyAndNotReentered()
    {
        ScratchDir dir;
        constexpr int Files = 4000;
        QVERIFY(addCheckedFiles(dir.path() + '/', Files));
        shorten.limits.enqueue(QStringLiteral("8"));
        int pointerDuring = -1;
        std::unique_ptr<DuringHandler> during;
        shorten.beforeAnswer = [&](ShortenDialog&) {
            during = std::make_unique<DuringHandler>([&] {
                pointerDuring = int(form->pointer().value());
                form->shortenNamesAction()->trigger();
                form->undoShorteningAction()->trigger();
            });
        };
        form->shortenNamesAction()->trigger();
        QVERIFY(during && during->ran);
        QCOMPARE(pointerDuring, 11);
        QCOMPARE(shorten.offered.size(), 1);
        QCOMPARE(told().size(), 2);
        for (const ScriptedDialogs::Message& m : told())
            QCOMPARE(m.text, FileOperationGate::busyText());
        QCOMPARE(form->pointer().value(), Pointer::Default);
        const QList<QByteArray> names = FileTree::list(dir.path());
        QCOMPARE(names.size(), Files);
        for (const QByteArray& name : names)
            QVERIFY2(name.size() <= 8, name.constData());
        for (const Row& row : rows())
            QVERIFY(FileTree::exists(row.path));
    }

    // Closing the window stops after the file in hand; every row still names its file, and undo reverses
    // what was done.
    void closeStopsAfterFileInHand()
    {
        ScratchDir dir;
        const QByteArray f = dir.path() + '/';
        constexpr int Files = 4000;
        QVERIFY(addCheckedFiles(f, Files));
        shorten.limits.enqueue(QStringLiteral("8"));
        // Closes the window once the first file has its new name.
        QTimer closer;
        closer.setInterval(0);
        connect(&closer, &QTimer::timeout, [&] {
            if (FileTree::exists(f + "file-wit")) {
                closer.stop();
                form->close();
            }
        });
        shorten.beforeAnswer = [&](ShortenDialog&) { closer.start(); };
        form->shortenNamesAction()->trigger();
        QVERIFY(!closer.isActive());
        QVERIFY(told().isEmpty());
        int renamed = 0;
        for (const Row& row : rows()) {
            QVERIFY(FileTree::exists(row.path));
            renamed += row.path.size() - f.size() <= 8;
        }
        QVERIFY(renamed > 0);
        QVERIFY(renamed < Files);

        form->undoShorteningAction()->trigger();
        QVERIFY(told().isEmpty());
        for (const Row& row : rows())
            QVERIFY(row.path.contains("file-with-a-long-name-") && FileTree::exists(row.path));
        QCOMPARE(FileTree::list(dir.path()).size(), Files);
    }

    // One operation on the checked rows at a time: whatever is asked while another runs is refused with one
    // message and changes nothing; the running one ends as it would alone.
    void oneOperationAtATime_data()
    {
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("asked");
        const QStringList pairs{"shorten trash", "shorten move",  "shorten undo", "undo trash",
                                "undo shorten",  "trash shorten", "trash move",   "trash undo",
                                "trash trash",   "move trash",    "move shorten", "move undo"};
        for (const QString& pair : pairs)
            QTest::newRow(qPrintable(pair)) << pair.section(' ', 0, 0) << pair.section(' ', 1, 1);
    }

    void oneOperationAtATime()
    {
        QFETCH(QString, running);
        QFETCH(QString, asked);
        ScratchDir dir, target;
        const QByteArray f = dir.path() + '/';
        constexpr int Files = 3000;
        QVERIFY(addCheckedFiles(f, Files));
        if (running == QStringLiteral("undo")) {
            shorten.limits.enqueue(QStringLiteral("8"));
            form->shortenNamesAction()->trigger();
            QVERIFY(told().isEmpty());
        }
        const auto start = [&](const QString& which) {
            if (which == QStringLiteral("shorten"))
                form->shortenNamesAction()->trigger();
            else if (which == QStringLiteral("undo"))
                form->undoShorteningAction()->trigger();
            else if (which == QStringLiteral("trash"))
                form->trashButton()->click();
            else
                form->moveButton()->click();
        };
        dialogs.answers.enqueue(Answer::Yes); // the trash's question, asked once
        dialogs.directories.enqueue(target.qpath());
        shorten.limits.enqueue(QStringLiteral("8"));
        const int offeredBefore = shorten.offered.size();
        DuringHandler during([&] { start(asked); });
        start(running);
        QVERIFY(during.ran);

        QCOMPARE(dialogs.countMessages(FileOperationGate::busyText()), 1);
        QCOMPARE(dialogs.answers.size(), running == QStringLiteral("trash") ? 0 : 1);
        QCOMPARE(dialogs.directoryStarts.size(), running == QStringLiteral("move") ? 1 : 0);
        QCOMPARE(shorten.offered.size() - offeredBefore, running == QStringLiteral("shorten") ? 1 : 0);
        QCOMPARE(told().size(), running == QStringLiteral("trash") ? 2 : 1);
        QCOMPARE(form->pointer().value(), Pointer::Default);
        const QList<QByteArray> left = FileTree::list(dir.path());
        if (running == QStringLiteral("trash") || running == QStringLiteral("move")) {
            QVERIFY(left.isEmpty());
            QCOMPARE(model().rowCount(), 0);
            QCOMPARE(FileTree::list(target.path()).size(), running == QStringLiteral("move") ? Files : 0);
            return;
        }
        QCOMPARE(left.size(), Files);
        for (const QByteArray& name : left)
            QVERIFY2(running == QStringLiteral("shorten") ? name.size() <= 8
                                                          : name.startsWith("file-with-a-long"),
                     name.constData());
        for (const Row& row : rows())
            QVERIFY(FileTree::exists(row.path));
    }

    // Cancel in the progress window stops after the file in hand: the journal says done for exactly the files
    // that have their new name, the message counts them, and undo gives every name back.
    void cancelLeavesTheJournalTrue()
    {
        ScratchDir dir;
        const QByteArray f = dir.path() + '/';
        constexpr int Files = 3000;
        QVERIFY(addCheckedFiles(f, Files));
        shorten.limits.enqueue(QStringLiteral("8"));
        QTimer canceller;
        canceller.setInterval(0);
        connect(&canceller, &QTimer::timeout, [&] {
            auto* window = form->findChild<FileProgressWindow*>();
            if (!window || !FileTree::exists(f + "file-wit"))
                return;
            canceller.stop();
            window->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        });
        shorten.beforeAnswer = [&](ShortenDialog&) { canceller.start(); };
        form->shortenNamesAction()->trigger();
        QVERIFY(!canceller.isActive());

        QString error;
        const std::unique_ptr<RenameJournal> journal = RenameJournal::openLatestUndoable(&error);
        QVERIFY2(journal, qPrintable(error));
        int done = 0;
        for (int i = 0; i < journal->size(); ++i) {
            const RenameEntry& entry = journal->entry(i);
            const bool renamed = journal->status(i) == RenameJournal::Status::Done;
            done += renamed;
            QVERIFY2(FileTree::exists(entry.folder + (renamed ? entry.newName : entry.oldName)),
                     entry.oldName.constData());
            QVERIFY(!FileTree::exists(entry.folder + (renamed ? entry.oldName : entry.newName)));
        }
        QVERIFY(done > 0);
        QVERIFY(done < Files);
        QCOMPARE(told().size(), 1);
        QCOMPARE(told()[0].text, QStringLiteral("%1 of %2 files %3 renamed; the rest were cancelled.")
                                     .arg(done)
                                     .arg(Files)
                                     .arg(done == 1 ? "was" : "were"));
        for (const Row& row : rows())
            QVERIFY(FileTree::exists(row.path));

        form->undoShorteningAction()->trigger();
        QCOMPARE(told().size(), 1);
        for (const Row& row : rows())
            QVERIFY(row.path.contains("file-with-a-long-name-") && FileTree::exists(row.path));
        QCOMPARE(FileTree::list(dir.path()).size(), Files);
    }
};

LENTROVA_TEST_MAIN(TestShortenNames)
#include "test_shortennames.moc"
