// SPDX-License-Identifier: MIT
#include "services/dialogs.h"
#include "services/errorbox.h"
#include "support/testmain.h"

#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    // While the box is open, Ctrl+C puts its whole text on the clipboard and the text is selectable; the
    // title, icon and buttons are those of the style.
    void messageTextCopies_data()
    {
        QTest::addColumn<MessageStyle>("style");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("plain") << MessageStyle::Ok << int(QMessageBox::NoIcon) << QStringList{"OK"};
        QTest::newRow("question") << MessageStyle::YesNo << int(QMessageBox::NoIcon)
                                  << QStringList{"&Yes", "&No"};
        QTest::newRow("error box") << MessageStyle::Warning << int(QMessageBox::Warning) << QStringList{"OK"};
    }
    void messageTextCopies()
    {
        QFETCH(MessageStyle, style);
        QFETCH(int, icon);
        QFETCH(QStringList, buttons);
        const QString text = errorBoxText(QStringLiteral("File not found"), QStringLiteral("Form1"),
                                          QStringLiteral("PushButton5_Click"), 108);
        QGuiApplication::clipboard()->clear();
        QString title, copied;
        int shownIcon = -1;
        Qt::TextInteractionFlags flags;
        QStringList shownButtons;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            // Keys reach the window that has the focus, as they do on a desktop.
            if (!QTest::qWaitForWindowActive(box))
                return;
            title = box->windowTitle();
            shownIcon = int(box->icon());
            for (QAbstractButton* b : box->buttons())
                shownButtons << b->text();
            if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
                flags = label->textInteractionFlags();
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_C, Qt::ControlModifier);
            copied = QGuiApplication::clipboard()->text();
            box->done(0);
        });
        QtDialogs dialogs(nullptr);
        dialogs.message(text, style, QStringLiteral("Lentrova"));
        QCOMPARE(title, QStringLiteral("Lentrova"));
        QCOMPARE(shownIcon, icon);
        std::sort(shownButtons.begin(), shownButtons.end());
        std::sort(buttons.begin(), buttons.end());
        QCOMPARE(shownButtons, buttons);
        QVERIFY(flags.testFlag(Qt::TextSelectableByMouse));
        QVERIFY(flags.testFlag(Qt::TextSelectableByKeyboard));
        // The box shows carriage returns as line breaks, and that is what is copied.
        QCOMPARE(copied, QString(text).replace("\r\n", "\n").replace('\r', '\n'));
    }
};

LENTROVA_TEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
