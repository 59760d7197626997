// SPDX-License-Identifier: MIT
#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

#include <functional>

// Tells a handler that yields when the window is closed under it, so that it stops after the file in hand and
// shows no message that would hold up the end of the program.
class CloseWatcher : public QObject
{
public:
    CloseWatcher(QWidget* window, std::function<void()> onClose)
        : m_window(window), m_onClose(std::move(onClose))
    {
        m_window->installEventFilter(this);
    }
    ~CloseWatcher() override { m_window->removeEventFilter(this); }
    bool closed() const { return m_closed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Close) {
            m_closed = true;
            m_onClose();
        }
        return false;
    }

private:
    QWidget* m_window;
    std::function<void()> m_onClose;
    bool m_closed = false;
};
