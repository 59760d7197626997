// SPDX-License-Identifier: MIT
#include "ui/folderdroptarget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QWidget>

FolderDropTarget::FolderDropTarget(QWidget* viewport,
                                   std::function<void(const std::vector<DroppedFolder>&)> onDrop)
    : QObject(viewport), m_onDrop(std::move(onDrop))
{
    viewport->setAcceptDrops(true);
    viewport->installEventFilter(this);
}

bool FolderDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!droppedFolders(drag->mimeData()).empty()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::vector<DroppedFolder> folders = droppedFolders(drop->mimeData());
        if (folders.empty()) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        m_onDrop(folders);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
