// SPDX-License-Identifier: MIT
// Samples and help.
#include "app/form1.h"

#include "extras/help.h"
#include "extras/samples.h"
#include "platform/apptitle.h"
#include "platform/dialogs.h"
#include "platform/shell.h"

#include <QComboBox>
#include <QLineEdit>
#include <QUrl>

void Form1::PushButton2_Click()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    step(100, [&] { m_dialogs->message(lengthHelpText(), StyleOk, applicationTitle()); });
}

void Form1::PushButton12_Click()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton12_Click"));
    step(100, [&] { m_dialogs->message(contactHelpText(), StyleOk, applicationTitle()); });
}

void Form1::PushButton14_Click()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton14_Click"));
    const QByteArray install = installFolderNativePath();
    const QList<QByteArray> rows = sampleFolderRows(install);
    step(100, [&] { addFolderRow(QString::fromUtf8(rows[0]), rows[0]); });
    step(102, [&] { addFolderRow(QString::fromUtf8(rows[1]), rows[1]); });
    int answer = AnswerNo;
    step(104, [&] { answer = m_dialogs->message(samplesQuestionText(), StyleYesNo, applicationTitle()); });
    step(106, [&] {
        if (answer == AnswerYes)
            Shell::open(Shell::urlForNativePath(samplesFolder(install)));
    });
    step(106, [&] { Text2->setText(QStringLiteral("5")); });
    step(106, [&] { Combo1->setCurrentIndex(1); });
}
