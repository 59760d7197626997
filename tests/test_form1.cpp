// SPDX-License-Identifier: MIT
#include "app/apptitle.h"
#include "app/form1.h"
#include "platform/apptitle.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "results/resultmodel.h"
#include "support/scripteddialogs.h"
#include "support/testmain.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include "results/resultlistview.h"

#include <QTreeView>

namespace {
class FixedRandom : public RandomSource
{
public:
    explicit FixedRandom(int value) : m_value(value) {}
    int draw1to100() override { return m_value; }

private:
    int m_value;
};

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

class TestForm1 : public QObject
{
    Q_OBJECT

    ScriptedDialogs dialogs;
    FixedRandom random{1};
    QTemporaryDir emptyInstall;

    std::unique_ptr<Form1> makeForm(const QString& displayName = QStringLiteral("Lentrova Software"),
                                    const QString& install = QString())
    {
        Form1Services services;
        services.dialogs = &dialogs;
        services.random = &random;
        services.displayName = displayName;
        services.installFolder = install.isEmpty() ? emptyInstall.path() : install;
        services.endProgram = [] {};
        return std::make_unique<Form1>(services);
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
        form->Form_Load();
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(form->windowTitle(), QStringLiteral("Lentrova Software"));
        QCOMPARE(applicationTitle(), QStringLiteral("Lentrova"));
        QCOMPARE(form->Text1->text(), QString());
        QCOMPARE(form->Text2->text(), QStringLiteral("3"));
        QCOMPARE(form->Combo1->currentText(), QStringLiteral("Equal To"));
        QCOMPARE(form->Combo1->count(), 3);
        QCOMPARE(form->Combo1->itemText(1), QStringLiteral("Greater Than"));
        QCOMPARE(form->Combo1->itemText(2), QStringLiteral("Less Than"));
        QCOMPARE(form->folderModel()->rowCount(), 0);
        QCOMPARE(form->resultModel()->rowCount(), 0);
        QCOMPARE(form->folderModel()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Folder(s)"));
        QCOMPARE(form->resultModel()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Filename(s)"));
        QCOMPARE(form->resultModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Length"));
        QCOMPARE(form->ListView1->columnWidth(0), 467);
        QCOMPARE(form->ListView2->columnWidth(0), 400);
        QCOMPARE(form->ListView2->columnWidth(1), 80);
        QCOMPARE(form->ProgressBar1->value(), 0);
        QCOMPARE(form->ProgressBar1->format(), QStringLiteral("Progress Bar"));
        // A first start writes nothing: the restored texts equal the design texts.
        QVERIFY(!QFile::exists(iniPath()) || !QSettings(iniPath(), QSettings::IniFormat).contains("Lentrova Software/Length"));
    }

    void layout()
    {
        auto form = makeForm();
        form->Form_Load();
        QCOMPARE(form->size(), QSize(1064, 354));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QCOMPARE(form->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(form->ListView1->geometry(), QRect(8, 8, 520, 83));
        QCOMPARE(form->ListView2->geometry(), QRect(536, 9, 520, 166));
        QCOMPARE(form->PushButton3->geometry(), QRect(8, 98, 520, 27));
        QCOMPARE(form->PushButton11->geometry(), QRect(800, 318, 256, 27));
        QCOMPARE(form->ProgressBar1->geometry(), QRect(8, 319, 520, 27));
        QCOMPARE(form->Frame2->geometry(), QRect(8, 223, 520, 53));
        QCOMPARE(form->Text2->geometry(), QRect(248, 20, 255, 23));
        QCOMPARE(form->Combo1->geometry(), QRect(16, 20, 229, 23));
        QCOMPARE(form->PushButton5->text(), QStringLiteral("Open Selected File "));
        QCOMPARE(form->PushButton13->text(), QStringLiteral("Open Folder Containg File"));
        QCOMPARE(form->Frame1->title(), QStringLiteral("Filter (Retrieve Files That Contain These Characters)"));
        QCOMPARE(form->PushButton1->font().family(), QStringLiteral("Arial"));
        QCOMPARE(form->PushButton1->font().pointSizeF(), 11.25);
        QVERIFY(form->PushButton1->font().bold());
        QCOMPARE(form->ListView2->font().pointSizeF(), 9.0);
        QCOMPARE(form->Text1->font().pointSizeF(), 9.0);
        const QString tip =
            "Double-click item to remove it. Move | line to right and out of window to reveal full names.";
        QCOMPARE(form->ListView1->toolTip(), tip);
        QCOMPARE(form->ListView2->toolTip(), tip);
        // Tab order: the result list first, then the folder list, the filter, the length, the comparison.
        QCOMPARE(nextTabStop(form->ListView2), form->ListView1);
        QCOMPARE(nextTabStop(form->ListView1), form->Text1);
        QCOMPARE(nextTabStop(form->Text1), form->Text2);
        QCOMPARE(nextTabStop(form->Text2), form->Combo1);
        QCOMPARE(nextTabStop(form->PushButton12), form->PushButton14);
    }

    void restoresStoredValues_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("combo");
        QTest::addColumn<int>("expectedIndex");
        QTest::addColumn<int>("boxAt");
        QTest::newRow("12a") << "*.txt" << "12a" << "1" << 1 << 0;
        QTest::newRow("empty length") << "" << "" << "2" << 2 << 0;
        QTest::newRow("combo 7") << "abc" << "5" << "7" << -1 << 150;
        QTest::newRow("combo not a number") << "" << "5" << "x" << -1 << 150;
        QTest::newRow("combo -1") << "" << "5" << "-1" << -1 << 150;
        QTest::newRow("combo 1.5 rounds to even") << "" << "5" << "1.5" << 2 << 0;
    }
    void restoresStoredValues()
    {
        QFETCH(QString, filter);
        QFETCH(QString, length);
        QFETCH(QString, combo);
        QFETCH(int, expectedIndex);
        QFETCH(int, boxAt);
        StoreSetting(SettingsApp, SettingsSection, "Filter", filter);
        StoreSetting(SettingsApp, SettingsSection, "Length", length);
        StoreSetting(SettingsApp, SettingsSection, "Combo", combo);
        auto form = makeForm();
        form->Form_Load();
        QCOMPARE(form->Text1->text(), filter);
        QCOMPARE(form->Text2->text(), length);
        QCOMPARE(form->Combo1->currentIndex(), expectedIndex);
        const QStringList boxes = dialogs.errorTexts();
        if (boxAt == 0) {
            QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('|')));
        } else {
            QCOMPARE(boxes.size(), 1);
            QVERIFY(boxes[0].contains("in Zimbrel2021/08/31.Form1.Form_Load at line " + QString::number(boxAt)));
        }
        // The restore wrote the same values back and nothing else.
        QCOMPARE(ReadSetting(SettingsApp, SettingsSection, "Length", 3), length);
        QCOMPARE(ReadSetting(SettingsApp, SettingsSection, "Combo", 0), combo);
    }

    void typingStoresEveryChange()
    {
        auto form = makeForm();
        form->Form_Load();
        form->Text2->clear();
        QTest::keyClicks(form->Text2, "12a");
        QTest::keyClicks(form->Text1, "Ab c");
        QFile ini(iniPath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray bytes = ini.readAll();
        QVERIFY2(bytes.contains("[Lentrova%20Software]"), bytes.constData());
        QVERIFY2(bytes.contains("Length=12a"), bytes.constData());
        QVERIFY2(bytes.contains("Filter=Ab c"), bytes.constData());
        form->Text2->clear();
        QCOMPARE(ReadSetting(SettingsApp, SettingsSection, "Length", 3), QString());
        // The comparison is never stored.
        form->Combo1->setCurrentIndex(2);
        QCOMPARE(ReadSetting(SettingsApp, SettingsSection, "Combo", 0), QStringLiteral("0"));
        form.reset();
        auto again = makeForm();
        again->Form_Load();
        QCOMPARE(again->Text2->text(), QString());
        QCOMPARE(again->Text1->text(), QStringLiteral("Ab c"));
        QCOMPARE(again->Combo1->currentText(), QStringLiteral("Equal To"));
    }

    void titleCut_data()
    {
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("fails");
        QTest::newRow("Lentrova Software") << "Lentrova Software" << "Lentrova" << false;
        QTest::newRow("Alpha Beta Gamma") << "Alpha Beta Gamma" << "Alpha Beta" << false;
        // 60 characters: words drop from the end until 40 or fewer remain.
        QTest::newRow("60 characters") << "Alphabetic Betatron Gammaray Deltawing Epsilonic Zetaphorm"
                                       << "Alphabetic Betatron Gammaray Deltawing" << false;
        QTest::newRow("no blank") << "Lentrova" << "Lentrova" << true;
    }
    void titleCut()
    {
        QFETCH(QString, displayName);
        QFETCH(QString, title);
        QFETCH(bool, fails);
        auto form = makeForm(displayName);
        form->Form_Load();
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
        form->Form_Load();
        const QHash<QString, QWidget*> controls = {
            {"PushButton1", form->PushButton1}, {"PushButton2", form->PushButton2},
            {"PushButton14", form->PushButton14}, {"window", form.get()},
            {"ListView1", form->ListView1->viewport()}, {"ListView2", form->ListView2->viewport()},
            {"Text1", form->Text1}, {"Text2", form->Text2}, {"Frame2", form->Frame2},
            {"Combo1", form->Combo1}, {"ProgressBar1", form->ProgressBar1}};
        form->pointer().set(Pointer(before));
        QWidget* target = controls.value(control);
        QVERIFY(target);
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(target, &enter);
        if (target == form.get())
            form->pointerMovedOver(form.get());
        QCOMPARE(int(form->pointer().value()), after);
    }

    void handCursorFromInstallFolder()
    {
        QTemporaryDir install;
        QVERIFY(QFile::copy(QFINDTESTDATA("../install/HAND-M.CUR"), install.path() + "/HAND-M.CUR"));
        auto form = makeForm("Lentrova Software", install.path());
        form->Form_Load();
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
        form->Form_Load();
        const QStringList boxes = dialogs.errorTexts();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0].contains("Form1.Form_Load at line 106"));
        QVERIFY(!form->pointer().hasCustomCursor());
        form->pointer().set(Pointer::Hand);
        QCOMPARE(form->cursor().shape(), Qt::ArrowCursor);
        // Start-up went on: the criteria are there.
        QCOMPARE(form->Combo1->count(), 3);
    }

    void skinRecoloursWindow()
    {
        QTemporaryDir install;
        QVERIFY(QDir().mkpath(install.path() + "/x"));
        QVERIFY(QFile::copy(QFINDTESTDATA("../install/x/o.cjs"), install.path() + "/x/o.cjs"));
        auto form = makeForm("Lentrova Software", install.path());
        form->Form_Load();
        QVERIFY(dialogs.errorTexts().isEmpty());
        QVERIFY(!form->styleSheet().isEmpty());
        QCOMPARE(form->palette().color(QPalette::Window), form->palette().color(QPalette::Button));
        QCOMPARE(form->Frame1->palette().color(QPalette::Window), form->palette().color(QPalette::Button));
    }

    void errorBoxTextIsExact()
    {
        const QString text = errorBoxText("File not found", "Form1", "PushButton5_Click", 108);
        const QString expected = QStringLiteral("File not found\r\nin Zimbrel2021/08/31.Form1.PushButton5_Click at "
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
        form->Form_Load();
        form->PushButton2->click();
        form->PushButton12->click();
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
        QTemporaryDir bin;
        const QString record = bin.path() + "/opened";
        QFile stub(bin.path() + "/xdg-open");
        QVERIFY(stub.open(QIODevice::WriteOnly));
        stub.write(QString("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(record).toUtf8());
        stub.close();
        stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + oldPath);
        FixedRandom fixed(draw);
        Form1Services services;
        services.dialogs = &dialogs;
        services.random = &fixed;
        services.installFolder = emptyInstall.path();
        Form1 form(services);
        form.Form_Load();
        qputenv("PATH", oldPath);
        if (opens) {
            // The stub's redirection creates the file before printf fills it: wait for the line itself.
            const auto opened = [&] {
                QFile f(record);
                return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            };
            QTRY_COMPARE(opened(), QByteArray("https://www.quenlor.example.com/\n"));
        } else {
            QTest::qWait(200);
            QVERIFY(!QFile::exists(record));
        }
    }
};

LENTROVA_TEST_MAIN(TestForm1)
#include "test_form1.moc"
