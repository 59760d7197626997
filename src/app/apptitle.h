// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Cuts the display name before its last blank, again while longer than 40 characters. Throws AppError when
// no blank is left to cut at.
QString cutApplicationTitle(const QString& displayName);
