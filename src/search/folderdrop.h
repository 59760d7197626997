// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QMimeData;
class QTimer;

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

// Lets folders be dropped from the file manager onto a list: installed on the list's viewport, it accepts a
// drag that carries at least one folder and hands the folders of a drop to onDrop. Items are looked at once
// per drag and once per drop, off the window's thread; what has not answered within a short wait is waited
// for while the window runs on, up to answerMs, and left out after that.
class FolderDropTarget : public QObject
{
    Q_OBJECT
public:
    FolderDropTarget(QWidget* viewport, std::function<void(const std::vector<DroppedFolder>&)> onDrop);
    ~FolderDropTarget() override;

    void setAnswerMs(int ms) { m_answerMs = ms; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void dropped(std::shared_ptr<FolderCheck> check);

    std::function<void(const std::vector<DroppedFolder>&)> m_onDrop;
    std::shared_ptr<FolderCheck> m_dragCheck; // the drag now over the list
    bool m_dragAccepted = false;
    int m_answerMs = 2000;
};
