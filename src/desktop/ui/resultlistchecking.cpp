// SPDX-License-Identifier: MIT
#include "ui/resultlistchecking.h"

#include "results/resultmodel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>

std::vector<int> rowsOfSelection(const QItemSelection& selection)
{
    std::vector<int> rows;
    qsizetype total = 0;
    for (const QItemSelectionRange& range : selection)
        total += range.bottom() - range.top() + 1;
    rows.reserve(total);
    for (const QItemSelectionRange& range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.push_back(r);
    }
    return rows;
}

int selectedResultRow(const QAbstractItemView* view)
{
    const QItemSelectionModel* selection = view->selectionModel();
    if (!selection)
        return -1;
    const QModelIndex current = view->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), current.parent()))
        return current.row();
    int first = -1;
    for (const QItemSelectionRange& range : selection->selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

ResultListChecking::ResultListChecking(QAbstractItemView* view, ResultModel* model)
    : QObject(view), m_view(view), m_model(model)
{
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    addAction(QStringLiteral("Check All"), &ResultListChecking::checkAll);
    addAction(QStringLiteral("Uncheck All"), &ResultListChecking::uncheckAll);
    addAction(QStringLiteral("Check Selected"), &ResultListChecking::checkSelected);
    addAction(QStringLiteral("Uncheck Selected"), &ResultListChecking::uncheckSelected);
    addAction(QStringLiteral("Invert Checks"), &ResultListChecking::invertChecks);
    view->installEventFilter(this);
}

QAction* ResultListChecking::addAction(const QString& text, void (ResultListChecking::*slot)())
{
    auto* action = new QAction(text, m_view);
    connect(action, &QAction::triggered, this, slot);
    m_view->addAction(action);
    return action;
}

void ResultListChecking::checkAll()
{
    m_model->setAllChecked(true);
}

void ResultListChecking::uncheckAll()
{
    m_model->setAllChecked(false);
}

void ResultListChecking::invertChecks()
{
    m_model->invertChecks();
}

void ResultListChecking::checkSelected()
{
    setSelected(true);
}

void ResultListChecking::uncheckSelected()
{
    setSelected(false);
}

void ResultListChecking::setSelected(bool checked)
{
    if (!m_view->selectionModel())
        return;
    m_model->setCheckedRows(rowsOfSelection(m_view->selectionModel()->selection()), checked);
}

void ResultListChecking::toggleSelected()
{
    const int lead = selectedResultRow(m_view);
    if (lead < 0 || lead >= m_model->rowCount())
        return;
    setSelected(!m_model->isChecked(lead));
}

bool ResultListChecking::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            toggleSelected();
            return true;
        }
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
            // The menu's other key, as the Menu key opens it: at the current row.
            const QRect row = m_view->visualRect(m_view->currentIndex());
            const QRect shown = m_view->viewport()->rect();
            const QPoint at = shown.intersects(row) ? row.center() : shown.center();
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, m_view->viewport()->mapTo(m_view, at),
                                   m_view->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(m_view, &menu);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
