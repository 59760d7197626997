// SPDX-License-Identifier: MIT
#pragma once

#include "platform/yieldfn.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// One thread that does an operation's file work, one job at a time, so that the calling thread can keep its
// event loop turning meanwhile. Started at the first job; the thread is reused, since starting one per file
// would cost more than moving a small file does.
class FileWorker
{
public:
    FileWorker() = default;
    ~FileWorker();
    FileWorker(const FileWorker&) = delete;
    FileWorker& operator=(const FileWorker&) = delete;

    // Runs job on the worker and returns when it has finished, calling yield every few milliseconds until
    // then. Rethrows whatever job threw. Not reentrant: yield must not start another job on this worker.
    void run(std::function<void()> job, const YieldFn& yield);

    // Blocks until the job under way, if any, has finished; for a caller whose run() will never return (the
    // process is ending under it).
    void waitIdle();

private:
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_job;
    std::exception_ptr m_error;
    bool m_pending = false;
    bool m_quit = false;
    std::thread m_thread;
};
