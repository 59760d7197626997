// SPDX-License-Identifier: MIT
#include "ui/resultlistview.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTimerEvent>

namespace {
constexpr qint64 LayoutIntervalMs = 100;
}

ResultListView::ResultListView(QWidget* parent) : QTableView(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionsMovable(false);
}

void ResultListView::setSelectionModel(QItemSelectionModel* selectionModel)
{
    QTableView::setSelectionModel(selectionModel);
    // The header would share the rows' selection only to draw whole selected columns, and it finds those out
    // row by row at every repaint after a change: a million rows selected cost a twentieth of a second each
    // time. It gets a selection of its own that stays empty.
    delete m_headerSelection;
    m_headerSelection = nullptr;
    if (model()) {
        m_headerSelection = new QItemSelectionModel(model(), this);
        horizontalHeader()->setSelectionModel(m_headerSelection);
        verticalHeader()->setSelectionModel(m_headerSelection);
    }
}

void ResultListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                 const QList<int>& roles)
{
    if (roles.size() == 1 && roles.first() == Qt::CheckStateRole && topLeft.row() != bottomRight.row()) {
        viewport()->update();
        return;
    }
    QTableView::dataChanged(topLeft, bottomRight, roles);
}

void ResultListView::selectAll()
{
    QAbstractItemModel* rows = model();
    QItemSelectionModel* selection = selectionModel();
    if (!rows || !selection || selectionMode() == SingleSelection || selectionMode() == NoSelection)
        return;
    if (rows->rowCount() == 0 || rows->columnCount() == 0)
        return;
    const QItemSelection all(rows->index(0, 0), rows->index(rows->rowCount() - 1, rows->columnCount() - 1));
    selection->select(all, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QRegion ResultListView::visualRegionForSelection(const QItemSelection& selection) const
{
    qsizetype rows = 0;
    for (const QItemSelectionRange& range : selection)
        rows += range.height();
    if (rows > 1000)
        return QRegion(viewport()->rect());
    return QTableView::visualRegionForSelection(selection);
}

void ResultListView::doItemsLayout()
{
    // A search adds rows many times a second, and each addition lays the view out again. The first paint
    // after it has the hidden row header work out afresh where every row starts, one pass over all of them:
    // a hundredth of a second at five million rows, on the window's thread. Rows that keep coming are laid
    // out a tenth of a second apart instead.
    const qint64 since = m_lastLayout.isValid() ? m_lastLayout.elapsed() : LayoutIntervalMs;
    if (since < LayoutIntervalMs) {
        if (!m_layoutLater.isActive())
            m_layoutLater.start(int(LayoutIntervalMs - since), this);
        return;
    }
    m_layoutLater.stop();
    m_lastLayout.start();
    QTableView::doItemsLayout();
}

void ResultListView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_layoutLater.timerId()) {
        m_layoutLater.stop();
        doItemsLayout();
        return;
    }
    QTableView::timerEvent(event);
}
