// SPDX-License-Identifier: MIT
#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QTableView>

// The result list's view. It may hold a million rows: a table view inserts rows without laying out every row
// again, which a tree view does on each insertion; it is dressed as a plain report list. Several things that
// the stock view does row by row (a tenth of a second per million rows) are done at once here.
class ResultListView : public QTableView
{
    Q_OBJECT
public:
    explicit ResultListView(QWidget* parent = nullptr);
    // One selection range over every row.
    void selectAll() override;
    void setSelectionModel(QItemSelectionModel* selectionModel) override;
    // At most one layout a tenth of a second, the last one never lost: see the definition.
    void doItemsLayout() override;

protected:
    // A change of check marks alters no row's size: repainting what is visible is all it takes.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    // A selection of many rows repaints what is visible instead of looking up where each range ends.
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void timerEvent(QTimerEvent* event) override;

private:
    QItemSelectionModel* m_headerSelection = nullptr;
    QElapsedTimer m_lastLayout;
    QBasicTimer m_layoutLater;
};
