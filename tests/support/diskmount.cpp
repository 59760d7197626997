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
    case DiskMount::Kind::Fat:
        return QStringLiteral("fusefat");
    }
    return {};
}

// A sparse image of that size in dir, made into a file system by mkfs and mounted at dir/mnt through a loop
// device. Empty, with why set, when any step fails.
QByteArray mountImage(const QTemporaryDir& dir, qint64 sizeBytes, const QString& mkfs, QStringList mkfsArgs,
                      QString* why)
{
    const QString image = dir.filePath(QStringLiteral("image"));
    const QString point = dir.filePath(QStringLiteral("mnt"));
    QFile file(image);
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly) || !file.resize(sizeBytes)) {
        *why = QStringLiteral("cannot make a disk image in the temporary folder");
        return {};
    }
    file.close();
    mkfsArgs << image;
    if (!QDir().mkdir(point) || !quietly(mkfs, mkfsArgs)) {
        *why = mkfs + QStringLiteral(" failed");
        return {};
    }
    if (!quietly(QStringLiteral("mount"), {"-o", "loop", image, point})) {
        *why = QStringLiteral("cannot mount a loop device here");
        return {};
    }
    const QByteArray top = QFile::encodeName(point);
    if (FileTree::deviceOf(top) == FileTree::deviceOf(QFile::encodeName(dir.path()))) {
        quietly(QStringLiteral("umount"), {point});
        *why = QStringLiteral("the mount did not take");
        return {};
    }
    return top;
}
} // namespace

QString mountUnavailableReason(const QByteArray& fileSystemType)
{
    if (::geteuid() != 0)
        return QStringLiteral("mounting needs root");
    const QByteArray known = FileTree::read("/proc/filesystems");
    for (const QByteArray& line : known.split('\n'))
        if (line.split('\t').last() == fileSystemType)
            return {};
    return QStringLiteral("the kernel has no ") + QString::fromLatin1(fileSystemType);
}

QByteArray DiskMount::beneath() const
{
    return QFile::encodeName(m_dir.filePath(QStringLiteral("under"))) + "/work";
}

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
    case Kind::Fat:
        step = run(QStringLiteral("mkfs.vfat"), {"-F", "32", image});
        if (step.ok)
            step = run(QStringLiteral("fusefat"), {"-o", "rw+", image, point});
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

BtrfsMount::BtrfsMount()
{
    m_reason = mountUnavailableReason("btrfs");
    if (m_reason.isEmpty() && QStandardPaths::findExecutable(QStringLiteral("mkfs.btrfs")).isEmpty())
        m_reason = QStringLiteral("no mkfs.btrfs (btrfs-progs) here");
    if (!m_reason.isEmpty())
        return;
    // btrfs takes no less; the image is sparse, so it costs what is written.
    constexpr qint64 Smallest = qint64(128) << 20;
    const QByteArray top = mountImage(m_dir, Smallest, QStringLiteral("mkfs.btrfs"), {"-q", "-f"}, &m_reason);
    if (top.isEmpty())
        return;
    if (!quietly(QStringLiteral("btrfs"), {"subvolume", "create", QFile::decodeName(top + "/sub")})) {
        quietly(QStringLiteral("umount"), {QFile::decodeName(top)});
        m_reason = QStringLiteral("cannot make a btrfs subvolume");
        return;
    }
    m_top = top;
}

BtrfsMount::~BtrfsMount()
{
    if (!m_top.isEmpty())
        quietly(QStringLiteral("umount"), {QFile::decodeName(m_top)});
}

OverlayMount::OverlayMount()
{
    m_reason = mountUnavailableReason("overlay");
    if (m_reason.isEmpty())
        m_reason = mountUnavailableReason("tmpfs");
    if (!m_reason.isEmpty())
        return;
    const QByteArray base = FileTree::native(m_dir);
    for (const char* folder : {"/lower", "/upper", "/work", "/merged"})
        FileTree::makeFolder(base + folder);
    if (!quietly(QStringLiteral("mount"),
                 {"-t", "tmpfs", "-o", "size=4m", "tmpfs", QFile::decodeName(base + "/lower")})) {
        m_reason = QStringLiteral("cannot mount a tmpfs here");
        return;
    }
    m_lower = base + "/lower";
    FileTree::makeFolder(m_lower + "/work");
    const QString layers = QStringLiteral("lowerdir=%1,upperdir=%2,workdir=%3")
                               .arg(QFile::decodeName(m_lower), QFile::decodeName(base + "/upper"),
                                    QFile::decodeName(base + "/work"));
    const QString merged = QFile::decodeName(base + "/merged");
    // Without inode numbers spread over the layers, as a kernel does by default where they cannot be.
    if (!quietly(QStringLiteral("mount"), {"-t", "overlay", "-o", layers + ",xino=off", "overlay", merged}) &&
        !quietly(QStringLiteral("mount"), {"-t", "overlay", "-o", layers, "overlay", merged})) {
        m_reason = QStringLiteral("cannot mount an overlay here");
        return;
    }
    m_top = base + "/merged";
    m_reason.clear();
}

OverlayMount::~OverlayMount()
{
    bool unmounted = m_top.isEmpty() || quietly(QStringLiteral("umount"), {QFile::decodeName(m_top)});
    if (!m_lower.isEmpty())
        unmounted = quietly(QStringLiteral("umount"), {QFile::decodeName(m_lower)}) && unmounted;
    // The upper layer holds what the tests wrote, names that are not UTF-8 among them.
    if (unmounted)
        FileTree::removeTree(FileTree::native(m_dir));
}
