// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Both retry up to 1000 times at once; a clipboard failure is never reported to the user.
void clearClipboard();
// format 0 stores plain text; returns whether the last attempt succeeded.
bool setClipboardText(const QString& text, int format = 0);
