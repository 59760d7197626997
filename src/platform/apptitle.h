// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The title of every message box that has no title of its own; set once at start-up.
QString applicationTitle();
void setApplicationTitle(const QString& title);
