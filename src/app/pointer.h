// SPDX-License-Identifier: MIT
#pragma once

#include <QCursor>

class QWidget;

inline constexpr int Pointer::Default = 0;
inline constexpr int Pointer::Busy = 11;
inline constexpr int Pointer::Hand = 99;

// The window-wide mouse pointer. The value is state of its own (11 is the program's busy marker, which the
// hover rules and the folder list's Delete key test), shown through the window's cursor.
class PointerState
{
public:
    explicit PointerState(QWidget* window) : m_window(window) {}
    int value() const { return m_value; }
    void set(int value);
    void setCustomCursor(const QCursor& cursor);
    bool hasCustomCursor() const { return m_hasCustom; }

private:
    QWidget* m_window;
    int m_value = Pointer::Default;
    QCursor m_custom;
    bool m_hasCustom = false;
};

// Reads a Windows cursor file: the picture through Qt's image readers, the hotspot from the file's header.
QCursor loadCursorFile(const QString& path);
QCursor loadCursorData(const QByteArray& bytes);
