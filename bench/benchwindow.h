// SPDX-License-Identifier: MIT
#pragma once

#include "app/mainwindow.h"

#include <QString>

#include <memory>

class Dialogs;

// The window as a benchmark drives it: its own scripted dialogs, never the home page, the install folder
// given, no leaving the event loop; loaded, not shown.
std::unique_ptr<MainWindow> makeBenchWindow(Dialogs& dialogs, const QString& installFolder);
