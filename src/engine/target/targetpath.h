// SPDX-License-Identifier: MIT
#pragma once

#include "target/targetprofile.h"

#include <QByteArray>
#include <QString>

#include <string_view>

// Where an item lands at the target: the target folder, one separator, then the item's path below the listed
// folder. The listed folder's contents are copied into the target folder, so its own name is not part of
// the path. Without a target folder (or where the profile counts from the target folder's inside) the path
// below the listed folder stands alone.
class TargetPath
{
public:
    // targetFolder: a POSIX path as bytes, or a Windows path such as "C:\Users\me\OneDrive - Contoso"
    // typed by the user (UTF-8); may be empty. A path starting with "/" is joined with "/" whatever the
    // profile (a share mounted here).
    TargetPath(const TargetProfile& profile, const QByteArray& targetFolder);
    // The length at the target, in the profile's path unit, of the item whose path below the listed folder
    // is below ("sub/file.txt", "/"-separated bytes). A byte that is not UTF-8 counts one unit, as the name's
    // length does.
    qint64 lengthOf(const QByteArray& below) const;
    // The path as the target writes it, for showing: "C:\Users\me\OneDrive - Contoso\sub\file.txt".
    QString textOf(const QByteArray& below) const;
    // What the target folder adds to every path, the separator after it included.
    qint64 prefixLength() const { return m_prefixLength; }
    // Bytes in the profile's path unit: a path's length is the sum of its parts'.
    qint64 lengthIn(std::string_view bytes) const;
    // The same, for a caller that has counted the bytes' UTF-16 units already.
    qint64 lengthIn(std::string_view bytes, qint64 utf16Units) const
    {
        return m_unit == TargetUnit::Bytes ? qint64(bytes.size()) : utf16Units;
    }

private:
    TargetUnit m_unit;
    QChar m_separator;
    QString m_prefixText; // ends with the separator, or empty
    qint64 m_prefixLength = 0;
};

// The profile that fits the file system holding a folder, with the folder's resolved path as the target
// folder; error says why when the folder cannot be reached ("folder not found: No such file or directory").
struct AutoProfile
{
    QString key;
    QByteArray targetFolder;
    QByteArray fileSystemType; // as the mount table says it, or as the device's boot sector told it
    QString error;
};
AutoProfile autoProfileForFolder(const QByteArray& mountedFolder);

// The profile key for a file system type from the mount table ("vfat", "ntfs3", "fuse.sshfs"); fuseblk and
// unknown types give "linux": read the device (fileSystemOfDevice) first.
QString profileKeyForFileSystem(const QByteArray& type);
// The file system on a device or image from its boot sector: "exfat", "ntfs", "vfat", or empty.
QByteArray fileSystemOfDevice(const QByteArray& devicePath);
