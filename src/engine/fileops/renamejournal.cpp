// SPDX-License-Identifier: MIT
#include "fileops/renamejournal.h"

#include "platform/nativepath.h"
#include "platform/renamefile.h"

#include <QDateTime>
#include <QDir>
#include <QHash>

#include <algorithm>
#include <optional>

namespace {

const QByteArray BatchWord = "batch";
const QByteArray WhyWord = "why";

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
    case RenameJournal::Status::AlreadyBack:
        return "home";
    case RenameJournal::Status::NotUndone:
        return "left";
    }
    return "todo";
}

std::optional<RenameJournal::Status> statusOf(const QByteArray& word)
{
    for (auto s : {RenameJournal::Status::Todo, RenameJournal::Status::Done, RenameJournal::Status::Skipped,
                   RenameJournal::Status::Undone, RenameJournal::Status::AlreadyBack,
                   RenameJournal::Status::NotUndone})
        if (statusWord(s) == word)
            return s;
    return std::nullopt;
}

QString describe(const QFile& file)
{
    return file.fileName() + QStringLiteral(": ") + file.errorString();
}

// The sequence number on a journal's first line; 0 for a record written before journals had one.
qint64 sequenceOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = file.readLine(64).trimmed().split('\t');
    bool ok = false;
    const qint64 sequence = fields.size() == 2 && fields[0] == BatchWord ? fields[1].toLongLong(&ok) : 0;
    return ok && sequence > 0 ? sequence : 0;
}

struct JournalFile
{
    QString path;
    QString name;
    qint64 sequence;
};

// Every journal in the folder, newest first.
std::vector<JournalFile> journalsNewestFirst(const QDir& dir)
{
    std::vector<JournalFile> files;
    for (const QString& name : dir.entryList({QStringLiteral("*.tsv")}, QDir::Files)) {
        const QString path = dir.filePath(name);
        files.push_back({path, name, sequenceOf(path)});
    }
    std::sort(files.begin(), files.end(), [](const JournalFile& a, const JournalFile& b) {
        return a.sequence != b.sequence ? a.sequence > b.sequence : a.name > b.name;
    });
    return files;
}

} // namespace

QByteArray RenameJournal::folder()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.isEmpty() || !data.startsWith('/'))
        data = fromDisplay(QDir::homePath()) + "/.local/share";
    return data + "/lentrova/renames/";
}

bool RenameJournal::writeAtEnd(const QByteArray& text)
{
    // A line cut short by a kill stays a line of its own; what follows must not be read as its end.
    const QByteArray bytes = m_endsInNewline ? text : '\n' + text;
    if (!m_file.seek(m_file.size()) || m_file.write(bytes) != bytes.size())
        return false;
    m_lineCount += int(text.count('\n'));
    m_endsInNewline = true;
    return true;
}

bool RenameJournal::writeLine(const RenameEntry& entry, Status status)
{
    const QByteArray line = statusWord(status) + '\t' + entry.folder.toPercentEncoding() + '\t' +
                            entry.oldName.toPercentEncoding() + '\t' + entry.newName.toPercentEncoding() +
                            '\t' + QByteArray::number(entry.file.device) + '\t' +
                            QByteArray::number(entry.file.inode) + '\n';
    const qint64 offset = m_file.size() + (m_endsInNewline ? 0 : 1);
    if (!writeAtEnd(line))
        return false;
    m_lines.push_back({entry, status, offset, m_lineCount, {}});
    return true;
}

QString RenameJournal::syncError()
{
    if (!m_file.flush())
        return m_file.errorString();
    return syncFileDescriptor(m_file.handle());
}

bool RenameJournal::sync()
{
    return syncError().isEmpty();
}

std::unique_ptr<RenameJournal> RenameJournal::create(const std::vector<RenameEntry>& entries, QString* error)
{
    const QString dir = toDisplay(folder());
    if (!QDir().mkpath(dir)) {
        *error = dir + QStringLiteral(": the folder cannot be made");
        return nullptr;
    }
    // Held until the new journal is in the folder, so that two batches never draw the same number.
    const FolderLock lock(folder());
    if (!lock.locked()) {
        *error = dir + QStringLiteral(": ") + lock.error();
        return nullptr;
    }
    const std::vector<JournalFile> existing = journalsNewestFirst(QDir(dir));
    auto journal = std::unique_ptr<RenameJournal>(new RenameJournal);
    journal->m_sequence = (existing.empty() ? 0 : existing.front().sequence) + 1;
    // In UTC, so that the names read in the order they were made across time-zone and daylight-saving
    // changes.
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss.zzz")) +
        QLatin1Char('Z');
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
    bool written = journal->writeAtEnd(BatchWord + '\t' + QByteArray::number(journal->m_sequence) + '\n');
    for (const RenameEntry& entry : entries)
        written = written && journal->writeLine(entry, Status::Todo);
    QString failure;
    if (!written)
        failure = describe(journal->m_file);
    else if (const QString fileError = journal->syncError(); !fileError.isEmpty())
        failure = journal->path() + QStringLiteral(": ") + fileError;
    else if (const QString folderError = lock.syncEntries(); !folderError.isEmpty())
        failure = dir + QStringLiteral(": ") + folderError;
    if (!failure.isEmpty()) {
        *error = failure;
        journal->m_file.remove();
        return nullptr;
    }
    return journal;
}

bool RenameJournal::load()
{
    qint64 offset = 0;
    QHash<int, QString> reasons; // by line number
    while (!m_file.atEnd()) {
        const QByteArray line = m_file.readLine();
        ++m_lineCount;
        m_endsInNewline = line.endsWith('\n');
        // A line without its end was cut short while being written: its last field cannot be trusted.
        const QList<QByteArray> fields = m_endsInNewline ? line.chopped(1).split('\t') : QList<QByteArray>();
        const auto status = fields.size() >= 4 ? statusOf(fields[0]) : std::nullopt;
        if (status) {
            RenameEntry entry{QByteArray::fromPercentEncoding(fields[1]),
                              QByteArray::fromPercentEncoding(fields[2]),
                              QByteArray::fromPercentEncoding(fields[3]),
                              {}};
            if (fields.size() >= 6)
                entry.file = {fields[4].toULongLong(), fields[5].toULongLong(), fields[5].toULongLong() != 0};
            m_lines.push_back({std::move(entry), *status, offset, m_lineCount, {}});
        } else if (fields.size() == 2 && fields[0] == BatchWord && m_lineCount == 1) {
            m_sequence = fields[1].toLongLong();
        } else if (fields.size() >= 3 && fields[0] == WhyWord) {
            reasons.insert(fields[1].toInt(), QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2])));
        }
        offset += line.size();
    }
    for (Line& line : m_lines)
        line.reason = reasons.value(line.number);
    return m_file.error() == QFileDevice::NoError;
}

std::unique_ptr<RenameJournal> RenameJournal::openLatestUndoable(QString* error)
{
    for (const JournalFile& file : journalsNewestFirst(QDir(toDisplay(folder())))) {
        auto journal = std::unique_ptr<RenameJournal>(new RenameJournal);
        journal->m_file.setFileName(file.path);
        if (!journal->m_file.open(QIODevice::ReadWrite) || !journal->load()) {
            *error = describe(journal->m_file);
            return nullptr;
        }
        if (std::any_of(journal->m_lines.begin(), journal->m_lines.end(), [](const Line& line) {
                return line.status == Status::Done || line.status == Status::Todo;
            }))
            return journal;
    }
    return nullptr;
}

// A mark is flushed, not synced: every line, with its file's device and inode, was made durable before its
// rename, and undo settles a line whose mark a crash lost by the file it finds (a "todo" renamed, a "done"
// back home). A sync per mark made a batch about five times slower.
bool RenameJournal::setStatus(int i, Status status)
{
    Line& line = m_lines[std::size_t(i)];
    if (!m_file.seek(line.offset) || m_file.write(statusWord(status)) != 4 || !m_file.flush())
        return false;
    line.status = status;
    return true;
}

bool RenameJournal::setNotUndone(int i, const QString& reason)
{
    Line& line = m_lines[std::size_t(i)];
    const QByteArray why =
        WhyWord + '\t' + QByteArray::number(line.number) + '\t' + reason.toUtf8().toPercentEncoding() + '\n';
    if (!writeAtEnd(why) || !setStatus(i, Status::NotUndone))
        return false;
    line.reason = reason;
    return true;
}

int RenameJournal::append(const RenameEntry& entry, Status status)
{
    if (!writeLine(entry, status) || !sync())
        return -1;
    return size() - 1;
}
