// SPDX-License-Identifier: MIT
#include "platform/browseforfolder.h"

#include "platform/dialogs.h"

QString browseForFolder(Dialogs& dialogs, const QString& title, const QString& startFolder)
{
    return dialogs.existingDirectory(title, startFolder);
}
