// SPDX-License-Identifier: MIT
// "Check For A Target…": its menu items, its shortcut and the result list's columns for it.
#include "app/mainwindow.h"

#include "app/searchrun.h"
#include "app/targetactions.h"
#include "results/resultmodel.h"
#include "ui/resultlistview.h"

#include <QAction>
#include <QTreeView>

namespace {
// Twips, as the window lays out: a problem needs more room than a length.
constexpr int PathWidth = 6000;
constexpr int LengthWidth = 1200;
constexpr int ProblemPathWidth = 4200;
constexpr int ProblemWidth = 3000;
} // namespace

void MainWindow::setUpTargetCheck()
{
    m_targetCheckAction = new QAction(QStringLiteral("Check For A Target\u2026"), this);
    m_targetCheckAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_targetCheckAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_targetCheckAction, &QAction::triggered, this, &MainWindow::onCheckForTargetClicked);
    // The window holds the shortcut; the lists show the item in their menus.
    addAction(m_targetCheckAction);
    m_folderList->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_folderList->addAction(m_targetCheckAction);
    // In the result list's menu, set apart between the checking items and the renaming ones.
    auto* separator = new QAction(m_resultList);
    separator->setSeparator(true);
    const QList<QAction*> items = m_resultList->actions();
    const qsizetype shorten = items.indexOf(m_shortenNamesAction);
    QAction* before = shorten > 0 ? items[shorten - 1] : nullptr;
    m_resultList->insertAction(before, separator);
    m_resultList->insertAction(before, m_targetCheckAction);

    connect(m_search.get(), &SearchRun::runStarted, this, [this] { m_targetCheckAction->setEnabled(false); });
    connect(m_search.get(), &SearchRun::runEnded, this, [this] { m_targetCheckAction->setEnabled(true); });
    connect(m_results, &QAbstractItemModel::headerDataChanged, this, [this] {
        const bool problems = m_results->problemColumn();
        m_resultList->setColumnWidth(0, qRound((problems ? ProblemPathWidth : PathWidth) / 15.0));
        m_resultList->setColumnWidth(1, qRound((problems ? ProblemWidth : LengthWidth) / 15.0));
    });
}

void MainWindow::onCheckForTargetClicked()
{
    m_targetActions->checkForTarget();
}
