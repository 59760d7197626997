// SPDX-License-Identifier: MIT
#pragma once

#include "platform/yieldfn.h"

#include <QString>

#include <functional>

class Dialogs;

// The folder picker behind Add Folder and Move To Folder: only real folders can be chosen. It opens at
// startFolder when that is a folder; a start folder that does not answer within FolderProbeLimit (a dead
// share) is not handed to the picker, which would test it again on the window's thread, and the picker opens
// in the home folder instead. yield keeps the window turning while the start folder is tested; when closed
// then answers true, no picker opens. Gives the chosen folder's full path, or the empty text on cancel.
QString browseForFolder(Dialogs& dialogs, const QString& title, const QString& startFolder,
                        const YieldFn& yield, const std::function<bool()>& closed);
