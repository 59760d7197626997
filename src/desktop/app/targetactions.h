// SPDX-License-Identifier: MIT
#pragma once

#include "app/actionservices.h"

#include <QString>

#include <functional>

class SearchRun;
class TargetCheckDialog;
struct TargetCheckChoice;

// Shows the target dialog and answers whether it closed with Start; tests answer in its place.
using TargetDialogRunner = std::function<bool(TargetCheckDialog& dialog)>;

// The choice the dialog offers first: the last one started, else every rule against Windows.
TargetCheckChoice rememberedTargetChoice();
void rememberTargetChoice(const TargetCheckChoice& choice);

// "Check For A Target…": asks for the target and starts the check through the search run. Refused while a
// search or an operation on the files runs.
class TargetActions : private ActionController
{
public:
    // runDialog empty: the dialog is shown modally.
    TargetActions(const ActionServices& services, SearchRun& search, TargetDialogRunner runDialog)
        : ActionController(services), m_search(search), m_runDialog(std::move(runDialog))
    {
    }

    void checkForTarget();

private:
    SearchRun& m_search;
    TargetDialogRunner m_runDialog;
};
