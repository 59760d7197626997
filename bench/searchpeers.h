// SPDX-License-Identifier: MIT
#pragma once

// What the search benchmark compares the search with, and the trees and caches it runs on.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

struct PeerRun
{
    QString name;
    double seconds = -1; // -1: it did not start
    qint64 count = -1;   // lines it wrote, read through a pipe as a script would
    bool capped = false; // ended at capSeconds, seconds then being the cap
};

PeerRun runPeer(const QString& name, const QString& program, const QStringList& args, double capSeconds = -1);
// Other work on the machine skews every figure here; the load average tells how much there was.
QString loadAverage();
double median(std::vector<double> v);
bool generate(const QString& dir, qint64 files, quint32 seed);
// One core's listing limit: every folder of the tree read with getdents64 alone, depth first, on this
// thread, kinds from d_type. Returns the number of files.
qint64 bareListing(const QByteArray& root);
bool canDropCaches();
void dropCaches();
int taskCount();
