// SPDX-License-Identifier: MIT
#include "support/filehold.h"

#include "platform/posixfile.h"
#include "support/filetree.h"

#include <QFile>
#include <QProcess>

#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
// Sets (or clears) one inode flag; 0 or the errno.
int changeFlag(const QByteArray& path, int flag, bool on)
{
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    int flags = 0;
    if (!fd.valid() || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0)
        return errno;
    flags = on ? flags | flag : flags & ~flag;
    return ::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags) == 0 ? 0 : errno;
}
} // namespace

FileHold::FileHold(const QByteArray& file, Kind kind)
{
    if (kind == Kind::MountedOver) {
        const QString other = m_dir.filePath(QStringLiteral("other"));
        if (::geteuid() != 0 || !FileTree::write(QFile::encodeName(other), "mounted over") ||
            QProcess::execute(QStringLiteral("mount"), {"--bind", other, QFile::decodeName(file)}) != 0) {
            m_skipReason = QStringLiteral("cannot bind-mount a file here");
            return;
        }
        m_held = file;
        m_mounted = true;
        return;
    }
    const bool onFolder = kind == Kind::FolderImmutable || kind == Kind::FolderAppendOnly;
    const int flag =
        kind == Kind::Immutable || kind == Kind::FolderImmutable ? FS_IMMUTABLE_FL : FS_APPEND_FL;
    const QByteArray path = onFolder ? parentFolder(file) : file;
    if (const int error = changeFlag(path, flag, true)) {
        m_skipReason = QStringLiteral("cannot set inode flags here: ") + systemErrorText(error);
        return;
    }
    m_held = path;
    m_flag = flag;
}

FileHold::~FileHold()
{
    release();
}

void FileHold::release()
{
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {QFile::decodeName(m_held)});
    else if (m_flag)
        changeFlag(m_held, m_flag, false);
    m_mounted = false;
    m_flag = 0;
}
