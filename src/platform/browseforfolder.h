// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class Dialogs;

// The folder picker behind Add Folder (Move To Folder asks Dialogs directly): only real folders can be
// chosen; it opens at startFolder when that exists. Gives the chosen folder's full path, or the empty text on
// cancel.
QString browseForFolder(Dialogs& dialogs, const QString& title, const QString& startFolder);
