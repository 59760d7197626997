// SPDX-License-Identifier: MIT
// "Fix Checked Names For Target…": its item in the result list's menu.
#include "app/mainwindow.h"

#include "app/fixactions.h"
#include "ui/resultlistview.h"

#include <QAction>

void MainWindow::addFixMenuItem()
{
    m_fixNamesAction = new QAction(QStringLiteral("Fix Checked Names For Target\u2026"), m_resultList);
    connect(m_fixNamesAction, &QAction::triggered, this, &MainWindow::onFixNamesClicked);
    // Beside the other renaming, before its undo.
    m_resultList->insertAction(m_undoShorteningAction, m_fixNamesAction);
}

void MainWindow::onFixNamesClicked()
{
    m_fixActions->fixCheckedNames();
}
