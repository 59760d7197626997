// SPDX-License-Identifier: MIT
// The window's pointer rules and the keys and events it handles itself.
#include "app/mainwindow.h"

#include "ui/resultlistview.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTreeView>

namespace {
// Entering a list with the keyboard selects its current row, so that Space, Delete and the open buttons act
// at once instead of after an arrow key.
void selectCurrentRow(QAbstractItemView* list)
{
    QItemSelectionModel* selection = list->selectionModel();
    if (!selection || selection->hasSelection() || list->model()->rowCount() == 0)
        return;
    const QModelIndex current = list->currentIndex();
    const QModelIndex row = list->model()->index(current.isValid() ? current.row() : 0, 0);
    selection->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
} // namespace

void MainWindow::watchHover(QWidget* widget, HoverRule rule)
{
    m_hoverRules[widget] = rule;
    widget->installEventFilter(this);
}

void MainWindow::pointerMovedOver(QWidget* widget)
{
    HoverRule rule = HoverRule::Surface;
    if (widget != this) {
        const auto it = m_hoverRules.constFind(widget);
        if (it == m_hoverRules.constEnd())
            return; // the combo box and the progress bar keep whatever pointer they found
        rule = *it;
    }
    switch (rule) {
    case HoverRule::Surface:
        if (m_pointer.value() != Pointer::Busy)
            m_pointer.set(Pointer::Default);
        break;
    case HoverRule::Button:
        if (m_pointer.value() != Pointer::Busy)
            m_pointer.set(Pointer::Hand);
        break;
    case HoverRule::StartButton:
        m_pointer.set(Pointer::Hand);
        break;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && m_hoverRules.contains(widget))
            pointerMovedOver(widget);
    } else if ((watched == m_folderList || watched == m_resultList) && event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
            selectCurrentRow(static_cast<QAbstractItemView*>(watched));
    } else if (watched == m_folderList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            onFolderListKeyDown(Qt::Key_Delete);
            return true;
        }
    } else if (watched == m_resultList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            onOpenFileClicked();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    // Controls that do not track the mouse themselves (the skin's buttons) pass their moves on to the window:
    // the rule is still the one of the control under the pointer.
    QWidget* over = childAt(event->position().toPoint());
    while (over && over != this && !m_hoverRules.contains(over) && over != m_comparisonCombo &&
           over != m_progressBar)
        over = over->parentWidget();
    pointerMovedOver(over ? over : this);
    QWidget::mouseMoveEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    endProgram();
}

void MainWindow::endProgram()
{
    if (m_services.endProgram)
        m_services.endProgram();
    else
        QCoreApplication::quit();
}
