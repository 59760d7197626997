// SPDX-License-Identifier: MIT
#include "platform/browseforfolder.h"

#include "platform/dialogs.h"

QString BrowseForFolder(Dialogs& dialogs, const QString& title, const QString& startFolder)
{
    return dialogs.existingDirectory(title, startFolder);
}
