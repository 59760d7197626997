// SPDX-License-Identifier: MIT
#pragma once

#include "results/resultmodel.h"

#include <QCollator>
#include <QObject>

#include <atomic>
#include <memory>
#include <vector>

enum class SortKey {
    Path,    // folder by folder, then by name
    Length,  // name length, then as Path
    Problem, // a target check's problem text, numbers by value, then as Path
};

// What the list's column sorts by: its second column holds the length, or after a target check the problem.
inline SortKey sortKeyOfColumn(int column, bool problemColumn)
{
    if (column != 1)
        return SortKey::Path;
    return problemColumn ? SortKey::Problem : SortKey::Length;
}

// The collator for paths: the user's locale with numbers compared by value ("file2" before "file10"). The C
// locale compares code points and knows no numbers, so it is replaced by English.
QCollator pathCollator();

// The order of the snapshot's rows sorted by key: element i is the position of the row that goes to place i.
// Rows that compare equal keep their list order, in either direction. Texts are compared as displayed (bytes
// that are not UTF-8 read as U+FFFD). Returns an empty order when cancel was raised meanwhile.
std::vector<quint32> sortedOrder(const ResultSnapshot& rows, SortKey key, Qt::SortOrder order,
                                 const std::atomic<bool>* cancel = nullptr);

// Sorts the result list off the window's thread: the order is worked out on a snapshot by a worker thread,
// then put in place in one step on the window's thread. Lives on the window's thread.
class ResultSorter : public QObject
{
    Q_OBJECT
public:
    explicit ResultSorter(ResultModel& model, QObject* parent = nullptr);
    ~ResultSorter() override;

    // While a walk runs its order stands: requests are ignored, and a sort under way is dropped.
    void setWalkRunning(bool running);
    // Starts sorting by column (0 path, 1 length); a request made while one is under way replaces it.
    // False when ignored (a search runs, or no such column).
    bool sort(int column, Qt::SortOrder order);
    bool isSorting() const { return m_current != 0; }

signals:
    // The list now shows the requested order.
    void sorted(int column, Qt::SortOrder order);
    // A sort was given up: a search started, or the list kept changing under it.
    void sortDropped();

private:
    struct Job;
    void start();
    void finished(quint64 serial);
    void cancelCurrent();

    ResultModel& m_model;
    std::vector<std::shared_ptr<Job>> m_jobs; // every worker thread not yet joined
    quint64 m_current = 0;                    // serial of the job whose order is wanted; 0: none
    quint64 m_serials = 0;
    int m_column = 0;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    int m_retries = 0;
    bool m_searchRunning = false;
};
