// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Converts a text to a signed 16-bit whole number the way the length box is read: blanks around the number
// are allowed, a fraction is rounded to the nearest whole number with halves going to the even neighbour.
// Gives nothing for the empty text, anything that is not a number, or a result outside -32768 to 32767.
std::optional<qint16> convertToInt16(const QString& text);
