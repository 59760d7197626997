// SPDX-License-Identifier: MIT
#include "target/targetpath.h"

#include "platform/mounts.h"
#include "platform/posixfile.h"
#include "search/utf8name.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString decoded(const QByteArray& bytes)
{
    std::u16string units;
    decodeUtf8(std::string_view(bytes.constData(), std::size_t(bytes.size())), units);
    return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
}

} // namespace

TargetPath::TargetPath(const TargetProfile& profile, const QByteArray& targetFolder)
    : m_unit(profile.pathUnit), m_separator(profile.separator)
{
    // A share mounted here is written as a POSIX path even where the profile is Windows'.
    if (targetFolder.startsWith('/'))
        m_separator = u'/';
    if (!profile.pathCountsTargetFolder || targetFolder.isEmpty())
        return;
    // A Windows target also ends a folder with "/", which Windows reads as "\"; on a POSIX target "\" is a
    // character of a name.
    const bool endsWithSeparator =
        targetFolder.endsWith('/') || (m_separator == u'\\' && targetFolder.endsWith('\\'));
    const QByteArray prefix = endsWithSeparator ? targetFolder : targetFolder + '/';
    m_prefixLength = lengthIn(std::string_view(prefix.constData(), std::size_t(prefix.size())));
    m_prefixText = decoded(prefix);
    if (m_separator == u'\\' && !endsWithSeparator)
        m_prefixText.back() = u'\\';
}

qint64 TargetPath::lengthIn(std::string_view bytes) const
{
    if (m_unit == TargetUnit::Bytes)
        return qint64(bytes.size());
    return qint64(utf16Length(bytes));
}

qint64 TargetPath::lengthOf(const QByteArray& below) const
{
    // Either separator is one unit, in bytes as in UTF-16.
    return m_prefixLength + lengthIn(std::string_view(below.constData(), std::size_t(below.size())));
}

QString TargetPath::textOf(const QByteArray& below) const
{
    QString text = decoded(below);
    if (m_separator != u'/')
        text.replace(u'/', m_separator);
    return m_prefixText + text;
}

QString profileKeyForFileSystem(const QByteArray& type)
{
    static const QList<QPair<QByteArray, const char*>> known = {
        {"vfat", "fat32"},           {"msdos", "fat32"},      {"fat", "fat32"},     {"fuse.fusefat", "fat32"},
        {"exfat", "exfat"},          {"fuse.exfat", "exfat"}, {"ntfs", "windows"},  {"ntfs3", "windows"},
        {"fuse.ntfs-3g", "windows"}, {"cifs", "windows"},     {"smb3", "windows"},  {"smbfs", "windows"},
        {"ecryptfs", "ecryptfs"},    {"hfs", "macos"},        {"hfsplus", "macos"}, {"apfs", "macos"},
    };
    for (const auto& [name, key] : known)
        if (type == name)
            return QString::fromLatin1(key);
    return QStringLiteral("linux");
}

QByteArray fileSystemOfDevice(const QByteArray& devicePath)
{
    // Only a device or an image: a fifo named as a mount's source would never answer.
    struct stat st;
    if (::stat(devicePath.constData(), &st) != 0 || !(S_ISBLK(st.st_mode) || S_ISREG(st.st_mode)))
        return {};
    QFile device(QFile::decodeName(devicePath));
    if (!device.open(QIODevice::ReadOnly))
        return {};
    const QByteArray sector = device.read(512);
    if (sector.size() < 512)
        return {};
    // The OEM name at byte 3 names exFAT and NTFS; FAT writes its type at 54 (FAT12/16) or 82 (FAT32).
    const QByteArray oem = sector.mid(3, 8);
    if (oem == "EXFAT   ")
        return "exfat";
    if (oem == "NTFS    ")
        return "ntfs";
    if (sector.mid(82, 5) == "FAT32" || sector.mid(54, 3) == "FAT")
        return "vfat";
    return {};
}

AutoProfile autoProfileForFolder(const QByteArray& mountedFolder)
{
    AutoProfile result;
    char* real = ::realpath(mountedFolder.constData(), nullptr);
    if (!real) {
        result.error = QStringLiteral("folder not found: ") + systemErrorText(errno);
        return result;
    }
    result.targetFolder = QByteArray(real);
    std::free(real);
    struct stat st;
    if (::stat(result.targetFolder.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        result.error = QStringLiteral("folder not found: ") + systemErrorText(ENOTDIR);
        return result;
    }

    const MountPlace holding = mountHolding(result.targetFolder);
    if (!holding.known) {
        result.key = QStringLiteral("linux");
        return result;
    }
    result.fileSystemType = holding.type;
    // FUSE file systems on a device show as fuseblk (exfat-fuse, ntfs-3g) and on an image as fuse (ntfs-3g):
    // the device or image says which.
    if ((holding.type == "fuseblk" || holding.type == "fuse") && holding.source.startsWith('/')) {
        const QByteArray onDevice = fileSystemOfDevice(holding.source);
        if (!onDevice.isEmpty())
            result.fileSystemType = onDevice;
    }
    result.key = profileKeyForFileSystem(result.fileSystemType);
    return result;
}
