// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

enum class FileOperationKind { Trash, Move, Shorten, Undo };

// What a file operation has done so far, as one consistent picture.
struct FileOperationSnapshot
{
    int filesTotal = 0;
    int filesFinished = 0;  // whatever their outcome
    int filesSucceeded = 0; // placed or trashed: their rows leave the list
    bool inHand = false;    // a file has begun and not yet finished
    QByteArray currentPath; // native path of the file in hand, or of the last one
    qint64 fileBytesCopied = 0;
    qint64 fileSize = -1; // -1 while the file in hand is not being copied
    qint64 bytesCopied = 0;
    qint64 bytesTotal = -1;     // -1 when the caller did not say
    double bytesPerSecond = -1; // -1 until enough time has passed to tell
    qint64 elapsedMs = 0;
    bool stopRequested = false;
    bool finished = false;

    // The 1-based number of the file in hand, for "N of M files".
    int fileNumber() const;
    // Files finished, with the part of the file in hand that is copied; from 0 to 1.
    double fraction() const;
    bool cancelled() const { return stopRequested && filesFinished < filesTotal; }
};

// Counters that a worker updates while a file operation runs and the window's thread reads. Every update
// takes one briefly held lock and never reads the clock, so one per copied chunk costs next to nothing.
// The clock (milliseconds, monotonic) is read only by start() and read(), on the window's thread.
class FileOperationProgress
{
public:
    using Clock = std::function<qint64()>;
    explicit FileOperationProgress(Clock clock = {});
    FileOperationProgress(const FileOperationProgress&) = delete;
    FileOperationProgress& operator=(const FileOperationProgress&) = delete;

    // Before the work begins. bytesTotal: what will be copied, when known.
    void start(int filesTotal, qint64 bytesTotal = -1);

    // Worker side, any thread. A file that is not copied (a rename, a trash) needs no size.
    // Where the count is known only once the work has begun.
    void setFilesTotal(int filesTotal);
    void beginFile(const QByteArray& nativePath);
    void beginCopy(qint64 fileSize);
    void addCopied(qint64 bytes);
    void finishFile(bool succeeded);
    // The file in hand was dropped unfinished on a cancel: it counts among the cancelled, not the finished.
    void abandonFile();
    // Polled between files and between copy chunks; also fits the stop flag that the file code takes.
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }
    const std::atomic<bool>* stopFlag() const { return &m_stop; }

    // Any thread.
    void requestStop() { m_stop.store(true); }
    void finish();

    // A count that grows with every update of the worker, readable from any thread, even after the progress
    // has gone: whoever waits on a worker tells by it whether the work still moves.
    std::shared_ptr<const std::atomic<quint64>> lifeSign() const { return m_lifeSign; }

    // Window side: one thread only, since it keeps the samples that the rate is measured over.
    FileOperationSnapshot read();

    static constexpr qint64 RateWindowMs = 3000;
    static constexpr qint64 RateMinimumSpanMs = 500;

private:
    struct Sample
    {
        qint64 ms;
        qint64 bytes;
    };
    qint64 now() const;
    void showLife() { m_lifeSign->fetch_add(1, std::memory_order_relaxed); }

    Clock m_clock;
    std::atomic<bool> m_stop{false};
    std::shared_ptr<std::atomic<quint64>> m_lifeSign = std::make_shared<std::atomic<quint64>>(0);
    mutable std::mutex m_mutex;
    FileOperationSnapshot m_state;
    qint64 m_startMs = 0;
    std::deque<Sample> m_samples; // reader's own
};

// The title line of the progress window.
QString operationTitle(FileOperationKind kind, const QString& targetFolder = QString());

// The line added to an operation's end message when it was cancelled with files left; empty otherwise.
QString cancellationLine(FileOperationKind kind, const FileOperationSnapshot& end);

// The operation's one end message: the failures, then the cancellation; empty when there is neither.
QString operationEndMessage(const QString& failureMessage, const QString& cancellation);

// A byte count in the units a file manager shows ("1.5 MB").
QString humanBytes(qint64 bytes);
