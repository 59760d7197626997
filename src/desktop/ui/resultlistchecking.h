// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <vector>

class QAbstractItemView;
class QAction;
class QItemSelection;
class ResultModel;

// Every row a selection covers, read from its ranges (a range may repeat a row; callers only set states).
std::vector<int> rowsOfSelection(const QItemSelection& selection);

// The row the open buttons act on: the current row when it is selected, else the first selected row; -1 when
// no row is selected.
int selectedResultRow(const QAbstractItemView* view);

// Checking many rows of the result list at once: a context menu ("Check All", "Uncheck All", "Check
// Selected", "Uncheck Selected", "Invert Checks"), opened by Shift+F10 too, and Space, which toggles every
// selected row. Each is one
// pass over the model and one change signal, whatever the number of rows.
class ResultListChecking : public QObject
{
    Q_OBJECT
public:
    ResultListChecking(QAbstractItemView* view, ResultModel* model);

    void checkAll();
    void uncheckAll();
    void checkSelected();
    void uncheckSelected();
    void invertChecks();
    // The selected rows all take the opposite of the current row's state (of the first selected row when the
    // current one is not selected), so a mixed selection becomes uniform.
    void toggleSelected();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setSelected(bool checked);
    QAction* addAction(const QString& text, void (ResultListChecking::*slot)());

    QAbstractItemView* m_view;
    ResultModel* m_model;
};
