// SPDX-License-Identifier: MIT
// The renaming items of the result list's menu: shortening, fixing for a target, undoing the last.
#include "app/mainwindow.h"

#include "app/fixactions.h"
#include "ui/resultlistview.h"

#include <QAction>

// After the checking items of the result list's context menu, set apart: these change files.
void MainWindow::addRenameMenuItems()
{
    auto* separator = new QAction(m_resultList);
    separator->setSeparator(true);
    m_resultList->addAction(separator);
    m_shortenNamesAction = new QAction(QStringLiteral("Shorten Checked Names\u2026"), m_resultList);
    connect(m_shortenNamesAction, &QAction::triggered, this, &MainWindow::onShortenNamesClicked);
    m_resultList->addAction(m_shortenNamesAction);
    m_undoShorteningAction = new QAction(QStringLiteral("Undo Last Renaming"), m_resultList);
    connect(m_undoShorteningAction, &QAction::triggered, this, &MainWindow::onUndoShorteningClicked);
    m_resultList->addAction(m_undoShorteningAction);
}

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
