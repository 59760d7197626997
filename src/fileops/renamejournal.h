// SPDX-License-Identifier: MIT
#pragma once

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
    bool operator==(const RenameEntry&) const = default;
};

// The record of one batch of renames, kept so that the batch can be undone: one line per rename, written and
// made durable before the first rename, each line's status rewritten in place as its rename happens. Names
// are percent-encoded bytes, so any name survives. Lines: "todo|done|skip|back" TAB folder TAB old TAB new.
class RenameJournal
{
public:
    enum class Status { Todo, Done, Skipped, Undone };

    // $XDG_DATA_HOME/lentrova/renames/ (or ~/.local/share/...), ending in the separator.
    static QByteArray folder();

    // A new journal holding every entry as Todo; null with the reason in error when it cannot be written.
    static std::unique_ptr<RenameJournal> create(const std::vector<RenameEntry>& entries, QString* error);
    // The newest journal that still has a Done line; null when there is none (error stays empty) or it
    // cannot be read.
    static std::unique_ptr<RenameJournal> openLatestUndoable(QString* error);

    int size() const { return int(m_lines.size()); }
    const RenameEntry& entry(int i) const { return m_lines[std::size_t(i)].entry; }
    Status status(int i) const { return m_lines[std::size_t(i)].status; }
    // Rewrites line i's status on disk; false when the file refused.
    bool setStatus(int i, Status status);
    // Adds a line (a rename that had to take another name than planned); returns its index, or -1.
    int append(const RenameEntry& entry, Status status);
    QString path() const { return m_file.fileName(); }

private:
    struct Line
    {
        RenameEntry entry;
        Status status;
        qint64 offset; // of the status word
    };
    bool writeLine(const RenameEntry& entry, Status status);
    bool sync();

    QFile m_file;
    std::vector<Line> m_lines;
};
