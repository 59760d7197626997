// SPDX-License-Identifier: MIT
#include "support/diskmount.h"

#include "support/filetree.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace {
bool quietly(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}
} // namespace

DiskMount::DiskMount(qint64 sizeBytes)
{
    if (::geteuid() != 0 || !m_dir.isValid())
        return;
    const QString image = m_dir.filePath(QStringLiteral("image"));
    const QString point = m_dir.filePath(QStringLiteral("mnt"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(sizeBytes))
        return;
    file.close();
    if (!QDir().mkdir(point) || !quietly(QStringLiteral("mke2fs"), {"-q", "-F", "-t", "ext2", image}) ||
        !quietly(QStringLiteral("mount"), {"-o", "loop", image, point}))
        return;
    const QByteArray top = QFile::encodeName(point);
    if (FileTree::deviceOf(top) == FileTree::deviceOf(QFile::encodeName(m_dir.path()))) {
        quietly(QStringLiteral("umount"), {point});
        return;
    }
    m_top = top;
    FileTree::makeFolder(path());
}

DiskMount::~DiskMount()
{
    if (!m_top.isEmpty())
        quietly(QStringLiteral("umount"), {QFile::decodeName(m_top)});
}
