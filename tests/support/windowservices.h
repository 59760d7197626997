// SPDX-License-Identifier: MIT
#pragma once

#include "app/mainwindow.h"
#include "support/fixtures.h"
#include "support/scripteddialogs.h"

#include <memory>

// What a test window is given: dialogs that answer from the script, the home page never drawn, and an end of
// the program that does nothing. A test sets its own dialog hook on top.
inline MainWindowServices testWindowServices(ScriptedDialogs& dialogs, const QString& installFolder)
{
    static FixedRandom never;
    MainWindowServices services;
    services.dialogs = &dialogs;
    services.random = &never;
    services.installFolder = installFolder;
    services.endProgram = [] {};
    return services;
}

inline std::unique_ptr<MainWindow> loadedWindow(const MainWindowServices& services)
{
    auto window = std::make_unique<MainWindow>(services);
    window->load();
    return window;
}
