// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <chrono>

// Waits until the local X server named by display (":1", "unix:1.0") accepts a connection, at most limit.
// True when it does, or when the name is not that of a local server (nothing to wait for here). An X server
// started just before the program, as a test harness or a slow login does, may not listen yet; Qt's X11
// plugin then gives up at once, and ends the program with an abort.
bool waitForLocalDisplay(const QByteArray& display, std::chrono::milliseconds limit);
