// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QMap>
#include <QTemporaryDir>

// Extended attributes of real files, and file systems to copy them to.
namespace Attributes {

// Every attribute of a file (the link itself is not followed): name -> value.
QMap<QByteArray, QByteArray> of(const QByteArray& path);
bool set(const QByteArray& path, const QByteArray& name, const QByteArray& value);
// An access ACL in the kernel's xattr form: the owner, group and others of mode plus one named user.
QByteArray accessAcl(unsigned namedUid);

} // namespace Attributes

// A ramfs of our own: a file system that keeps no extended attributes at all.
class RamfsMount
{
public:
    RamfsMount();
    ~RamfsMount();
    bool usable() const { return m_mounted; }
    QByteArray path() const { return m_path; }

private:
    QTemporaryDir m_point;
    QByteArray m_path;
    bool m_mounted = false;
};
