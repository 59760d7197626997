// SPDX-License-Identifier: MIT
#pragma once

#include <QCursor>

class QWidget;

// The window's pointer states, by the numbers the program has always given them.
enum class Pointer : int {
    Default = 0,
    Busy = 11, // the program's busy marker
    Hand = 99, // the custom hand cursor, over buttons
};

// The window-wide mouse pointer. The value is state of its own (Busy is tested by the hover rules and the
// folder list's Delete key), shown through the window's cursor.
class PointerState
{
public:
    explicit PointerState(QWidget* window) : m_window(window) {}
    Pointer value() const { return m_value; }
    void set(Pointer value);
    void setCustomCursor(const QCursor& cursor);
    bool hasCustomCursor() const { return m_hasCustom; }

private:
    QWidget* m_window;
    Pointer m_value = Pointer::Default;
    QCursor m_custom;
    bool m_hasCustom = false;
};

// Reads a Windows cursor file's bytes: the picture through Qt's image readers, the hotspot from its header.
QCursor loadCursorData(const QByteArray& bytes);
