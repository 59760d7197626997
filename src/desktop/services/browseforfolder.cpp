// SPDX-License-Identifier: MIT
#include "services/browseforfolder.h"

#include "platform/folderprobe.h"
#include "platform/nativepath.h"
#include "services/dialogs.h"

#include <QDir>
#include <QFile>

QString browseForFolder(Dialogs& dialogs, const QString& title, const QString& startFolder,
                        const YieldFn& yield, const std::function<bool()>& closed)
{
    QString start;
    if (!startFolder.isEmpty()) {
        switch (probeFolder(fromDisplay(startFolder), FolderProbeLimit, yield)) {
        case FolderAnswer::Folder:
            start = startFolder;
            break;
        case FolderAnswer::NoAnswer:
            start = QDir::homePath();
            break;
        case FolderAnswer::NotFolder:
            break;
        }
    }
    if (closed && closed())
        return QString();
    return dialogs.existingDirectory(title, start);
}
