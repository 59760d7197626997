// SPDX-License-Identifier: MIT
#pragma once

#include "app/actionservices.h"

#include <QString>

// The operations on the files of checked rows: sending them to the trash and moving them to a folder. Each
// takes the window's file operation gate, so no other operation on the files runs meanwhile. Closing the
// window stops a running one where it stands.
class FileActions : private ActionController
{
public:
    explicit FileActions(const ActionServices& services) : ActionController(services) {}

    void sendToTrash();
    void moveToFolder();
    // Puts in order what a move or a trash run that was killed left, and tells what it did; the program does
    // this once as it starts. The window stays alive meanwhile.
    void settleInterrupted();

private:
    QString m_lastMoveFolder; // the folder the move last went to, as the picker returned it
};
