// SPDX-License-Identifier: MIT
#include "app/fileoperationgate.h"
#include "app/mainwindow.h"
#include "platform/filemove.h"
#include "platform/trash.h"
#include "results/resultmodel.h"
#include "services/settings.h"
#include "services/shell.h"
#include "support/duringhandler.h"
#include "support/filetree.h"
#include "support/scripteddialogs.h"
#include "support/testform.h"
#include "support/testmain.h"

#include "ui/fileprogresswindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <atomic>

#include <unistd.h>

namespace {
QString lastFolderSetting()
{
    return readSetting(SettingsApp, SettingsSection, QStringLiteral("LastFolder"), QStringLiteral("<unset>"));
}

// Holds the copying thread at the nth time it reaches a copy step, until released.
struct CopyGate
{
    std::atomic<int> seen{0};
    std::atomic<bool> reached{false};
    std::atomic<bool> released{false};
    FaultHookReset reset;

    CopyGate(CopyStep at, int nth, qint64 offset = -1)
    {
        setCopyFaultHook([=, this](CopyStep step, qint64 where) {
            if (step != at || (offset >= 0 && where != offset) || ++seen != nth)
                return 0;
            reached = true;
            for (int i = 0; i < 2000 && !released; ++i)
                QThread::msleep(5);
            return 0;
        });
    }
};

// Once the operation's progress window is up and the gate reached, runs act on the window, then releases
// the gate.
struct WhenProgressShown
{
    QTimer timer;
    bool ran = false;
    WhenProgressShown(QWidget& mainWindow, CopyGate& gate, std::function<void(FileProgressWindow&)> act)
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this, &mainWindow, &gate, act] {
            auto* window = mainWindow.findChild<FileProgressWindow*>();
            if (ran || !window || !window->isVisible() || !gate.reached)
                return;
            ran = true;
            timer.stop();
            act(*window);
            gate.released = true;
        });
        timer.start();
    }
};

// Counts the progress windows shown anywhere.
struct ProgressWindowShows : QObject
{
    int shows = 0;
    ProgressWindowShows() { qApp->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        shows += event->type() == QEvent::Show && qobject_cast<FileProgressWindow*>(watched);
        return false;
    }
};

QString labelText(const FileProgressWindow& window, const char* name)
{
    return window.findChild<QLabel*>(name)->text();
}
} // namespace

class TestFileActions : public QObject
{
    Q_OBJECT

    ScriptedDialogs dialogs;
    QTemporaryDir emptyInstall;

    std::unique_ptr<MainWindow> makeForm() { return makeTestWindow(dialogs, emptyInstall.path()); }

    static void addRow(MainWindow& form, const QByteArray& path, bool checked)
    {
        form.resultModel()->appendRow(std::string_view(path.constData(), size_t(path.size())), 1);
        form.resultModel()->setChecked(form.resultModel()->rowCount() - 1, checked);
    }

    // Many empty files, all listed and checked, added to the list in one batch.
    static void addManyFiles(MainWindow& form, const QByteArray& folder, int count)
    {
        ResultBatch batch;
        for (int i = 0; i < count; ++i) {
            const QByteArray path = folder + "/f" + QByteArray::number(i);
            QVERIFY(FileTree::write(path, ""));
            batch.add(std::string_view(path.constData(), size_t(path.size())), 1);
        }
        form.resultModel()->appendBatch(batch);
        form.resultModel()->setAllChecked(true);
    }

    static QList<bool> checks(MainWindow& form)
    {
        QList<bool> out;
        for (int r = 0; r < form.resultModel()->rowCount(); ++r)
            out.append(form.resultModel()->isChecked(r));
        return out;
    }

    static QList<QByteArray> listed(MainWindow& form)
    {
        QList<QByteArray> out;
        for (int r = 0; r < form.resultModel()->rowCount(); ++r)
            out.append(form.resultModel()->nativePath(r));
        return out;
    }

private slots:
    void init()
    {
        dialogs = ScriptedDialogs();
        QSettings(QSettings::IniFormat, QSettings::UserScope, SettingsApp).clear();
    }

    void cleanupTestCase() { FileTree::removeTree(homeTrashFolder()); }

    void trashNothingCheckedSaysNothing()
    {
        ScratchDir dir;
        QVERIFY(FileTree::write(dir.path() + "/a", "a"));
        auto form = makeForm();
        addRow(*form, dir.path() + "/a", false);
        form->trashButton()->click();
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(form->resultModel()->rowCount(), 1);
        QVERIFY(FileTree::exists(dir.path() + "/a"));
    }

    void trashQuestion_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("checkedCount");
        QTest::addColumn<QString>("question");
        QTest::newRow("declined, one") << Answer::No << 1 << "Send 1 file to the trash?";
        QTest::newRow("declined, two") << Answer::No << 2 << "Send 2 files to the trash?";
        QTest::newRow("confirmed") << Answer::Yes << 2 << "Send 2 files to the trash?";
    }

    // The program asks first; declining changes nothing, confirming trashes exactly the checked files.
    void trashQuestion()
    {
        QFETCH(Answer, answer);
        QFETCH(int, checkedCount);
        QFETCH(QString, question);
        ScratchDir dir;
        const QByteArray d = dir.path();
        auto form = makeForm();
        for (int i = 0; i < 5; ++i) {
            QVERIFY(FileTree::write(d + '/' + QByteArray::number(i), "x"));
            addRow(*form, d + '/' + QByteArray::number(i), i == 1 || (checkedCount == 2 && i == 3));
        }
        dialogs.answers.enqueue(answer);
        form->trashButton()->click();

        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].text, question);
        QCOMPARE(dialogs.messages[0].style, 4);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Lentrova"));
        QCOMPARE(form->pointer().value(), Pointer::Default);
        if (answer == Answer::No) {
            QCOMPARE(form->resultModel()->rowCount(), 5);
            QCOMPARE(FileTree::list(d).size(), 5);
            return;
        }
        QCOMPARE(listed(*form), (QList<QByteArray>{d + "/0", d + "/2", d + "/4"}));
        QCOMPARE(FileTree::list(d), (QList<QByteArray>{"0", "2", "4"}));
        // Each trashed file is in the trash with an entry that restores it to where it was.
        QStringList restorable;
        const QByteArray trash = homeTrashFolder();
        for (const QByteArray& info : FileTree::list(trash + "/info")) {
            const QByteArray text = FileTree::read(trash + "/info/" + info);
            const QByteArray path = QByteArray::fromPercentEncoding(text.split('\n').value(1).mid(5));
            if (path.startsWith(d) && text.contains("\nDeletionDate=") &&
                FileTree::exists(trash + "/files/" + info.chopped(10)))
                restorable.append(QString::fromUtf8(path.mid(d.size())));
        }
        restorable.sort();
        QCOMPARE(restorable, (QStringList{"/1", "/3"}));
    }

    void trashFailuresInOneMessage()
    {
        ScratchDir dir;
        const QByteArray d = dir.path();
        auto form = makeForm();
        QVERIFY(FileTree::write(d + "/file", "x"));
        addRow(*form, d + "/file", true);
        for (int i = 0; i < 22; ++i) {
            QVERIFY(FileTree::makeFolder(d + "/folder" + QByteArray::number(i)));
            addRow(*form, d + "/folder" + QByteArray::number(i), true);
        }
        dialogs.answers.enqueue(Answer::Yes);
        form->trashButton()->click();
        QCOMPARE(dialogs.messages.size(), 2);
        const ScriptedDialogs::Message& told = dialogs.messages[1];
        QCOMPARE(told.style, 48);
        QCOMPARE(told.title, QStringLiteral("Lentrova"));
        const QStringList lines = told.text.split('\n');
        QCOMPARE(lines.size(), 22);
        QCOMPARE(lines[1], QString::fromUtf8(d) + "/folder0 (it is a folder, not a file)");
        QCOMPARE(lines.last(), QStringLiteral("... and 2 more."));
        QCOMPARE(form->resultModel()->rowCount(), 22);
        QVERIFY(dialogs.errorTexts().isEmpty());
    }

    // A statement that fails is reported against its label, and nothing goes to the trash unasked.
    void trashErrorBoxCarriesLabel()
    {
        ScratchDir dir;
        QVERIFY(FileTree::write(dir.path() + "/a", "a"));
        auto form = makeForm();
        addRow(*form, dir.path() + "/a", true);
        dialogs.onMessage = [](const ScriptedDialogs::Message& m) {
            if (m.style == 4)
                throw AppError(QStringLiteral("Permission denied"));
        };
        form->trashButton()->click();
        QCOMPARE(
            dialogs.errorTexts(),
            QStringList{"Permission denied\r\nin Zimbrel2021/08/31.Form1.PushButton10_Click at line 122\r\r"
                        "Please email screenshot of this message to support@quenlor.example.com"});
        QVERIFY(FileTree::exists(dir.path() + "/a"));
        QCOMPARE(form->resultModel()->rowCount(), 1);
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    void trashShowsBusyPointer()
    {
        ScratchDir dir;
        auto form = makeForm();
        addManyFiles(*form, dir.path(), 1500);
        dialogs.answers.enqueue(Answer::Yes);
        int pointerDuring = -1;
        int rowsDuring = -1;
        std::unique_ptr<DuringHandler> during;
        dialogs.onMessage = [&](const ScriptedDialogs::Message& message) {
            if (message.style != int(MessageStyle::YesNo))
                return;
            during = std::make_unique<DuringHandler>([&] {
                pointerDuring = int(form->pointer().value());
                rowsDuring = form->resultModel()->rowCount();
                form->trashButton()->click(); // refused while the first click runs
            });
        };
        form->trashButton()->click();
        QCOMPARE(pointerDuring, 11);
        QCOMPARE(rowsDuring, 1500);
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages[1].text, FileOperationGate::busyText());
        QCOMPARE(form->pointer().value(), Pointer::Default);
        QCOMPARE(form->resultModel()->rowCount(), 0);
    }

    // Closing the window ends the trash run before the next file; the program's end is not held up.
    void closeStopsTrash()
    {
        ScratchDir dir;
        auto form = makeForm();
        addManyFiles(*form, dir.path(), 1500);
        dialogs.answers.enqueue(Answer::Yes);
        std::unique_ptr<DuringHandler> during;
        dialogs.onMessage = [&](const ScriptedDialogs::Message&) {
            during = std::make_unique<DuringHandler>([&] { form->close(); });
        };
        form->trashButton()->click();
        QVERIFY(during && during->ran);
        const int left = int(FileTree::list(dir.path()).size());
        QVERIFY(left > 0);
        QCOMPARE(form->resultModel()->rowCount(), left);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    void moveCancelWritesNothing()
    {
        ScratchDir from;
        QVERIFY(FileTree::write(from.path() + "/a", "a"));
        storeSetting(SettingsApp, SettingsSection, QStringLiteral("LastFolder"),
                     QStringLiteral("/old/place"));
        auto form = makeForm();
        addRow(*form, from.path() + "/a", true);
        form->moveButton()->click();
        // The remembered folder is gone: the picker gets no start folder rather than one to test again.
        QCOMPARE(dialogs.directoryStarts, QStringList{QString()});
        QCOMPARE(lastFolderSetting(), QStringLiteral("/old/place"));
        QVERIFY(FileTree::exists(from.path() + "/a"));
        QCOMPARE(form->resultModel()->rowCount(), 1);
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    void moveWithNothingCheckedStillRemembersFolder()
    {
        ScratchDir from, to;
        QVERIFY(FileTree::write(from.path() + "/a", "a"));
        auto form = makeForm();
        addRow(*form, from.path() + "/a", false);
        dialogs.directories.enqueue(to.qpath());
        form->moveButton()->click();
        QCOMPARE(dialogs.directoryStarts, QStringList{QString()});
        QCOMPARE(lastFolderSetting(), to.qpath());
        QVERIFY(FileTree::exists(from.path() + "/a"));
        QCOMPARE(form->resultModel()->rowCount(), 1);
        QVERIFY(dialogs.messages.isEmpty());

        form->moveButton()->click(); // the next picker opens where the last move went
        QCOMPARE(dialogs.directoryStarts.last(), to.qpath());
    }

    // Three adjacent checked rows among unchecked ones: all three files move; the rest keep their order.
    void moveCheckedRows()
    {
        ScratchDir from, to;
        const QByteArray f = from.path();
        auto form = makeForm();
        const QList<QByteArray> names{"u1", "c1", "c2\xfe", "c3", "u2"};
        for (const QByteArray& name : names) {
            QVERIFY(FileTree::write(f + '/' + name, name));
            addRow(*form, f + '/' + name, name.startsWith('c'));
        }
        dialogs.directories.enqueue(to.qpath() + '/');
        form->moveButton()->click();
        QCOMPARE(lastFolderSetting(), to.qpath() + '/');
        QCOMPARE(listed(*form), (QList<QByteArray>{f + "/u1", f + "/u2"}));
        QCOMPARE(FileTree::list(to.path()), (QList<QByteArray>{"c1", "c2\xfe", "c3"}));
        QCOMPARE(FileTree::read(to.path() + "/c2\xfe"), QByteArray("c2\xfe"));
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    // Whatever was not moved is named in one message at the end; those files and rows stay.
    void moveFailuresInOneMessage()
    {
        ScratchDir a, b, to;
        auto form = makeForm();
        QVERIFY(FileTree::write(a.path() + "/same", "a"));
        QVERIFY(FileTree::write(b.path() + "/same", "b"));
        QVERIFY(FileTree::write(a.path() + "/locked", "mine"));
        QVERIFY(FileTree::write(to.path() + "/locked", "theirs", 0444));
        addRow(*form, a.path() + "/same", true);
        addRow(*form, b.path() + "/same", true);
        addRow(*form, a.path() + "/locked", true);
        dialogs.directories.enqueue(to.qpath());
        form->moveButton()->click();

        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].style, 48);
        QCOMPARE(dialogs.messages[0].text,
                 "These files were not moved:\n" + b.qpath() +
                     "/same (a file of that name was moved there just before)\n" + a.qpath() +
                     "/locked (a read-only file of that name is in the target folder)");
        QCOMPARE(listed(*form), (QList<QByteArray>{b.path() + "/same", a.path() + "/locked"}));
        QCOMPARE(FileTree::read(to.path() + "/same"), QByteArray("a"));
        QCOMPARE(FileTree::read(to.path() + "/locked"), QByteArray("theirs"));
        QCOMPARE(FileTree::read(a.path() + "/locked"), QByteArray("mine"));
    }

    // Listed through the real folder, moved into the same folder chosen through a link: the file already
    // there keeps its name and content, and neither namesake replaces it.
    void moveIntoLinkedSpellingOfOwnFolder()
    {
        ScratchDir root;
        const QByteArray r = root.path() + '/';
        QVERIFY(FileTree::makeFolder(r + "src"));
        auto form = makeForm();
        for (const char* folder : {"a", "b", "t"}) {
            QVERIFY(FileTree::makeFolder(r + "src/" + folder));
            QVERIFY(FileTree::write(r + "src/" + folder + "/same.txt", QByteArray(folder).toUpper()));
            addRow(*form, r + "src/" + folder + "/same.txt", true);
        }
        QCOMPARE(::symlink("src", (r + "lnk").constData()), 0);
        dialogs.directories.enqueue(root.qpath() + "/lnk/t");
        form->moveButton()->click();
        QCOMPARE(FileTree::read(r + "src/t/same.txt"), QByteArray("T"));
        QCOMPARE(FileTree::read(r + "src/a/same.txt"), QByteArray("A"));
        QCOMPARE(FileTree::read(r + "src/b/same.txt"), QByteArray("B"));
        QCOMPARE(form->resultModel()->rowCount(), 3);
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages[0].text.startsWith("These files were not moved:\n"));
    }

    // A file of that name in the chosen folder, not part of the move, goes to the trash before it is
    // replaced, and the one message at the end says so.
    void moveTrashesTheFileItReplaces()
    {
        ScratchDir from, to;
        QVERIFY(FileTree::write(from.path() + "/report.txt", "new"));
        QVERIFY(FileTree::write(to.path() + "/report.txt", "earlier"));
        auto form = makeForm();
        addRow(*form, from.path() + "/report.txt", true);
        dialogs.directories.enqueue(to.qpath());
        form->moveButton()->click();
        QCOMPARE(FileTree::read(to.path() + "/report.txt"), QByteArray("new"));
        QCOMPARE(form->resultModel()->rowCount(), 0);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].text, "These files were moved:\n" + to.qpath() +
                                               "/report.txt: replaced; the earlier file is in the trash");
        bool inTrash = false;
        const QByteArray trash = homeTrashFolder();
        for (const QByteArray& info : FileTree::list(trash + "/info"))
            inTrash |=
                FileTree::read(trash + "/info/" + info).contains("Path=" + to.path() + "/report.txt\n") &&
                FileTree::read(trash + "/files/" + info.chopped(10)) == "earlier";
        QVERIFY(inTrash);
    }

    // A failing copy step shows the error box with the row's text, and that file's source is kept.
    void moveErrorBoxNamesFile()
    {
        OtherMount mount;
        if (!mount.usable())
            QSKIP("no second file system to copy to");
        FaultHookReset reset;
        setCopyFaultHook([](CopyStep, qint64) -> int { throw AppError(QStringLiteral("Device not ready")); });
        ScratchDir from;
        const QByteArray source = from.path() + "/k\xe4se.txt";
        QVERIFY(FileTree::write(source, "keep"));
        auto form = makeForm();
        addRow(*form, source, true);
        dialogs.directories.enqueue(QFile::decodeName(mount.path()));
        form->moveButton()->click();

        const QStringList boxes = dialogs.errorTexts();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0],
                 "Device not ready\r\nin Zimbrel2021/08/31.Form1.PushButton11_Click at line 126\r\r"
                 "Please email screenshot of this message to support@quenlor.example.com\r\rFile: " +
                     QString::fromUtf8(source));
        QCOMPARE(FileTree::read(source), QByteArray("keep"));
        QCOMPARE(form->resultModel()->rowCount(), 1);
        QCOMPARE(FileTree::list(mount.path()), QList<QByteArray>());
        QCOMPARE(form->pointer().value(), Pointer::Default);
        QCOMPARE(dialogs.messages.size(), 2); // the box, then the closing list
    }

    // While a large file is copied the window keeps turning: the pointer is busy and clicks on either file
    // button are refused with a message rather than nested.
    void moveIsBusyAndNotReentered()
    {
        OtherMount mount;
        if (!mount.usable())
            QSKIP("no second file system to copy to");
        FaultHookReset reset;
        setCopyFaultHook([](CopyStep step, qint64) {
            if (step == CopyStep::Write)
                QThread::msleep(15);
            return 0;
        });
        ScratchDir from;
        QVERIFY(FileTree::write(from.path() + "/big", QByteArray(4 << 20, 'b')));
        auto form = makeForm();
        addRow(*form, from.path() + "/big", true);
        dialogs.directories.enqueue(QFile::decodeName(mount.path()));
        int pointerDuring = -1;
        DuringHandler during([&] {
            pointerDuring = int(form->pointer().value());
            form->moveButton()->click();
            form->trashButton()->click();
        });
        form->moveButton()->click();
        QVERIFY(during.ran);
        QCOMPARE(pointerDuring, 11);
        QCOMPARE(dialogs.directoryStarts.size(), 1);
        QCOMPARE(dialogs.countMessages(FileOperationGate::busyText()), 2);
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(FileTree::statOf(mount.path() + "/big").st_size, off_t(4 << 20));
        QCOMPARE(form->resultModel()->rowCount(), 0);
    }

    // Closing the window stops the move where it stands: the file being copied keeps its source, no partial
    // copy is left, later files are not touched and no message holds up the end of the program.
    void closeStopsMove()
    {
        OtherMount mount;
        if (!mount.usable())
            QSKIP("no second file system to copy to");
        FaultHookReset reset;
        setCopyFaultHook([](CopyStep step, qint64) {
            if (step == CopyStep::Write)
                QThread::msleep(15);
            return 0;
        });
        ScratchDir from;
        auto form = makeForm();
        for (const char* name : {"first", "second"}) {
            QVERIFY(FileTree::write(from.path() + '/' + name, QByteArray(4 << 20, 'c')));
            addRow(*form, from.path() + '/' + name, true);
        }
        dialogs.directories.enqueue(QFile::decodeName(mount.path()));
        DuringHandler during([&] { form->close(); });
        form->moveButton()->click();
        QVERIFY(during.ran);
        QCOMPARE(FileTree::list(from.path()), (QList<QByteArray>{"first", "second"}));
        QCOMPARE(FileTree::list(mount.path()), QList<QByteArray>());
        QCOMPARE(form->resultModel()->rowCount(), 2);
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }
    void cancelDuringLargeCopy_data()
    {
        QTest::addColumn<bool>("closeMainWindow");
        QTest::newRow("Cancel") << false;
        QTest::newRow("main window closed") << true;
    }

    // Cancel while a large file is copied to another file system: the files placed before it are moved and
    // their rows leave; the large file keeps its source, its row and its check, and no partial copy stays;
    // later files are not touched.
    void cancelDuringLargeCopy()
    {
        QFETCH(bool, closeMainWindow);
        OtherMount mount;
        if (!mount.usable())
            QSKIP("no second file system to copy to");
        ScratchDir from;
        const QByteArray f = from.path();
        const QByteArray big(4 << 20, 'b');
        auto form = makeForm();
        for (const char* name : {"small1", "big.bin", "unchecked", "small2"}) {
            QVERIFY(FileTree::write(f + '/' + name, name == QByteArray("big.bin") ? big : QByteArray(name)));
            addRow(*form, f + '/' + name, name != QByteArray("unchecked"));
        }
        dialogs.directories.enqueue(QFile::decodeName(mount.path()));
        CopyGate gate(CopyStep::Write, 1, 1 << 20); // the large file's second chunk
        QString count, file, bytes, title;
        int bar = -1;
        WhenProgressShown shown(*form, gate, [&](FileProgressWindow& window) {
            count = labelText(window, "countLabel");
            file = labelText(window, "fileLabel");
            bytes = labelText(window, "bytesLabel");
            title = labelText(window, "operationLabel");
            bar = window.findChild<QProgressBar*>("progressBar")->value();
            if (closeMainWindow)
                form->close();
            else
                QTest::mouseClick(window.findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
        });
        form->moveButton()->click();

        QVERIFY(shown.ran);
        QCOMPARE(title, "Moving to " + QFile::decodeName(mount.path()) + '/');
        QCOMPARE(count, QStringLiteral("2 of 3 files"));
        QCOMPARE(file, QStringLiteral("big.bin"));
        QVERIFY2(bytes.startsWith("1.0 MB copied"), qPrintable(bytes));
        QCOMPARE(bar, 416); // one file and a quarter of the next, of three
        QCOMPARE(FileTree::list(mount.path()), QList<QByteArray>{"small1"});
        QCOMPARE(FileTree::read(f + "/big.bin"), big);
        QCOMPARE(listed(*form), (QList<QByteArray>{f + "/big.bin", f + "/unchecked", f + "/small2"}));
        QCOMPARE(checks(*form), (QList<bool>{true, false, true}));
        QCOMPARE(form->pointer().value(), Pointer::Default);
        if (closeMainWindow) {
            QVERIFY(dialogs.messages.isEmpty());
        } else {
            QCOMPARE(dialogs.messages.size(), 1);
            QCOMPARE(dialogs.messages[0].text,
                     QStringLiteral("1 of 3 files was moved; the rest were cancelled."));
            QCOMPARE(dialogs.messages[0].style, 48);
        }
    }

    void cancelBetweenFiles_data()
    {
        QTest::addColumn<bool>("trash");
        QTest::newRow("move") << false;
        QTest::newRow("trash") << true;
    }

    // Cancel while the third of five files is being finished: that file is done too, the other two keep their
    // files, rows and checks, and the one message says so.
    void cancelBetweenFiles()
    {
        QFETCH(bool, trash);
        OtherMount mount;
        if (!mount.usable())
            QSKIP("no second file system to copy to");
        ScratchDir scratch;
        // Trashing from a tmpfs copies into the home trash; moving from here copies onto the tmpfs.
        const QByteArray from = trash ? mount.path() : scratch.path();
        auto form = makeForm();
        for (int i = 1; i <= 5; ++i) {
            QVERIFY(FileTree::write(from + "/f" + QByteArray::number(i), "x"));
            addRow(*form, from + "/f" + QByteArray::number(i), true);
        }
        dialogs.answers.enqueue(Answer::Yes);
        if (!trash) {
            QVERIFY(FileTree::makeFolder(mount.path() + "/to"));
            dialogs.directories.enqueue(QFile::decodeName(mount.path()) + "/to");
        }
        CopyGate gate(CopyStep::Close, 3);
        WhenProgressShown shown(*form, gate, [](FileProgressWindow& window) {
            QTest::mouseClick(window.findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
        });
        (trash ? form->trashButton() : form->moveButton())->click();

        QVERIFY(shown.ran);
        QCOMPARE(FileTree::list(from), (QList<QByteArray>{"f4", "f5"}));
        QCOMPARE(listed(*form), (QList<QByteArray>{from + "/f4", from + "/f5"}));
        QCOMPARE(checks(*form), (QList<bool>{true, true}));
        const QString told = dialogs.messages.last().text;
        QCOMPARE(told, trash ? QStringLiteral("3 of 5 files were sent to the trash; the rest were cancelled.")
                             : QStringLiteral("3 of 5 files were moved; the rest were cancelled."));
    }

    // An operation that is over before the window's delay shows no window at all.
    void quickOperationShowsNoWindow()
    {
        ScratchDir from, to;
        auto form = makeForm();
        for (const char* name : {"a", "b", "c", "d"}) {
            QVERIFY(FileTree::write(from.path() + '/' + name, name));
            addRow(*form, from.path() + '/' + name, true);
        }
        form->resultModel()->setChecked(3, false);
        ProgressWindowShows windows;
        dialogs.directories.enqueue(to.qpath());
        form->moveButton()->click();
        form->resultModel()->setAllChecked(true);
        dialogs.answers.enqueue(Answer::Yes);
        form->trashButton()->click();
        QCOMPARE(windows.shows, 0);
        QCOMPARE(FileTree::list(to.path()), (QList<QByteArray>{"a", "b", "c"}));
        QCOMPARE(FileTree::list(from.path()), QList<QByteArray>());
        QCOMPARE(form->resultModel()->rowCount(), 0);
        QCOMPARE(dialogs.messages.size(), 1); // the question
    }
};

LENTROVA_TEST_MAIN(TestFileActions)
#include "test_fileactions.moc"
