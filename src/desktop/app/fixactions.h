// SPDX-License-Identifier: MIT
#pragma once

#include "app/actionservices.h"

#include <functional>

class FixDialog;
class SearchRun;

// Shows the fix dialog and answers whether its apply button was pressed; tests answer in its place.
using FixDialogRunner = std::function<bool(FixDialog& dialog)>;

// "Fix Checked Names For Target…": renames checked files and folders so that a target takes them, through
// the same journal as the shortening, so that "Undo Last Renaming" takes a fix back. The renames run on a
// worker thread while the window turns, with the file operation progress window.
class FixActions : private ActionController
{
public:
    // runDialog empty: the dialog is shown modally.
    FixActions(const ActionServices& services, SearchRun& search, FixDialogRunner runDialog)
        : ActionController(services), m_search(search), m_runDialog(std::move(runDialog))
    {
    }

    void fixCheckedNames();

private:
    SearchRun& m_search;
    FixDialogRunner m_runDialog;
};
