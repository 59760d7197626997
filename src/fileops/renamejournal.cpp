// SPDX-License-Identifier: MIT
#include "fileops/renamejournal.h"

#include "platform/renamefile.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

#include <optional>

namespace {

// Every word has four letters, so a status is rewritten in place without moving the rest.
QByteArray statusWord(RenameJournal::Status status)
{
    switch (status) {
    case RenameJournal::Status::Todo:
        return "todo";
    case RenameJournal::Status::Done:
        return "done";
    case RenameJournal::Status::Skipped:
        return "skip";
    case RenameJournal::Status::Undone:
        return "back";
    }
    return "todo";
}

std::optional<RenameJournal::Status> statusOf(const QByteArray& word)
{
    for (auto s : {RenameJournal::Status::Todo, RenameJournal::Status::Done, RenameJournal::Status::Skipped,
                   RenameJournal::Status::Undone})
        if (statusWord(s) == word)
            return s;
    return std::nullopt;
}

QString describe(const QFile& file)
{
    return file.fileName() + QStringLiteral(": ") + file.errorString();
}

} // namespace

QByteArray RenameJournal::folder()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.isEmpty() || !data.startsWith('/'))
        data = QFile::encodeName(QDir::homePath()) + "/.local/share";
    return data + "/lentrova/renames/";
}

bool RenameJournal::writeLine(const RenameEntry& entry, Status status)
{
    const qint64 offset = m_file.size();
    const QByteArray line = statusWord(status) + '\t' + entry.folder.toPercentEncoding() + '\t' +
                            entry.oldName.toPercentEncoding() + '\t' + entry.newName.toPercentEncoding() +
                            '\n';
    if (!m_file.seek(offset) || m_file.write(line) != line.size())
        return false;
    m_lines.push_back({entry, status, offset});
    return true;
}

bool RenameJournal::sync()
{
    return m_file.flush() && syncFileDescriptor(m_file.handle()).isEmpty();
}

std::unique_ptr<RenameJournal> RenameJournal::create(const std::vector<RenameEntry>& entries, QString* error)
{
    const QString dir = QFile::decodeName(folder());
    if (!QDir().mkpath(dir)) {
        *error = dir + QStringLiteral(": the folder cannot be made");
        return nullptr;
    }
    auto journal = std::unique_ptr<RenameJournal>(new RenameJournal);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss.zzz"));
    // Two batches in one millisecond must not share a journal.
    for (int attempt = 0;; ++attempt) {
        const QString suffix = attempt ? QStringLiteral("-%1").arg(attempt) : QString();
        journal->m_file.setFileName(dir + stamp + suffix + QStringLiteral(".tsv"));
        if (journal->m_file.open(QIODevice::ReadWrite | QIODevice::NewOnly))
            break;
        if (attempt > 100 || journal->m_file.exists() == false) {
            *error = describe(journal->m_file);
            return nullptr;
        }
    }
    for (const RenameEntry& entry : entries)
        if (!journal->writeLine(entry, Status::Todo)) {
            *error = describe(journal->m_file);
            return nullptr;
        }
    if (!journal->sync()) {
        *error = describe(journal->m_file);
        return nullptr;
    }
    return journal;
}

std::unique_ptr<RenameJournal> RenameJournal::openLatestUndoable(QString* error)
{
    QDir dir(QFile::decodeName(folder()));
    const QStringList names =
        dir.entryList({QStringLiteral("*.tsv")}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString& name : names) {
        auto journal = std::unique_ptr<RenameJournal>(new RenameJournal);
        journal->m_file.setFileName(dir.filePath(name));
        if (!journal->m_file.open(QIODevice::ReadWrite)) {
            *error = describe(journal->m_file);
            return nullptr;
        }
        bool undoable = false;
        qint64 offset = 0;
        while (!journal->m_file.atEnd()) {
            const QByteArray line = journal->m_file.readLine();
            const QList<QByteArray> fields = line.chopped(line.endsWith('\n') ? 1 : 0).split('\t');
            const auto status = fields.size() == 4 ? statusOf(fields[0]) : std::nullopt;
            if (status) {
                RenameEntry entry{QByteArray::fromPercentEncoding(fields[1]),
                                  QByteArray::fromPercentEncoding(fields[2]),
                                  QByteArray::fromPercentEncoding(fields[3])};
                journal->m_lines.push_back({std::move(entry), *status, offset});
                undoable = undoable || *status == Status::Done;
            }
            offset += line.size();
        }
        if (undoable)
            return journal;
    }
    return nullptr;
}

bool RenameJournal::setStatus(int i, Status status)
{
    Line& line = m_lines[std::size_t(i)];
    if (!m_file.seek(line.offset) || m_file.write(statusWord(status)) != 4 || !m_file.flush())
        return false;
    line.status = status;
    return true;
}

int RenameJournal::append(const RenameEntry& entry, Status status)
{
    if (!writeLine(entry, status) || !sync())
        return -1;
    return size() - 1;
}
