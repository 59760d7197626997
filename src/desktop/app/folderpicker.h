// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class CloseWatcher;
class Dialogs;
class PointerState;

// The folder picker of Add Folder and Move To Folder. Its remembered start folder may be on a share that has
// died since, so it is tested off the window's thread first, under the busy pointer with the window turning;
// no picker opens once the window has closed meanwhile.
QString pickFolderFrom(Dialogs& dialogs, PointerState& pointer, const QString& start,
                       const CloseWatcher& closing);
