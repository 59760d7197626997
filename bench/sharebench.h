// SPDX-License-Identifier: MIT
#pragma once

// The search on a simulated network share (latencyfs): ours against fd and bfs for each delay and tree size,
// a fresh mount for every run, with the limit that the requests a walk needs set at the delay.

#include <QList>
#include <QString>

#include <functional>

struct ShareBenchSetup
{
    QList<double> delaysMs = {2, 20};
    QList<qint64> sizes = {20000, 200000};
    quint32 seed = 12;
    QString treeFolder = QStringLiteral("/tmp");
    bool keep = false;
    int readers = 16;
    double capSeconds = 120;      // a run that takes longer is ended and printed as "> cap"
    qint64 slowPeersUpTo = 20000; // fd with its default threads and bfs run only on trees this large at most
    bool cacheOff = true;         // also time each with the kernel's caching off
    // The window's search of a folder for names of 12: seconds to "Done." and the rows.
    std::function<std::pair<double, int>(const QString& folder)> windowSearch;
    // The window's search of a folder for every file, stopped after afterMs: milliseconds from Stop to
    // "Done.".
    std::function<double(const QString& folder, int afterMs)> windowStop;
    // The window ignores a Stop this soon after Start (a double click on Start): its Stop comes later.
    int windowStopAfterAtLeastMs = 0;
    // The same search twice in the window, nothing changed between: seconds of the first and of the second.
    std::function<std::pair<double, double>(const QString& folder)> windowSearchAgain;
};

// Prints its figures; returns 0 also when FUSE cannot mount here (it says why), 1 when counts disagree.
int runShareBench(const ShareBenchSetup& setup);
