// SPDX-License-Identifier: MIT
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A folder mirrored through latencyfs (the benchmarks' simulated network share), every request held back by a
// delay, mounted for this object's life. Unusable where FUSE cannot mount; skipReason() then says why.
class LatencyMount
{
public:
    struct Counts
    {
        QMap<QString, qint64> byKind; // requests the share answered, by kind, "all" for their sum
        int mostInFlight = -1;        // the most requests it held at once
        int callers = -1;             // the threads that asked (a release is the kernel's, not counted)
        qint64 all() const { return byKind.value(QStringLiteral("all"), -1); }
    };

    // latencyfs: the program's path.
    LatencyMount(const QString& latencyfs, const QString& source, double delayMs, bool cache);
    ~LatencyMount();
    LatencyMount(const LatencyMount&) = delete;
    LatencyMount& operator=(const LatencyMount&) = delete;
    bool usable() const { return m_mounted; }
    QString skipReason() const { return m_skipReason; }
    QString path() const { return m_dir.path() + QStringLiteral("/share"); }
    // Unmounts and reads what the share counted; empty counts when it could not tell.
    Counts unmount();

private:
    QTemporaryDir m_dir; // the mount point and the counts file
    QProcess m_share;
    bool m_mounted = false;
    QString m_skipReason;
};
