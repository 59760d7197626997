// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl+C, a service manager) reach the window's
// thread as a call of onSignal, through a pipe the handler writes to, so that the program ends as a closed
// window does: a file operation stops after the file in hand and settles its batch. Installed while one
// lives.
class EndSignals : public QObject
{
public:
    explicit EndSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~EndSignals() override;
    // The first signal caught, 0 while none was.
    int caught() const { return m_caught; }

private:
    void readSignals();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
    int m_caught = 0;
};

// While one lives, an exit() of the process from anywhere first calls endNow on the calling thread. Qt's X11
// plugin calls exit() when the display connection is lost (the X server died, the session ended): the
// handler under way never returns, so the file operation it runs is ended from here instead. endNow has
// 20 seconds (a dead share cannot hold the end up forever; the operation's record settles the rest at the
// next start). One at a time.
class AbruptEndGuard
{
public:
    explicit AbruptEndGuard(std::function<void()> endNow);
    ~AbruptEndGuard();
    AbruptEndGuard(const AbruptEndGuard&) = delete;
    AbruptEndGuard& operator=(const AbruptEndGuard&) = delete;

private:
    std::function<void()> m_endNow;
};
