// SPDX-License-Identifier: MIT
// The buttons below the result list hand their work to the area controllers; samples and help are done here.
#include "app/mainwindow.h"

#include "app/fileactions.h"
#include "app/nameactions.h"
#include "app/resultlistactions.h"
#include "extras/help.h"
#include "extras/samples.h"
#include "search/nametest.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "services/shell.h"

#include <QComboBox>
#include <QLineEdit>
#include <QUrl>

void MainWindow::onSaveReportClicked()
{
    m_resultActions->saveReport();
}

void MainWindow::onCopyResultsClicked()
{
    m_resultActions->copyToClipboard();
}

void MainWindow::onRemoveContainingClicked()
{
    m_resultActions->removeContaining();
}

void MainWindow::onRemoveNotContainingClicked()
{
    m_resultActions->removeNotContaining();
}

void MainWindow::onOpenFileClicked()
{
    m_resultActions->openSelectedFile();
}

void MainWindow::onRevealClicked()
{
    m_resultActions->revealSelectedFile();
}

void MainWindow::onClearResultsClicked()
{
    m_resultActions->clear();
}

void MainWindow::onTrashClicked()
{
    m_fileActions->sendToTrash();
}

void MainWindow::onMoveClicked()
{
    m_fileActions->moveToFolder();
}

void MainWindow::onShortenNamesClicked()
{
    m_nameActions->shortenCheckedNames();
}

void MainWindow::onUndoShorteningClicked()
{
    m_nameActions->undoLastShortening();
}

void MainWindow::onLengthHelpClicked()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    step(100, [&] { m_dialogs->message(lengthHelpText(), MessageStyle::Ok, applicationTitle()); });
}

void MainWindow::onContactHelpClicked()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton12_Click"));
    step(100, [&] { m_dialogs->message(contactHelpText(), MessageStyle::Ok, applicationTitle()); });
}

void MainWindow::onLoadSamplesClicked()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton14_Click"));
    const QByteArray install = installFolderNativePath();
    const QList<QByteArray> rows = sampleFolderRows(install);
    step(100, [&] { addFolderRow(QString::fromUtf8(rows[0]), rows[0]); });
    step(102, [&] { addFolderRow(QString::fromUtf8(rows[1]), rows[1]); });
    Answer answer = Answer::No;
    step(104, [&] {
        answer = m_dialogs->message(samplesQuestionText(), MessageStyle::YesNo, applicationTitle());
    });
    step(106, [&] {
        if (answer == Answer::Yes)
            Shell::open(Shell::urlForNativePath(samplesFolder(install)));
    });
    step(106, [&] { m_lengthEdit->setText(QStringLiteral("5")); });
    step(106, [&] { m_comparisonCombo->setCurrentIndex(int(Comparison::GreaterThan)); });
}
