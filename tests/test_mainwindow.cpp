// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"
#include "app/searchrun.h"
#include "results/resultmodel.h"
#include "services/apptitle.h"
#include "services/settings.h"
#include "services/shell.h"
#include "support/scripteddialogs.h"
#include "support/testform.h"
#include "support/testmain.h"
#include "support/xdgopenstub.h"
#include "ui/resultlistview.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QThread>
#include <QTreeView>
#include <atomic>

namespace {
QString iniPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Quenlor.ini");
}

void clearStore()
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, SettingsApp).clear();
    QSettings(QSettings::IniFormat, QSettings::UserScope, SettingsApp).sync();
}

QWidget* nextTabStop(QWidget* w)
{
    QWidget* next = w->nextInFocusChain();
    while (next != w && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}

QString expectedBox(const QString& description, const QString& where, int label)
{
    return description + "\r\nin Zimbrel2021/08/31." + where + " at line " + QString::number(label) +
           "\r\rPlease email screenshot of this message to support@quenlor.example.com";
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    ScriptedDialogs dialogs;
    QTemporaryDir emptyInstall;

    std::unique_ptr<MainWindow> makeForm(const QString& displayName = QStringLiteral("Lentrova Software"),
                                         const QString& install = QString())
    {
        return makeTestWindow(dialogs, install.isEmpty() ? emptyInstall.path() : install, displayName);
    }

private slots:
    void init()
    {
        dialogs = ScriptedDialogs();
        clearStore();
    }

    void firstStartWithEmptyStore()
    {
        auto form = makeForm();
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(form->windowTitle(), QStringLiteral("Lentrova Software"));
        QCOMPARE(applicationTitle(), QStringLiteral("Lentrova"));
        QCOMPARE(form->filterEdit()->text(), QString());
        QCOMPARE(form->lengthEdit()->text(), QStringLiteral("3"));
        QCOMPARE(form->comparisonCombo()->currentText(), QStringLiteral("Equal To"));
        QCOMPARE(form->comparisonCombo()->count(), 3);
        QCOMPARE(form->comparisonCombo()->itemText(1), QStringLiteral("Greater Than"));
        QCOMPARE(form->comparisonCombo()->itemText(2), QStringLiteral("Less Than"));
        QCOMPARE(form->folderModel()->rowCount(), 0);
        QCOMPARE(form->resultModel()->rowCount(), 0);
        QCOMPARE(form->folderModel()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Folder(s)"));
        QCOMPARE(form->resultModel()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Filename(s)"));
        QCOMPARE(form->resultModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Length"));
        QCOMPARE(form->folderList()->columnWidth(0), 467);
        QCOMPARE(form->resultList()->columnWidth(0), 400);
        QCOMPARE(form->resultList()->columnWidth(1), 80);
        QCOMPARE(form->progressBar()->value(), 0);
        QCOMPARE(form->progressBar()->format(), QStringLiteral("Progress Bar"));
        // A first start writes nothing: the restored texts equal the design texts.
        QVERIFY(!QFile::exists(iniPath()) ||
                !QSettings(iniPath(), QSettings::IniFormat).contains("Lentrova Software/Length"));
    }

    void layout()
    {
        auto form = makeForm();
        QCOMPARE(form->size(), QSize(1064, 354));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QCOMPARE(form->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(form->folderList()->geometry(), QRect(8, 8, 520, 83));
        QCOMPARE(form->resultList()->geometry(), QRect(536, 9, 520, 166));
        QCOMPARE(form->addFolderButton()->geometry(), QRect(8, 98, 520, 27));
        QCOMPARE(form->moveButton()->geometry(), QRect(800, 318, 256, 27));
        QCOMPARE(form->progressBar()->geometry(), QRect(8, 319, 520, 27));
        QCOMPARE(form->lengthFrame()->geometry(), QRect(8, 223, 520, 53));
        QCOMPARE(form->lengthEdit()->geometry(), QRect(248, 20, 255, 23));
        QCOMPARE(form->comparisonCombo()->geometry(), QRect(16, 20, 229, 23));
        QCOMPARE(form->openFileButton()->text(), QStringLiteral("Open Selected File "));
        QCOMPARE(form->revealButton()->text(), QStringLiteral("Open Folder Containg File"));
        QCOMPARE(form->filterFrame()->title(),
                 QStringLiteral("Filter (Retrieve Files That Contain These Characters)"));
        QCOMPARE(form->startButton()->font().family(), QStringLiteral("Arial"));
        QCOMPARE(form->startButton()->font().pointSizeF(), 11.25);
        QVERIFY(form->startButton()->font().bold());
        QCOMPARE(form->resultList()->font().pointSizeF(), 9.0);
        QCOMPARE(form->filterEdit()->font().pointSizeF(), 9.0);
        const QString tip =
            "Double-click item to remove it. Move | line to right and out of window to reveal full names.";
        QCOMPARE(form->folderList()->toolTip(), tip);
        QCOMPARE(form->resultList()->toolTip(), tip);
        // Tab order: the result list first, then the folder list, the filter, the length, the comparison.
        QCOMPARE(nextTabStop(form->resultList()), form->folderList());
        QCOMPARE(nextTabStop(form->folderList()), form->filterEdit());
        QCOMPARE(nextTabStop(form->filterEdit()), form->lengthEdit());
        QCOMPARE(nextTabStop(form->lengthEdit()), form->comparisonCombo());
        QCOMPARE(nextTabStop(form->contactHelpButton()), form->loadSamplesButton());
    }

    // What a screen reader announces, and what AT-SPI clients (tests/realwindow/wayland.sh) look controls up
    // by: every control of the window has a name, the two text boxes their frame's caption.
    void everyControlHasAnAccessibleName()
    {
        auto form = makeForm();
        const QRegularExpression controlName(
            QStringLiteral("^(ListView|Text|Combo|ProgressBar|PushButton)\\d+$"));
        QHash<QString, QString> names;
        for (QWidget* w : form->findChildren<QWidget*>(controlName)) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(accessible, qPrintable(w->objectName()));
            names.insert(w->objectName(), accessible->text(QAccessible::Name));
        }
        QCOMPARE(names.size(), 20);
        for (auto it = names.cbegin(); it != names.cend(); ++it)
            QVERIFY2(!it.value().isEmpty(), qPrintable(it.key() + " has no accessible name"));
        QCOMPARE(names["ListView1"], QStringLiteral("Folder(s)"));
        QCOMPARE(names["ListView2"], QStringLiteral("Filename(s)"));
        QCOMPARE(names["ProgressBar1"], QStringLiteral("Progress Bar"));
        QCOMPARE(names["Text1"], form->filterFrame()->title());
        QCOMPARE(names["Text2"], form->lengthFrame()->title());
        QCOMPARE(names["PushButton1"], QStringLiteral("Start Finding"));
    }

    void restoresStoredValues_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("combo");
        QTest::addColumn<int>("expectedIndex");
        QTest::addColumn<int>("boxAt");
        // clang-format off
        QTest::newRow("12a") << "*.txt" << "12a" << "1" << 1 << 0;
        QTest::newRow("empty length") << "" << "" << "2" << 2 << 0;
        QTest::newRow("combo 7") << "abc" << "5" << "7" << -1 << 150;
        QTest::newRow("combo not a number") << "" << "5" << "x" << -1 << 150;
        QTest::newRow("combo -1") << "" << "5" << "-1" << -1 << 150;
        QTest::newRow("combo 1.5 rounds to even") << "" << "5" << "1.5" << 2 << 0;
        // clang-format on
    }
    void restoresStoredValues()
    {
        QFETCH(QString, filter);
        QFETCH(QString, length);
        QFETCH(QString, combo);
        QFETCH(int, expectedIndex);
        QFETCH(int, boxAt);
        storeSetting(SettingsApp, SettingsSection, "Filter", filter);
        storeSetting(SettingsApp, SettingsSection, "Length", length);
        storeSetting(SettingsApp, SettingsSection, "Combo", combo);
        auto form = makeForm();
        QCOMPARE(form->filterEdit()->text(), filter);
        QCOMPARE(form->lengthEdit()->text(), length);
        QCOMPARE(form->comparisonCombo()->currentIndex(), expectedIndex);
        const QStringList boxes = dialogs.errorTexts();
        if (boxAt == 0) {
            QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('|')));
        } else {
            QCOMPARE(boxes.size(), 1);
            QVERIFY(
                boxes[0].contains("in Zimbrel2021/08/31.Form1.Form_Load at line " + QString::number(boxAt)));
        }
        // The restore wrote the same values back and nothing else.
        QCOMPARE(readSetting(SettingsApp, SettingsSection, "Length", 3), length);
        QCOMPARE(readSetting(SettingsApp, SettingsSection, "Combo", 0), combo);
    }

    void typingStoresEveryChange()
    {
        auto form = makeForm();
        form->lengthEdit()->clear();
        QTest::keyClicks(form->lengthEdit(), "12a");
        QTest::keyClicks(form->filterEdit(), "Ab c");
        QFile ini(iniPath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray bytes = ini.readAll();
        QVERIFY2(bytes.contains("[Lentrova%20Software]"), bytes.constData());
        QVERIFY2(bytes.contains("Length=12a"), bytes.constData());
        QVERIFY2(bytes.contains("Filter=Ab c"), bytes.constData());
        form->lengthEdit()->clear();
        QCOMPARE(readSetting(SettingsApp, SettingsSection, "Length", 3), QString());
        // The comparison is never stored.
        form->comparisonCombo()->setCurrentIndex(2);
        QCOMPARE(readSetting(SettingsApp, SettingsSection, "Combo", 0), QStringLiteral("0"));
        form.reset();
        auto again = makeForm();
        QCOMPARE(again->lengthEdit()->text(), QString());
        QCOMPARE(again->filterEdit()->text(), QStringLiteral("Ab c"));
        QCOMPARE(again->comparisonCombo()->currentText(), QStringLiteral("Equal To"));
    }

    void titleCut_data()
    {
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("fails");
        // clang-format off
        QTest::newRow("Lentrova Software") << "Lentrova Software" << "Lentrova" << false;
        QTest::newRow("Alpha Beta Gamma") << "Alpha Beta Gamma" << "Alpha Beta" << false;
        // 60 characters: words drop from the end until 40 or fewer remain.
        QTest::newRow("60 characters") << "Alphabetic Betatron Gammaray Deltawing Epsilonic Zetaphorm"
                                       << "Alphabetic Betatron Gammaray Deltawing" << false;
        QTest::newRow("no blank") << "Lentrova" << "Lentrova" << true;
        // clang-format on
    }
    void titleCut()
    {
        QFETCH(QString, displayName);
        QFETCH(QString, title);
        QFETCH(bool, fails);
        auto form = makeForm(displayName);
        QCOMPARE(form->windowTitle(), displayName);
        QCOMPARE(applicationTitle(), title);
        QCOMPARE(QCoreApplication::applicationName(), title);
        const QStringList boxes = dialogs.errorTexts();
        if (fails) {
            QCOMPARE(boxes.size(), 1);
            QVERIFY(boxes[0].contains("Form1.Form_Load at line 126"));
        } else {
            QVERIFY(boxes.isEmpty());
        }
        setApplicationTitle(QStringLiteral("Lentrova"));
    }

    void sixtyCharacterCut()
    {
        const QString name = "Aaaaaaaaa Bbbbbbbbb Ccccccccc Ddddddddd Eeeeeeeee Ffffffffff";
        QCOMPARE(name.size(), 60);
        const QString cut = cutApplicationTitle(name);
        QVERIFY(cut.size() <= 40);
        QCOMPARE(cut, QStringLiteral("Aaaaaaaaa Bbbbbbbbb Ccccccccc Ddddddddd"));
    }

    void hoverRules_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("start button while busy") << "PushButton1" << 11 << 99;
        QTest::newRow("start button idle") << "PushButton1" << 0 << 99;
        QTest::newRow("other button while busy") << "PushButton2" << 11 << 11;
        QTest::newRow("other button idle") << "PushButton14" << 0 << 99;
        QTest::newRow("surface after hand") << "window" << 99 << 0;
        QTest::newRow("surface while busy") << "window" << 11 << 11;
        QTest::newRow("result list after hand") << "ListView2" << 99 << 0;
        QTest::newRow("folder list while busy") << "ListView1" << 11 << 11;
        QTest::newRow("filter box") << "Text1" << 99 << 0;
        QTest::newRow("length box") << "Text2" << 99 << 0;
        QTest::newRow("frame") << "Frame2" << 99 << 0;
        QTest::newRow("combo keeps the hand") << "Combo1" << 99 << 99;
        QTest::newRow("progress bar keeps busy") << "ProgressBar1" << 11 << 11;
    }
    void hoverRules()
    {
        QFETCH(QString, control);
        QFETCH(int, before);
        QFETCH(int, after);
        auto form = makeForm();
        // Controls are found by the object names the window has always given them.
        QWidget* target = control == "window" ? form.get() : form->findChild<QWidget*>(control);
        QVERIFY(target);
        if (auto* list = qobject_cast<QAbstractItemView*>(target))
            target = list->viewport();
        form->pointer().set(Pointer(before));
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(target, &enter);
        if (target == form.get())
            form->pointerMovedOver(form.get());
        QCOMPARE(int(form->pointer().value()), after);
    }

    // Real pointer moves over a window dressed with the skin that ships: its buttons pass moves on to the
    // window, which must still apply the rule of the control under the pointer.
    void hoverRulesWithRealMoves_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("after");
        QTest::newRow("start button idle") << "PushButton1" << false << 99;
        QTest::newRow("other button idle") << "PushButton14" << false << 99;
        QTest::newRow("surface idle") << "window" << false << 0;
        QTest::newRow("length box idle") << "Text2" << false << 0;
        QTest::newRow("result list idle") << "ListView2" << false << 0;
        QTest::newRow("stop during a run") << "PushButton1" << true << 99;
        QTest::newRow("other button during a run") << "PushButton2" << true << 11;
        QTest::newRow("surface during a run") << "window" << true << 11;
    }
    void hoverRulesWithRealMoves()
    {
        QFETCH(QString, control);
        QFETCH(bool, running);
        QFETCH(int, after);
        const QString install = QFINDTESTDATA("../install");
        QVERIFY(!install.isEmpty());
        auto form = makeForm("Lentrova Software", QDir(install).absolutePath());
        QVERIFY(!form->styleSheet().isEmpty());
        QVERIFY(form->pointer().hasCustomCursor());
        // Mouse moves need a shown window, not a painted one (painting runs on Qt Gui's pooled threads, whose
        // hand-offs ThreadSanitizer cannot see).
        form->setUpdatesEnabled(false);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));

        QTemporaryDir tree;
        std::atomic<bool> release{false};
        if (running) {
            makeFile(tree.path(), "sub/x.txt");
            form->folderModel()->appendRow(new QStandardItem(tree.path()));
            form->searchRun().setBeforeOpen([&](std::string_view) {
                while (!release.load())
                    QThread::msleep(1);
                return 0;
            });
            form->startButton()->click();
            QCOMPARE(form->pointer().value(), Pointer::Busy);
        }
        QWidget* target = control == "window" ? form.get() : form->findChild<QWidget*>(control);
        QVERIFY(target);
        QTest::mouseMove(form.get(), QPoint(3, 3)); // the bare surface
        const QPoint centre = target == form.get() ? QPoint(4, 3) : target->rect().center();
        for (int step = 0; step < 3; ++step) {
            QTest::mouseMove(target, centre + QPoint(step, step));
            QCOMPARE(int(form->pointer().value()), after);
        }
        QCOMPARE(form->cursor().shape(),
                 after == 99 ? Qt::BitmapCursor : (after == 11 ? Qt::WaitCursor : Qt::ArrowCursor));
        release = true;
        if (running)
            QTRY_COMPARE_WITH_TIMEOUT(dialogs.countMessages("Done."), 1, 10000);
    }

    void handCursorFromInstallFolder()
    {
        QTemporaryDir install;
        QVERIFY(QFile::copy(QFINDTESTDATA("../install/HAND-M.CUR"), install.path() + "/HAND-M.CUR"));
        auto form = makeForm("Lentrova Software", install.path());
        QVERIFY(dialogs.errorTexts().isEmpty());
        QVERIFY(form->pointer().hasCustomCursor());
        form->pointer().set(Pointer::Hand);
        QCOMPARE(form->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(form->cursor().hotSpot(), QPoint(9, 1));
        QCOMPARE(form->cursor().pixmap().size(), QSize(32, 32));
    }

    void brokenCursorAndSkinAreReported()
    {
        QTemporaryDir install;
        QFile cur(install.path() + "/HAND-M.CUR");
        QVERIFY(cur.open(QIODevice::WriteOnly));
        cur.write("not a cursor at all, just text");
        cur.close();
        auto form = makeForm("Lentrova Software", install.path());
        const QStringList boxes = dialogs.errorTexts();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0].contains("Form1.Form_Load at line 106"));
        QVERIFY(!form->pointer().hasCustomCursor());
        form->pointer().set(Pointer::Hand);
        QCOMPARE(form->cursor().shape(), Qt::ArrowCursor);
        // Start-up went on: the criteria are there.
        QCOMPARE(form->comparisonCombo()->count(), 3);
    }

    void skinRecoloursWindow()
    {
        QTemporaryDir install;
        QVERIFY(QDir().mkpath(install.path() + "/x"));
        QVERIFY(QFile::copy(QFINDTESTDATA("../install/x/o.cjs"), install.path() + "/x/o.cjs"));
        auto form = makeForm("Lentrova Software", install.path());
        QVERIFY(dialogs.errorTexts().isEmpty());
        QVERIFY(!form->styleSheet().isEmpty());
        QCOMPARE(form->palette().color(QPalette::Window), form->palette().color(QPalette::Button));
        QCOMPARE(form->filterFrame()->palette().color(QPalette::Window),
                 form->palette().color(QPalette::Button));
    }

    void errorBoxTextIsExact()
    {
        const QString text = errorBoxText("File not found", "Form1", "PushButton5_Click", 108);
        const QString expected =
            QStringLiteral("File not found\r\nin Zimbrel2021/08/31.Form1.PushButton5_Click at "
                           "line 108\r\rPlease email screenshot of this message to "
                           "support@quenlor.example.com");
        QCOMPARE(text.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(text.at(i) == expected.at(i), qPrintable(QString("differs at %1").arg(i)));
        QCOMPARE(expectedBox("File not found", "Form1.PushButton5_Click", 108), expected);

        ErrorBox box(dialogs);
        Guard step(box, "Form1", "PushButton5_Click");
        bool after = false;
        QVERIFY(!step(108, [] { throw AppError("File not found"); }));
        QVERIFY(step(110, [&] { after = true; }));
        QVERIFY(after);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].text, expected);
        QCOMPARE(dialogs.messages[0].style, 48);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Application Error"));
    }

    void helpMessages()
    {
        auto form = makeForm();
        form->lengthHelpButton()->click();
        form->contactHelpButton()->click();
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages[0].text,
                 QStringLiteral("cat.csv = filename length of 7\r\nmy test.exe = filename length of 11"));
        QCOMPARE(dialogs.messages[0].style, 0);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Lentrova"));
        const QString contact = dialogs.messages[1].text;
        QVERIFY(contact.startsWith("Questions? Please contact Team Quenlor at https://"));
        QVERIFY(!contact.endsWith('.'));
        QVERIFY(!contact.contains('\n') && !contact.contains('\r'));
        QCOMPARE(dialogs.messages[1].style, 0);
        QCOMPARE(dialogs.messages[1].title, QStringLiteral("Lentrova"));
    }

    void homePageOnlyOnSeven_data()
    {
        QTest::addColumn<int>("draw");
        QTest::addColumn<bool>("opens");
        QTest::newRow("7 opens") << 7 << true;
        QTest::newRow("8 does not") << 8 << false;
    }
    void homePageOnlyOnSeven()
    {
        QFETCH(int, draw);
        QFETCH(bool, opens);
        XdgOpenStub stub;
        FixedRandom fixed(draw);
        auto form = makeTestWindow(dialogs, emptyInstall.path(), QStringLiteral("Lentrova Software"), &fixed);
        if (opens) {
            // The stub's redirection creates the file before printf fills it: wait for the line itself.
            QTRY_COMPARE(stub.launches(), QStringList{"https://www.quenlor.example.com/"});
        } else {
            QTest::qWait(200);
            QVERIFY(stub.launches().isEmpty());
        }
    }
};

LENTROVA_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
