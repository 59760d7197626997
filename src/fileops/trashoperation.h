// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

class ResultModel;
class ResultSnapshot;

// Sends the files of chosen rows to the trash, one at a time, and afterwards knows which rows' files are no
// longer at their paths: exactly those rows leave the list, whatever happened to the others.
class TrashOperation
{
public:
    using Yield = std::function<void()>;

    void add(quint64 rowId, const QByteArray& nativePath);
    void addChecked(const ResultSnapshot& rows);
    int count() const { return int(m_files.size()); }

    // yield runs between files; stop, when set, ends the run before the next file.
    void run(const Yield& yield, const std::atomic<bool>* stop = nullptr);

    // Ids of the rows whose files are gone from their paths, ascending.
    const std::vector<quint64>& goneIds() const { return m_gone; }
    // One line per file that is still at its path although it was to go.
    const QStringList& failures() const { return m_failures; }
    QString failureMessage() const;
    int removeGoneRows(ResultModel& model) const;

private:
    struct File
    {
        quint64 rowId;
        QByteArray path;
    };
    std::vector<File> m_files;
    std::vector<quint64> m_gone;
    QStringList m_failures;
};

// The question the program asks before anything goes to the trash.
QString trashQuestion(int fileCount);
