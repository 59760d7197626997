// SPDX-License-Identifier: MIT
#include "support/latencymount.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// fusermount3's words on a mount still busy are no news: the unmount is tried again.
int runQuietly(const QStringList& args)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral("fusermount3"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool mountedAt(const QString& point)
{
    struct stat here
    {
    }, above{};
    return ::stat(QFile::encodeName(point).constData(), &here) == 0 &&
           ::stat(QFile::encodeName(point + "/..").constData(), &above) == 0 && here.st_dev != above.st_dev;
}
} // namespace

LatencyMount::LatencyMount(const QString& latencyfs, const QString& source, double delayMs, bool cache)
{
    if (!QFileInfo(latencyfs).isExecutable()) {
        m_skipReason = QStringLiteral("latencyfs was not built (libfuse3 missing)");
        return;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        m_skipReason = QStringLiteral("/dev/fuse cannot be opened here");
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("fusermount3")).isEmpty()) {
        m_skipReason = QStringLiteral("fusermount3 is not installed (fuse3)");
        return;
    }
    QDir(m_dir.path()).mkdir(QStringLiteral("share"));
    m_share.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_share.start(latencyfs,
                  {QStringLiteral("--delay-ms"), QString::number(delayMs), QStringLiteral("--cache"),
                   cache ? QStringLiteral("on") : QStringLiteral("off"), QStringLiteral("--counts"),
                   m_dir.filePath(QStringLiteral("counts")), source, path()});
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000 && m_share.state() != QProcess::NotRunning) {
        if (mountedAt(path())) {
            m_mounted = true;
            return;
        }
        QThread::msleep(10);
    }
    m_share.kill();
    m_share.waitForFinished(5000);
    m_skipReason =
        QStringLiteral("latencyfs could not mount: %1").arg(QString::fromLocal8Bit(m_share.readAll()));
}

LatencyMount::~LatencyMount()
{
    unmount();
}

LatencyMount::Counts LatencyMount::unmount()
{
    Counts counts;
    if (!m_mounted)
        return counts;
    m_mounted = false;
    // A program just ended may still hold a file there for a moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (runQuietly({QStringLiteral("-u"), path()}) == 0)
            break;
        QThread::msleep(100);
    }
    if (mountedAt(path()))
        runQuietly({QStringLiteral("-uz"), path()});
    if (!m_share.waitForFinished(20000)) {
        m_share.kill();
        m_share.waitForFinished(5000);
        return counts;
    }
    QFile file(m_dir.filePath(QStringLiteral("counts")));
    if (!file.open(QIODevice::ReadOnly))
        return counts;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 2)
            continue;
        if (parts[0] == "most-in-flight")
            counts.mostInFlight = parts[1].toInt();
        else if (parts[0] == "callers")
            counts.callers = parts[1].toInt();
        else
            counts.byKind.insert(QString::fromLatin1(parts[0]), parts[1].toLongLong());
    }
    return counts;
}
