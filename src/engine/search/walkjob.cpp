// SPDX-License-Identifier: MIT
#include "search/walker.h"

#include <QMetaObject>

#include <chrono>

std::string folderPathForWalk(const QByteArray& listed)
{
    std::string path(listed.constData(), std::size_t(listed.size()));
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

struct WalkJob::Shared
{
    explicit Shared(const ThreadHandoff& h) : handoff(h) {}
    QObject* receiver = nullptr;
    ThreadHandoff handoff; // shares the receiver's gate
    quint64 token = 0;
    ReportFn onReport;
    FinishedFn onFinished;
    std::mutex mutex;
    std::condition_variable wake;
    bool acknowledged = false;
    bool inFlight = false;
    bool cancelled = false;
    bool ended = false;
    ResultBatch spare;

    ResultBatch deliver(WalkReport&& report);
    // Runs post on the receiver's thread unless the job was given up; holding the lock, so that the receiver
    // is never touched once the destructor has given up the thread.
    template <class F> void post(F&& f)
    {
        std::lock_guard lock(mutex);
        if (cancelled)
            return;
        handoff.send([&] { QMetaObject::invokeMethod(receiver, std::forward<F>(f), Qt::QueuedConnection); });
    }
};

WalkJob::WalkJob(QObject* receiver, const ThreadHandoff& handoff, quint64 token, QByteArray listedPath,
                 WalkSettings settings, ReportFn onReport, FinishedFn onFinished)
    : m_shared(std::make_shared<Shared>(handoff)), m_token(token)
{
    m_shared->receiver = receiver;
    m_shared->token = token;
    m_shared->onReport = std::move(onReport);
    m_shared->onFinished = std::move(onFinished);
    m_thread = std::thread(
        [shared = m_shared, listedPath = std::move(listedPath), settings = std::move(settings)]() mutable {
            const auto deliver = [&shared](WalkReport&& r) { return shared->deliver(std::move(r)); };
            OpenResult root = fsys::openFolder(listedPath.constData());
            if (root.fd.valid()) {
                walkFolder(std::move(root.fd), folderPathForWalk(listedPath), settings, deliver);
            } else {
                WalkReport report;
                report.failure = WalkFailure{WalkFailure::Folder::Listed, root.error(), listedPath};
                deliver(std::move(report));
            }
            shared->post([fn = shared->onFinished, token = shared->token] { fn(token); });
            std::lock_guard lock(shared->mutex);
            shared->ended = true;
            shared->wake.notify_all();
        });
}

WalkJob::~WalkJob()
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->cancelled = true;
    m_shared->wake.notify_all();
    const bool ended = m_shared->wake.wait_for(lock, std::chrono::milliseconds(m_graceMs),
                                               [this] { return m_shared->ended; });
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
}

bool WalkJob::finished() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->ended;
}

void WalkJob::acknowledge()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->acknowledged = true;
    m_shared->wake.notify_all();
}

void WalkJob::consumed(ResultBatch&& batch)
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->spare = std::move(batch);
    m_shared->inFlight = false;
    m_shared->wake.notify_all();
}

ResultBatch WalkJob::Shared::deliver(WalkReport&& report)
{
    const bool waits = report.failure.has_value();
    ResultBatch batch;
    {
        std::unique_lock lock(mutex);
        // The last report goes out at once: "Done." need not wait for the window to take the one before.
        if (!report.last || waits)
            wake.wait(lock, [this] { return !inFlight || cancelled; });
        if (cancelled)
            return batch;
        if (!report.last) {
            batch = std::move(spare);
            spare = ResultBatch();
        }
        inFlight = true;
        acknowledged = false;
    }
    post([fn = onReport, token = token, shared = std::make_shared<WalkReport>(std::move(report))] {
        fn(token, *shared);
    });
    if (waits) {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return acknowledged || cancelled; });
    }
    return batch;
}
