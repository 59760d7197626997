// SPDX-License-Identifier: MIT
#include "services/enddeadline.h"

#include <algorithm>
#include <cstdlib>

EndDeadline::EndDeadline(std::chrono::milliseconds limit, LifeSign lifeSign)
    : m_lifeSign(std::move(lifeSign)), m_thread([this, limit] { watch(limit); })
{
}

EndDeadline::~EndDeadline()
{
    {
        std::lock_guard lock(m_mutex);
        m_disarmed = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void EndDeadline::watch(std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    // Often enough to notice a sign of life well within the limit, rarely enough to cost nothing.
    const auto look = std::clamp(limit / 10, std::chrono::milliseconds(10), std::chrono::milliseconds(100));
    quint64 lastSign = m_lifeSign ? m_lifeSign->load() : 0;
    auto lastLife = Clock::now();
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, look, [this] { return m_disarmed; })) {
        const quint64 sign = m_lifeSign ? m_lifeSign->load() : 0;
        const auto now = Clock::now();
        if (sign != lastSign) {
            lastSign = sign;
            lastLife = now;
        } else if (now - lastLife >= limit) {
            std::_Exit(0);
        }
    }
}
