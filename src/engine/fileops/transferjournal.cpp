// SPDX-License-Identifier: MIT
#include "fileops/transferjournal.h"

#include "fileops/failurelist.h"
#include "platform/nativepath.h"
#include "platform/posixfile.h"
#include "platform/renamefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <random>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray kindWord(TransferJournal::Kind kind)
{
    return kind == TransferJournal::Kind::Move ? "move" : "trash";
}

QByteArray identityText(const FileIdentity& id)
{
    return id.valid ? QByteArray::number(id.device) + ':' + QByteArray::number(id.inode) : QByteArray("-");
}

QByteArray randomTag()
{
    std::random_device random;
    return QByteArray::number(qulonglong(::getpid())) + '-' +
           QByteArray::number(quint64(random()) << 32 | random(), 36);
}

} // namespace

QByteArray TransferJournal::folder()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.isEmpty() || !data.startsWith('/'))
        data = fromDisplay(QDir::homePath()) + "/.local/share";
    return data + "/lentrova/transfers/";
}

std::unique_ptr<TransferJournal> TransferJournal::create(Kind kind, QString* error)
{
    const QByteArray dir = folder();
    if (!QDir().mkpath(toDisplay(dir))) {
        *error = toDisplay(dir) + QStringLiteral(": the folder cannot be made");
        return nullptr;
    }
    auto journal = std::unique_ptr<TransferJournal>(new TransferJournal);
    for (int attempt = 0; attempt < 100 && journal->m_fd < 0; ++attempt) {
        journal->m_tag = randomTag();
        journal->m_path = dir + journal->m_tag + ".tsv";
        journal->m_fd =
            ::open(journal->m_path.constData(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
        if (journal->m_fd < 0 && errno != EEXIST)
            break;
    }
    if (journal->m_fd < 0) {
        *error = toDisplay(journal->m_path) + QStringLiteral(": ") + systemErrorText(errno);
        return nullptr;
    }
    // Held until the process ends, however it ends.
    ::flock(journal->m_fd, LOCK_EX | LOCK_NB);
    const QByteArray head = kindWord(kind) + '\t' + journal->m_tag + '\n';
    QString why = writeAllAt(journal->m_fd, head.constData(), head.size(), 0);
    if (why.isEmpty())
        why = syncFileDescriptor(journal->m_fd);
    if (why.isEmpty()) {
        // The record's name must outlast a power loss as well.
        const UniqueFd dirFd(::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dirFd.valid())
            (void)syncFileDescriptor(dirFd.get());
        return journal;
    }
    *error = toDisplay(journal->m_path) + QStringLiteral(": ") + why;
    journal->finished();
    return nullptr;
}

TransferJournal::~TransferJournal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString TransferJournal::record(const std::vector<TransferEntry>& entries, bool durable)
{
    if (m_fd < 0)
        return QStringLiteral("the record of the operation is closed");
    QByteArray text;
    for (const TransferEntry& e : entries)
        text += "file\t" + e.source.toPercentEncoding() + '\t' + e.target.toPercentEncoding() + '\t' +
                e.info.toPercentEncoding() + '\t' + identityText(e.earlier) + '\t' + identityText(e.entry) +
                '\n';
    // O_APPEND: the offset is ignored, every write lands at the end.
    QString why = text.isEmpty() ? QString() : writeAllAt(m_fd, text.constData(), text.size(), 0);
    if (why.isEmpty() && durable)
        why = syncFileDescriptor(m_fd);
    return why.isEmpty() ? QString() : toDisplay(m_path) + QStringLiteral(": ") + why;
}

QString TransferJournal::recordTempFolder(const QByteArray& folder)
{
    if (m_tempFolders.contains(folder))
        return {};
    if (m_fd < 0)
        return QStringLiteral("the record of the operation is closed");
    const QByteArray line = "temp\t" + folder.toPercentEncoding() + '\n';
    if (QString why = writeAllAt(m_fd, line.constData(), line.size(), 0); !why.isEmpty())
        return QFile::decodeName(m_path) + QStringLiteral(": ") + why;
    m_tempFolders.append(folder);
    return {};
}

void TransferJournal::finished()
{
    if (m_fd < 0)
        return;
    ::unlink(m_path.constData());
    ::close(m_fd);
    m_fd = -1;
}
