// SPDX-License-Identifier: MIT
#include "fileops/operationprogress.h"

#include <QLocale>

#include <algorithm>
#include <chrono>

int FileOperationSnapshot::fileNumber() const
{
    return std::min(filesTotal, filesFinished + (inHand ? 1 : 0));
}

double FileOperationSnapshot::fraction() const
{
    if (filesTotal <= 0)
        return finished ? 1.0 : 0.0;
    double part = 0;
    if (inHand && fileSize > 0)
        part = std::clamp(double(fileBytesCopied) / double(fileSize), 0.0, 1.0);
    return std::clamp((filesFinished + part) / filesTotal, 0.0, 1.0);
}

FileOperationProgress::FileOperationProgress(Clock clock) : m_clock(std::move(clock))
{
    // A window that reads before the work starts counts its delay from here.
    start(0);
}

qint64 FileOperationProgress::now() const
{
    if (m_clock)
        return m_clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void FileOperationProgress::start(int filesTotal, qint64 bytesTotal)
{
    const qint64 ms = now();
    {
        std::lock_guard lock(m_mutex);
        m_state = FileOperationSnapshot();
        m_state.filesTotal = filesTotal;
        m_state.bytesTotal = bytesTotal;
        m_startMs = ms;
    }
    m_samples.assign(1, Sample{ms, 0});
}

void FileOperationProgress::setFilesTotal(int filesTotal)
{
    showLife();
    std::lock_guard lock(m_mutex);
    m_state.filesTotal = filesTotal;
}

void FileOperationProgress::beginFile(const QByteArray& nativePath)
{
    showLife();
    std::lock_guard lock(m_mutex);
    m_state.inHand = true;
    m_state.currentPath = QByteArray(nativePath.constData(), nativePath.size());
    m_state.fileBytesCopied = 0;
    m_state.fileSize = -1;
}

void FileOperationProgress::beginCopy(qint64 fileSize)
{
    showLife();
    std::lock_guard lock(m_mutex);
    m_state.fileBytesCopied = 0;
    m_state.fileSize = fileSize;
}

void FileOperationProgress::addCopied(qint64 bytes)
{
    showLife();
    std::lock_guard lock(m_mutex);
    m_state.fileBytesCopied += bytes;
    m_state.bytesCopied += bytes;
}

void FileOperationProgress::finishFile(bool succeeded)
{
    showLife();
    std::lock_guard lock(m_mutex);
    m_state.inHand = false;
    m_state.fileSize = -1;
    ++m_state.filesFinished;
    if (succeeded)
        ++m_state.filesSucceeded;
}

void FileOperationProgress::abandonFile()
{
    showLife();
    std::lock_guard lock(m_mutex);
    m_state.inHand = false;
    m_state.fileSize = -1;
}

void FileOperationProgress::finish()
{
    showLife();
    std::lock_guard lock(m_mutex);
    m_state.inHand = false;
    m_state.finished = true;
}

FileOperationSnapshot FileOperationProgress::read()
{
    const qint64 ms = now();
    FileOperationSnapshot s;
    {
        std::lock_guard lock(m_mutex);
        s = m_state;
        // Bytes of its own: the worker's path is then never shared with this thread, whose count Qt keeps
        // where ThreadSanitizer cannot see it.
        s.currentPath = QByteArray(m_state.currentPath.constData(), m_state.currentPath.size());
        s.elapsedMs = ms - m_startMs;
    }
    s.stopRequested = m_stop.load();

    // Measured over the last few seconds only, so that a stall or a faster disk shows soon.
    m_samples.push_back(Sample{ms, s.bytesCopied});
    while (m_samples.size() > 2 && m_samples[1].ms <= ms - RateWindowMs)
        m_samples.pop_front();
    const Sample& first = m_samples.front();
    const qint64 span = ms - first.ms;
    if (span >= RateMinimumSpanMs)
        s.bytesPerSecond = double(s.bytesCopied - first.bytes) * 1000.0 / double(span);
    return s;
}

QString operationTitle(FileOperationKind kind, const QString& targetFolder)
{
    switch (kind) {
    case FileOperationKind::Trash:
        return QStringLiteral("Sending to the trash");
    case FileOperationKind::Move:
        break;
    case FileOperationKind::Shorten:
        return QStringLiteral("Shortening names");
    case FileOperationKind::Undo:
        return QStringLiteral("Undoing the last renaming");
    }
    return QStringLiteral("Moving to ") + targetFolder;
}

namespace {
QString doneVerb(FileOperationKind kind)
{
    switch (kind) {
    case FileOperationKind::Trash:
        return QStringLiteral("sent to the trash");
    case FileOperationKind::Move:
        break;
    case FileOperationKind::Shorten:
        return QStringLiteral("renamed");
    case FileOperationKind::Undo:
        return QStringLiteral("renamed back");
    }
    return QStringLiteral("moved");
}
} // namespace

QString cancellationLine(FileOperationKind kind, const FileOperationSnapshot& end)
{
    if (!end.cancelled())
        return {};
    const QString verb = doneVerb(kind);
    if (end.filesFinished == 0)
        return QStringLiteral("No file was %1; the operation was cancelled.").arg(verb);
    const int done = end.filesSucceeded;
    const QString form =
        done == 1 ? QStringLiteral("%1 of %2 files was %3") : QStringLiteral("%1 of %2 files were %3");
    QString line = form.arg(done).arg(end.filesTotal).arg(verb);
    // When some of the files tried failed, "the rest" would count them among the cancelled.
    const int left = end.filesTotal - end.filesFinished;
    if (done == end.filesFinished)
        line += QStringLiteral("; the rest were cancelled.");
    else if (left == 1)
        line += QStringLiteral("; the last file was cancelled.");
    else
        line += QStringLiteral("; the last %1 were cancelled.").arg(left);
    return line;
}

QString operationEndMessage(const QString& failureMessage, const QString& cancellation)
{
    if (failureMessage.isEmpty() || cancellation.isEmpty())
        return failureMessage + cancellation;
    return failureMessage + QStringLiteral("\n\n") + cancellation;
}

QString humanBytes(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}
