// SPDX-License-Identifier: MIT
#include "support/diskmount.h"

#include "support/filetree.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace {
struct Run
{
    bool ok = false;
    QByteArray out;
};

Run run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    Run result;
    result.ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
                process.exitCode() == 0;
    result.out = process.readAllStandardOutput().trimmed();
    if (!result.ok)
        result.out += process.readAllStandardError().trimmed();
    return result;
}

bool quietly(const QString& program, const QStringList& args)
{
    return run(program, args).ok;
}

QString programFor(DiskMount::Kind kind)
{
    switch (kind) {
    case DiskMount::Kind::Ext2:
        return QStringLiteral("mke2fs");
    case DiskMount::Kind::Exfat:
        return QStringLiteral("mount.exfat-fuse");
    case DiskMount::Kind::Bindfs:
        return QStringLiteral("bindfs");
    case DiskMount::Kind::Ntfs:
        return QStringLiteral("ntfs-3g");
    }
    return {};
}
} // namespace

DiskMount::DiskMount(qint64 sizeBytes, Kind kind)
{
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("mounting a file system needs root");
        return;
    }
    const QString program = programFor(kind);
    if (QStandardPaths::findExecutable(program).isEmpty() &&
        QStandardPaths::findExecutable(program, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
            .isEmpty()) {
        m_skipReason = program + QStringLiteral(" is not installed (scripts/deps.sh installs it)");
        return;
    }
    m_fuse = kind != Kind::Ext2;
    if (m_fuse && !QFile::exists(QStringLiteral("/dev/fuse"))) {
        m_skipReason = QStringLiteral("there is no /dev/fuse here");
        return;
    }
    if ((kind == Kind::Ext2 || kind == Kind::Exfat) && !QFile::exists(QStringLiteral("/dev/loop-control"))) {
        m_skipReason = QStringLiteral("there are no loop devices here");
        return;
    }
    if (!m_dir.isValid()) {
        m_skipReason = QStringLiteral("no temporary folder");
        return;
    }
    const QString image = m_dir.filePath(QStringLiteral("image"));
    const QString point = m_dir.filePath(QStringLiteral("mnt"));
    if (kind != Kind::Bindfs) {
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(sizeBytes)) {
            m_skipReason = QStringLiteral("the image cannot be made: ") + file.errorString();
            return;
        }
    }
    if (!QDir().mkdir(point) || !mount(kind, image, point))
        return;
    const QByteArray top = QFile::encodeName(point);
    if (FileTree::deviceOf(top) == FileTree::deviceOf(QFile::encodeName(m_dir.path()))) {
        m_skipReason = QStringLiteral("the mount did not take");
        quietly(QStringLiteral("umount"), {point});
        return;
    }
    m_top = top;
    FileTree::makeFolder(path());
}

bool DiskMount::mount(Kind kind, const QString& image, const QString& point)
{
    Run step;
    switch (kind) {
    case Kind::Ext2:
        step = run(QStringLiteral("mke2fs"), {"-q", "-F", "-t", "ext2", image});
        if (step.ok)
            step = run(QStringLiteral("mount"), {"-o", "loop", image, point});
        break;
    case Kind::Exfat:
        step = run(QStringLiteral("mkfs.exfat"), {image});
        if (step.ok)
            step = run(QStringLiteral("losetup"), {"--find", "--show", image});
        if (step.ok) {
            m_loopDevice = QString::fromLocal8Bit(step.out);
            step = run(QStringLiteral("mount.exfat-fuse"), {m_loopDevice, point});
        }
        break;
    case Kind::Bindfs: {
        const QString under = m_dir.filePath(QStringLiteral("under"));
        QDir().mkdir(under);
        step = run(QStringLiteral("bindfs"), {under, point});
        break;
    }
    case Kind::Ntfs:
        step = run(QStringLiteral("mkntfs"), {"-F", "-Q", "-q", image});
        if (step.ok)
            step = run(QStringLiteral("ntfs-3g"), {"-o", "windows_names", image, point});
        break;
    }
    if (!step.ok)
        m_skipReason =
            QStringLiteral("the file system cannot be mounted here: ") + QString::fromLocal8Bit(step.out);
    return step.ok;
}

DiskMount::~DiskMount()
{
    if (!m_top.isEmpty()) {
        const QString point = QFile::decodeName(m_top);
        if (!quietly(QStringLiteral("umount"), {point}) && m_fuse)
            quietly(QStringLiteral("fusermount"), {"-u", "-z", point});
    }
    if (!m_loopDevice.isEmpty())
        quietly(QStringLiteral("losetup"), {"-d", m_loopDevice});
}
