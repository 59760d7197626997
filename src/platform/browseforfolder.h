// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class Dialogs;

// The folder picker behind Add Folder and Move To Folder: only real folders can be chosen; it opens at
// startFolder when that exists. Gives the chosen folder's full path, or the empty text on cancel.
QString BrowseForFolder(Dialogs& dialogs, const QString& title, const QString& startFolder);
