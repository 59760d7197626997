// SPDX-License-Identifier: MIT
#include "support/deadshare.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/stat.h>

namespace {
dev_t deviceOf(const QByteArray& path)
{
    struct stat st
    {
    };
    return ::stat(path.constData(), &st) == 0 ? st.st_dev : dev_t(0);
}
} // namespace

DeadShare::DeadShare()
{
    if (QStandardPaths::findExecutable(QStringLiteral("bindfs")).isEmpty()) {
        m_reason = QStringLiteral("bindfs is not installed");
        return;
    }
    if (!QFile::exists(QStringLiteral("/dev/fuse"))) {
        m_reason = QStringLiteral("/dev/fuse is missing");
        return;
    }
    QDir().mkpath(QFile::decodeName(mount()));
    QDir().mkpath(QFile::decodeName(backing()));
    const dev_t before = deviceOf(mount());
    // In the foreground, so that the daemon is our child and its pid is the one to stop.
    m_daemon.start(QStringLiteral("bindfs"),
                   {QStringLiteral("-f"), QFile::decodeName(backing()), QFile::decodeName(mount())});
    if (!m_daemon.waitForStarted(5000)) {
        m_reason = QStringLiteral("bindfs did not start");
        return;
    }
    for (int i = 0; i < 500 && deviceOf(mount()) == before; ++i) {
        if (m_daemon.state() != QProcess::Running)
            break;
        QThread::msleep(10);
    }
    if (deviceOf(mount()) == before) {
        m_reason = QStringLiteral("bindfs could not mount: ") +
                   QString::fromLocal8Bit(m_daemon.readAllStandardError());
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

DeadShare::~DeadShare()
{
    resume();
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    QProcess::execute(QStringLiteral("fusermount"),
                      {QStringLiteral("-u"), QStringLiteral("-z"), QFile::decodeName(mount())});
    if (!m_daemon.waitForFinished(5000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

void DeadShare::stop(std::chrono::milliseconds limit)
{
    if (m_daemon.state() != QProcess::Running || m_stopped)
        return;
    if (m_limit.joinable())
        m_limit.join();
    const pid_t pid = pid_t(m_daemon.processId());
    {
        std::lock_guard lock(m_mutex);
        ::kill(pid, SIGSTOP);
        m_stopped = true;
    }
    // The kernel answers from its cache what the daemon told it in the last second; a share that died a while
    // ago answers nothing.
    QThread::msleep(1200);
    m_limit = std::thread([this, pid, limit] {
        std::unique_lock lock(m_mutex);
        if (!m_wake.wait_for(lock, limit, [this] { return !m_stopped; })) {
            m_resumedByLimit = true;
            ::kill(pid, SIGCONT);
        }
    });
}

void DeadShare::resume()
{
    {
        std::lock_guard lock(m_mutex);
        if (const qint64 pid = m_daemon.processId(); m_stopped && pid > 0)
            ::kill(pid_t(pid), SIGCONT);
        m_stopped = false;
    }
    m_wake.notify_all();
    if (m_limit.joinable())
        m_limit.join();
}
