// SPDX-License-Identifier: MIT
#pragma once

#include "platform/fileidentity.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <vector>

struct RenameEntry
{
    QByteArray folder; // native bytes, ending in the separator
    QByteArray oldName;
    QByteArray newName;
    FileIdentity file; // the file as found before its rename; unknown on lines of older records
    bool operator==(const RenameEntry&) const = default;
};

// The record of one batch of renames, kept so that the batch can be undone: a first line "batch" TAB
// sequence number, then one line per rename, written and made durable before the first rename, each line's
// status rewritten in place (and made durable) as its rename happens or is undone. Names are percent-encoded
// bytes, so any name survives. Lines: status TAB folder TAB old TAB new TAB device TAB inode; a line an undo
// could not settle is followed somewhere below by "why" TAB its line number TAB the reason. Records written
// before the sequence number and the identity were kept have neither, and are still read.
class RenameJournal
{
public:
    enum class Status {
        Todo,        // not renamed yet, as far as the record knows
        Done,        // renamed
        Skipped,     // left as it was, or renamed under another name on a later line
        Undone,      // renamed back by undo
        AlreadyBack, // undo found the file at its old name already
        NotUndone,   // undo could not rename it back; reason() says why
    };

    // $XDG_DATA_HOME/lentrova/renames/ (or ~/.local/share/...), ending in the separator.
    static QByteArray folder();

    // A new journal holding every entry as Todo, numbered after every journal in the folder; null with the
    // reason in error when it cannot be written.
    static std::unique_ptr<RenameJournal> create(const std::vector<RenameEntry>& entries, QString* error);
    // The newest journal that still has a line to settle (Done, or Todo: its rename may have happened before
    // the status was written); null when there is none (error stays empty) or it cannot be read. Newest is
    // the highest sequence number; records without one are older than any with one, and among themselves
    // the newest name (their local time stamp) first.
    static std::unique_ptr<RenameJournal> openLatestUndoable(QString* error);

    qint64 sequence() const { return m_sequence; } // 0 when the record has none
    int size() const { return int(m_lines.size()); }
    const RenameEntry& entry(int i) const { return m_lines[std::size_t(i)].entry; }
    Status status(int i) const { return m_lines[std::size_t(i)].status; }
    QString reason(int i) const { return m_lines[std::size_t(i)].reason; }
    // Rewrites line i's status on disk and makes it durable; false when the file refused.
    bool setStatus(int i, Status status);
    // Marks line i NotUndone with the reason; false when the file refused.
    bool setNotUndone(int i, const QString& reason);
    // Adds a line (a rename that had to take another name than planned); returns its index, or -1.
    int append(const RenameEntry& entry, Status status);
    QString path() const { return m_file.fileName(); }

private:
    struct Line
    {
        RenameEntry entry;
        Status status;
        qint64 offset; // of the status word
        int number;    // in the file, from 1
        QString reason;
    };
    bool writeAtEnd(const QByteArray& text);
    bool writeLine(const RenameEntry& entry, Status status);
    bool load();
    QString syncError(); // flushes and makes durable; empty when done, else why not
    bool sync();

    QFile m_file;
    qint64 m_sequence = 0;
    std::vector<Line> m_lines;
    int m_lineCount = 0;
    bool m_endsInNewline = true;
};
