// SPDX-License-Identifier: MIT
#include "ui/folderdroptarget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

namespace {
// How long the window's thread itself may wait for answers: well inside one frame of a smooth drag.
constexpr int ShortWaitMs = 30;
constexpr int PollMs = 20;

bool sameItems(const std::vector<DroppedFolder>& a, const std::vector<DroppedFolder>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].native != b[i].native)
            return false;
    return true;
}
} // namespace

FolderDropTarget::FolderDropTarget(QWidget* viewport,
                                   std::function<void(const std::vector<DroppedFolder>&)> onDrop)
    : QObject(viewport), m_onDrop(std::move(onDrop))
{
    viewport->setAcceptDrops(true);
    viewport->installEventFilter(this);
}

FolderDropTarget::~FolderDropTarget() = default;

bool FolderDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* drag = static_cast<QDragEnterEvent*>(event);
        std::vector<DroppedFolder> items = droppedItems(drag->mimeData());
        m_dragCheck.reset();
        m_dragAccepted = !items.empty();
        if (m_dragAccepted) {
            m_dragCheck = std::make_shared<FolderCheck>(std::move(items));
            // Refused only when every item answered and none is a folder; an item that keeps quiet may be
            // one.
            if (m_dragCheck->waitFor(ShortWaitMs) && m_dragCheck->folders().empty())
                m_dragAccepted = false;
        }
        [[fallthrough]];
    }
    case QEvent::DragMove: {
        // Decided once when the drag came in: a move looks at no file.
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (m_dragAccepted) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        m_dragCheck.reset();
        return QObject::eventFilter(watched, event);
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        std::vector<DroppedFolder> items = droppedItems(drop->mimeData());
        std::shared_ptr<FolderCheck> check = std::move(m_dragCheck);
        if (!check || !sameItems(check->items(), items))
            check = std::make_shared<FolderCheck>(std::move(items));
        if (check->items().empty() || (check->waitFor(ShortWaitMs) && check->folders().empty())) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        dropped(std::move(check));
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

void FolderDropTarget::dropped(std::shared_ptr<FolderCheck> check)
{
    if (check->complete()) {
        m_onDrop(check->folders());
        return;
    }
    // Some item has not answered: the window runs on, and looks again now and then until answerMs.
    auto* poll = new QTimer(this);
    auto since = std::make_shared<QElapsedTimer>();
    since->start();
    poll->setInterval(PollMs);
    connect(poll, &QTimer::timeout, this, [this, poll, since, check] {
        if (!check->complete() && since->elapsed() < AnswerMs)
            return;
        poll->stop();
        poll->deleteLater();
        const std::vector<DroppedFolder> folders = check->folders();
        if (!folders.empty())
            m_onDrop(folders);
    });
    poll->start();
}
