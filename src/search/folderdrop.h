// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

class QMimeData;

struct DroppedFolder
{
    QString text;      // the row's text
    QByteArray native; // the folder's exact bytes
};

// The local folders among dropped items, in the order dropped; files and remote items add nothing.
std::vector<DroppedFolder> droppedFolders(const QMimeData* mime);
