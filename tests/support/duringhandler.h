// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Runs check once, at the first turn of the event loop while a handler is busy.
struct DuringHandler
{
    QTimer timer;
    bool ran = false;
    explicit DuringHandler(std::function<void()> check)
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this, check] {
            if (ran)
                return;
            ran = true;
            timer.stop();
            check();
        });
        timer.start();
    }
};
