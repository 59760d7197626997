// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// A share that stops answering: a folder of ours mounted again through bindfs, a FUSE file system whose
// daemon stop() halts with SIGSTOP, so that every request on the mount then waits, as on a network share
// whose server has gone. The daemon is let go on again and the mount taken away at the end. Unusable where
// FUSE or bindfs is missing (reason() says why).
class DeadShare
{
public:
    DeadShare();
    ~DeadShare();
    DeadShare(const DeadShare&) = delete;
    DeadShare& operator=(const DeadShare&) = delete;

    bool usable() const { return m_reason.isEmpty(); }
    QString reason() const { return m_reason; }
    // The mount point, and the folder behind it (where files are made without going through the mount).
    QByteArray mount() const { return QFile::encodeName(m_dir.path()) + "/mount"; }
    QByteArray backing() const { return QFile::encodeName(m_dir.path()) + "/backing"; }

    // Halts the daemon, and waits until the kernel's cache of its answers has run out. A test that would wait
    // for ever on the share is let go on after limit, and resumedByLimit() then says so.
    void stop(std::chrono::milliseconds limit = std::chrono::seconds(30));
    void resume();
    bool resumedByLimit() const { return m_resumedByLimit; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_reason;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopped = false;
    std::atomic<bool> m_resumedByLimit{false};
    std::thread m_limit;
};
