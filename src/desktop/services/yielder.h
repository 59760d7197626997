// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>

// Lets the event loop run from inside a long handler, but only once a time slice has passed, so that a
// million calls cost a clock read each and the window never waits longer than the slice.
class Yielder
{
public:
    static constexpr qint64 SliceMs = 15;
    Yielder() { m_clock.start(); }
    void operator()()
    {
        if (m_clock.elapsed() >= SliceMs)
            now();
    }
    // Yields whatever the time since the last yield.
    void now();

private:
    QElapsedTimer m_clock;
};
