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
    targetCheckAction = new QAction(QStringLiteral("Check For A Target\u2026"), this);
    targetCheckAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    targetCheckAction->setShortcutContext(Qt::WindowShortcut);
    connect(targetCheckAction, &QAction::triggered, this, &MainWindow::onCheckForTargetClicked);
    // The window holds the shortcut; the lists show the item in their menus.
    addAction(targetCheckAction);
    folderList->setContextMenuPolicy(Qt::ActionsContextMenu);
    folderList->addAction(targetCheckAction);
    // In the result list's menu, set apart between the checking items and the renaming ones.
    auto* separator = new QAction(resultList);
    separator->setSeparator(true);
    const QList<QAction*> items = resultList->actions();
    const qsizetype shorten = items.indexOf(shortenNamesAction);
    QAction* before = shorten > 0 ? items[shorten - 1] : nullptr;
    resultList->insertAction(before, separator);
    resultList->insertAction(before, targetCheckAction);

    connect(m_search.get(), &SearchRun::runStarted, this, [this] { targetCheckAction->setEnabled(false); });
    connect(m_search.get(), &SearchRun::runEnded, this, [this] { targetCheckAction->setEnabled(true); });
    connect(m_results, &QAbstractItemModel::headerDataChanged, this, [this] {
        const bool problems = m_results->problemColumn();
        resultList->setColumnWidth(0, qRound((problems ? ProblemPathWidth : PathWidth) / 15.0));
        resultList->setColumnWidth(1, qRound((problems ? ProblemWidth : LengthWidth) / 15.0));
    });
}

void MainWindow::onCheckForTargetClicked()
{
    m_targetActions->checkForTarget();
}
