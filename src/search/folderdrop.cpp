// SPDX-License-Identifier: MIT
#include "search/folderdrop.h"

#include "platform/dirlisting.h"
#include "search/pathhelpers.h"

#include <QMimeData>
#include <QUrl>

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
        folders.push_back({collapseSeparators(url.toLocalFile()), native});
    }
    return folders;
}
