// SPDX-License-Identifier: MIT
#include "search/folderdrop.h"

#include "platform/dirlisting.h"
#include "search/pathhelpers.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

std::vector<DroppedFolder> droppedFolders(const QMimeData* mime)
{
    std::vector<DroppedFolder> folders;
    if (!mime || !mime->hasUrls())
        return folders;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        // The url's encoded path keeps the name's bytes even where they are not UTF-8.
        const QByteArray native = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!fsys::isFolder(native))
            continue;
        folders.push_back({NormalizeBackslashes(url.toLocalFile()), native});
    }
    return folders;
}

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
