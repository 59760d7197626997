// SPDX-License-Identifier: MIT
#pragma once

#include "platform/filemove.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// One file that a move or a trash run is about to place elsewhere.
struct TransferEntry
{
    QByteArray source; // native path
    QByteArray target; // the name it takes: in the target folder, or in a trash's files/
    QByteArray info;   // its .trashinfo; empty for a move
    FileIdentity earlier =
        {};                  // the file that held the target name when recorded, which is not ours to remove
    FileIdentity entry = {}; // the .trashinfo made for the claim, told from another program's by identity
};

// The record of an operation that copies files and deletes their sources afterwards, kept so that a kill
// (SIGKILL, a power loss) cannot leave a file in two places or half made unnoticed: each file is recorded
// before it is placed, durably before any copy, and the record goes once the operation has settled every
// file. A running operation holds a lock on its record, so that another instance does not settle it.
// Lines: "move|trash" TAB tag, then "file" TAB source TAB target TAB info TAB earlier TAB entry, identities
// as device:inode (or "-"), and "temp" TAB a folder where temporary names may be left; paths are
// percent-encoded bytes.
class TransferJournal
{
public:
    enum class Kind { Move, Trash };

    // $XDG_DATA_HOME/lentrova/transfers/ (or ~/.local/share/...), ending in the separator.
    static QByteArray folder();
    // A new, empty record; null with the reason in error when it cannot be written.
    static std::unique_ptr<TransferJournal> create(Kind kind, QString* error);
    ~TransferJournal();
    TransferJournal(const TransferJournal&) = delete;
    TransferJournal& operator=(const TransferJournal&) = delete;

    // Joins the names of the operation's temporary files, so that they can be found after a kill.
    const QByteArray& tag() const { return m_tag; }
    // Adds entries; durable makes them outlast a power loss before it returns. Empty when written.
    QString record(const std::vector<TransferEntry>& entries, bool durable);
    // Names a folder where the operation may leave temporary names, once per folder.
    QString recordTempFolder(const QByteArray& folder);
    // Every file is settled: the record goes.
    void finished();

private:
    TransferJournal() = default;
    int m_fd = -1;
    QByteArray m_path;
    QByteArray m_tag;
    QList<QByteArray> m_tempFolders;
};

// What settling the records of interrupted operations did, told in one message.
struct SettledTransfers
{
    QStringList removedCopies;   // copies removed: their sources still held the same file
    QStringList keptBoth;        // a copy and its source that differ: both stay
    QStringList completedTrash;  // files in the trash that got the entry that restores them
    QStringList completedMoves;  // files caught beside the file they replace, given their new name
    QStringList returnedMoves;   // files caught beside a file they were to replace, put back where they were
    QStringList failures;        // what could not be settled, and why
    int removedPartials = 0;     // unfinished copies removed
    int removedTrashEntries = 0; // trash entries that named no file, removed
    bool empty() const;
    QString message() const;
};

// Settles the records left by operations that were killed; records that a running instance holds are left
// alone. A copy is removed only while its source still exists with the same size, time and content; a copy
// whose source is gone is the file and stays. Unfinished copies and trash entries without a file go; a file
// in the trash without its entry gets one. A file caught under its hidden name beside the file it was to
// replace takes its new name if that file has gone, else goes back to its source; neither replaces anything.
SettledTransfers settleInterruptedTransfers();
