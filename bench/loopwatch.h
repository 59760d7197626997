// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

// Ticks every millisecond; the longest gap between ticks is how long the event loop waited at worst.
class LoopWatch
{
public:
    LoopWatch()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_since.restart());
            ++m_ticks;
        });
    }
    void start()
    {
        m_longest = 0;
        m_ticks = 0;
        m_since.start();
        m_timer.start(1);
        QCoreApplication::processEvents();
    }
    qint64 stop()
    {
        m_longest = std::max(m_longest, m_since.elapsed());
        m_timer.stop();
        return m_longest;
    }
    qint64 ticks() const { return m_ticks; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
    qint64 m_ticks = 0;
};
