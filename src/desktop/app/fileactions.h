// SPDX-License-Identifier: MIT
#pragma once

#include "app/actionservices.h"

#include <QString>

#include <functional>

class CloseWatcher;
class Guard;

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
    // The error-box labels of the steps every operation on checked rows ends with.
    struct CheckedRowsLabels
    {
        int run;
        int removeRows;
        int repaint;
        int pointer;
        int endMessage;
    };
    // Runs work (the operation over its rows) under the progress window titled title unless the window was
    // closed first, then takes the rows whose files went out of the list and tells how it ended. operation
    // null: it could not be made; only the list and the pointer are put right.
    template <class Operation>
    void runOnCheckedRows(Guard& step, Operation* operation, const CloseWatcher& watcher,
                          const QString& title, const CheckedRowsLabels& labels,
                          const std::function<void()>& work);

    QString m_lastMoveFolder; // the folder the move last went to, as the picker returned it
};
