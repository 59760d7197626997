// SPDX-License-Identifier: MIT
#include "fileops/fileworker.h"

#include <chrono>
#include <utility>

FileWorker::~FileWorker()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void FileWorker::run(std::function<void()> job, const YieldFn& yield)
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { loop(); });
    std::unique_lock lock(m_mutex);
    m_job = std::move(job);
    m_error = nullptr;
    m_pending = true;
    m_wake.notify_all();
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(2), [this] { return !m_pending; })) {
        if (!yield)
            continue;
        lock.unlock();
        try {
            yield();
        } catch (...) {
            // The job may use the caller's locals: it must end before the caller's frame unwinds.
            lock.lock();
            m_wake.wait(lock, [this] { return !m_pending; });
            throw;
        }
        lock.lock();
    }
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
}

void FileWorker::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return !m_pending; });
}

void FileWorker::loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pending || m_quit; });
        if (!m_pending)
            return;
        std::function<void()> job = std::move(m_job);
        lock.unlock();
        std::exception_ptr error;
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        m_error = error;
        m_pending = false;
        m_wake.notify_all();
    }
}
