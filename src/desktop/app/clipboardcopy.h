// SPDX-License-Identifier: MIT
#pragma once

#include "results/listtable.h"

#include <QString>

// Shown after every copy, also when nothing was copied.
QString copiedToClipboardMessage();

// The checked rows as clipboard text: no header, cells padded to the longest text of their column (titles do
// not count) and separated by tabs, the last cell unpadded, trailing spaces dropped, every line ending in CR
// LF.
QString clipboardText(const ListTable& list, const YieldFn& yield);

// Replaces the clipboard's text with clipboardText(list); an empty list leaves the clipboard alone. The text
// is complete before the clipboard is touched.
void copyListToClipboard(const ListTable& list, const YieldFn& yield);
