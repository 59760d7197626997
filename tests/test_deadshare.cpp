// SPDX-License-Identifier: MIT
// A share that stops answering (a FUSE mount whose daemon is halted): the window neither freezes on it nor
// lets it keep the program alive after its window has closed.
#include "app/mainwindow.h"
#include "app/settingskeys.h"
#include "results/resultmodel.h"
#include "services/dialogs.h"
#include "services/settings.h"
#include "support/deadshare.h"
#include "support/filetree.h"
#include "support/testform.h"
#include "support/testmain.h"

#include <QFileDialog>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {
const char* const BlockedTrashChild = "--close-during-blocked-trash";

// Run as a program of its own, the window that the program shows: it sends a file on a dead share to the
// trash and is closed while the trash waits on the share. Returns only if the program outlives its window.
int closeDuringBlockedTrash(const QString& file)
{
    ScriptedDialogs dialogs;
    dialogs.answers.enqueue(Answer::Yes);
    QTemporaryDir install;
    FixedRandom never;
    MainWindowServices services;
    services.dialogs = &dialogs;
    services.random = &never;
    services.installFolder = install.path(); // endProgram left empty: closing ends the program
    MainWindow form(services);
    form.load();
    addResult(*form.resultModel(), file);
    form.resultModel()->setChecked(0, true);
    QTimer::singleShot(500, &form, [&] { form.close(); });
    form.trashButton()->click();
    std::puts("The trash returned although its file's share does not answer.");
    return 3;
}

// Counts the turns of the event loop while it runs.
struct LoopTurns
{
    QTimer timer;
    int turns = 0;
    LoopTurns()
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] { ++turns; });
        timer.start();
    }
};
} // namespace

class TestDeadShare : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings(QSettings::IniFormat, QSettings::UserScope, SettingsApp).clear(); }

    // The folder a picker would open at is tested off the window's thread: one on a dead share is passed
    // over for the home folder once the wait is up, and the window turns meanwhile.
    void pickerStartFolder_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("dead");
        QTest::newRow("move, share answers") << "move" << false;
        QTest::newRow("move, share dead") << "move" << true;
        QTest::newRow("add folder, share answers") << "add folder" << false;
        QTest::newRow("add folder, share dead") << "add folder" << true;
    }

    void pickerStartFolder()
    {
        QFETCH(QString, button);
        QFETCH(bool, dead);
        DeadShare share;
        if (!share.usable())
            QSKIP(qPrintable(share.reason()));
        QVERIFY(FileTree::makeFolder(share.backing() + "/went"));
        const QString remembered = QFile::decodeName(share.mount() + "/went");
        const bool move = button == QStringLiteral("move");
        storeSetting(SettingsApp, SettingsSection, move ? KeyLastFolder : KeyLastFolderDot, remembered);
        TestForm form;
        if (dead)
            share.stop();
        LoopTurns loop;
        (move ? form->moveButton() : form->addFolderButton())->click();
        const int turns = loop.turns;
        share.resume();
        QVERIFY(!share.resumedByLimit());
        QCOMPARE(form.dialogs.directoryStarts, QStringList{dead ? QDir::homePath() : remembered});
        if (dead)
            QVERIFY(turns > 0);
        QVERIFY(form.dialogs.messages.isEmpty());
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    // Qt's own settings file, which any Qt program writes, names a folder on a dead share as the one the last
    // picker ended in: the picker opens all the same, and the file no longer names it. First among the tests
    // that make a Qt picker: once one has been made, Qt takes the last folder from its memory instead.
    void pickerOverQtSettingsNamingADeadShare()
    {
        const QString key = QStringLiteral("lastVisited"); // Qt's name for it
        DeadShare share;
        if (!share.usable())
            QSKIP(qPrintable(share.reason()));
        const QString dead = QUrl::fromLocalFile(QFile::decodeName(share.mount())).toString();
        const QString home = QUrl::fromLocalFile(QDir::homePath()).toString();
        {
            QSettings qt(QSettings::UserScope, QStringLiteral("QtProject"));
            qt.clear();
            qt.beginGroup(QStringLiteral("FileDialog"));
            qt.setValue(key, dead);
        }
        share.stop(std::chrono::seconds(10));
        QTimer closer; // the picker comes only once the last folder has been tested
        closer.setInterval(10);
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                picker->reject();
        });
        closer.start();
        QtDialogs dialogs(nullptr);
        QCOMPARE(dialogs.existingDirectory(QStringLiteral("Please select folder:"), QDir::homePath()),
                 QString());
        share.resume();
        QVERIFY(!share.resumedByLimit());
        QSettings qt(QSettings::UserScope, QStringLiteral("QtProject"));
        qt.beginGroup(QStringLiteral("FileDialog"));
        QCOMPARE(qt.value(key).toString(), home);
    }

    // Qt's picker remembers the folder it ended in and, in the next picker, enters it on the window's thread
    // before it is told where to start: a folder chosen on a share that has died since must not be it.
    void pickerForgetsAFolderOnAShare()
    {
        DeadShare share;
        if (!share.usable())
            QSKIP(qPrintable(share.reason()));
        const QString onShare = QFile::decodeName(share.mount());
        QtDialogs dialogs(nullptr);
        QString shown;
        const auto answer = [&](bool accept) {
            QTimer::singleShot(0, [&, accept] {
                auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(picker);
                shown = picker->directory().absolutePath();
                if (accept) {
                    picker->setDirectory(onShare);
                    static_cast<QDialog*>(picker)->accept(); // public there
                } else {
                    picker->reject();
                }
            });
        };
        answer(true);
        QCOMPARE(dialogs.existingDirectory(QStringLiteral("Please select folder:"), QDir::homePath()),
                 onShare);
        QCOMPARE(shown, QDir::homePath());

        share.stop(std::chrono::seconds(10));
        answer(false);
        QCOMPARE(dialogs.existingDirectory(QStringLiteral("Please select folder:"), QDir::homePath()),
                 QString());
        share.resume();
        QVERIFY(!share.resumedByLimit());
        QCOMPARE(shown, QDir::homePath());
    }

    // The window closes while a trash waits on a dead share: the program ends all the same, without the file.
    void closeDuringBlockedTrashEndsProgram()
    {
        DeadShare share;
        if (!share.usable())
            QSKIP(qPrintable(share.reason()));
        QVERIFY(FileTree::write(share.backing() + "/held", "x"));
        share.stop();
        QProcess program;
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QCoreApplication::applicationFilePath(),
                      {QString::fromLatin1(BlockedTrashChild), QFile::decodeName(share.mount() + "/held")});
        const bool ended = program.waitForFinished(60000);
        if (!ended) {
            program.kill();
            program.waitForFinished(5000);
        }
        share.resume();
        const QByteArray output = program.readAll();
        QVERIFY2(ended, "the program outlived its window: " + output);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == 0, output.constData());
        QVERIFY(!share.resumedByLimit());
        QVERIFY(FileTree::exists(share.backing() + "/held"));
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], BlockedTrashChild) == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return closeDuringBlockedTrash(QFile::decodeName(argv[2]));
    }
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestDeadShare tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "test_deadshare.moc"
