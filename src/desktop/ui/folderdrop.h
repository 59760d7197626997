// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class QMimeData;

struct DroppedFolder
{
    QString text;      // the row's text
    QByteArray native; // the folder's exact bytes
};

// The local items among dropped ones, in the order dropped, not yet known to be folders; remote items add
// nothing. Touches no file system.
std::vector<DroppedFolder> droppedItems(const QMimeData* mime);

// Tells which of some items are folders, on a thread of its own: an item on a mount that does not answer
// holds that thread, never the caller's. The thread ends on its own, whenever its last answer comes.
class FolderCheck
{
public:
    explicit FolderCheck(std::vector<DroppedFolder> items);

    // Waits at most ms; true when every item has its answer.
    bool waitFor(int ms);
    bool complete() const;
    // The items known to be folders so far, in their order.
    std::vector<DroppedFolder> folders() const;
    const std::vector<DroppedFolder>& items() const { return m_items; }

private:
    struct State;
    std::vector<DroppedFolder> m_items;
    std::shared_ptr<State> m_state;
};
