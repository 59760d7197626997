// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Ends the process at once (status 0) unless it is disarmed, by its destruction, within limit of the last
// sign of life. A thread that waits in a dead network mount can neither be stopped nor joined, and it must
// not keep a program alive whose window has gone. Signs of life are read from a counter that grows while the
// work moves on; without one the limit runs from the start.
class EndDeadline
{
public:
    using LifeSign = std::shared_ptr<const std::atomic<quint64>>;
    explicit EndDeadline(std::chrono::milliseconds limit, LifeSign lifeSign = {});
    ~EndDeadline();
    EndDeadline(const EndDeadline&) = delete;
    EndDeadline& operator=(const EndDeadline&) = delete;

private:
    void watch(std::chrono::milliseconds limit);

    LifeSign m_lifeSign;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_disarmed = false;
    std::thread m_thread; // last: it starts once the rest is in place
};
