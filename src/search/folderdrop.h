// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QMimeData;

struct DroppedFolder
{
    QString text;      // the row's text
    QByteArray native; // the folder's exact bytes
};

// The local folders among dropped items, in the order dropped; files and remote items add nothing.
std::vector<DroppedFolder> droppedFolders(const QMimeData* mime);

// Lets folders be dropped from the file manager onto a list: installed on the list's viewport, it accepts a
// drag that carries at least one folder and hands the folders of a drop to onDrop.
class FolderDropTarget : public QObject
{
    Q_OBJECT
public:
    FolderDropTarget(QWidget* viewport, std::function<void(const std::vector<DroppedFolder>&)> onDrop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const std::vector<DroppedFolder>&)> m_onDrop;
};
