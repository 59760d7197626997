// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The title of every message box that has no title of its own; set once at start-up.
QString applicationTitle();
void setApplicationTitle(const QString& title);

// Cuts the display name before its last blank, again while longer than 40 characters. Throws AppError when
// no blank is left to cut at.
QString cutApplicationTitle(const QString& displayName);
