// SPDX-License-Identifier: MIT
#include "support/attributes.h"

#include <QFile>
#include <QProcess>

#include <sys/xattr.h>
#include <unistd.h>

namespace Attributes {

QMap<QByteArray, QByteArray> of(const QByteArray& path)
{
    QMap<QByteArray, QByteArray> found;
    QByteArray names(65536, '\0');
    const ssize_t n = ::llistxattr(path.constData(), names.data(), size_t(names.size()));
    if (n <= 0)
        return found;
    for (const QByteArray& name : names.left(n).split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value(65536, '\0');
        const ssize_t size =
            ::lgetxattr(path.constData(), name.constData(), value.data(), size_t(value.size()));
        found.insert(name, size < 0 ? QByteArray("<unreadable>") : value.left(size));
    }
    return found;
}

bool set(const QByteArray& path, const QByteArray& name, const QByteArray& value)
{
    return ::lsetxattr(path.constData(), name.constData(), value.constData(), size_t(value.size()), 0) == 0;
}

QByteArray accessAcl(unsigned namedUid)
{
    QByteArray acl;
    const auto u16 = [&](unsigned v) { acl.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    const auto u32 = [&](unsigned v) { u16(v & 0xffff), u16(v >> 16); };
    const auto entry = [&](unsigned tag, unsigned perm, unsigned id) { u16(tag), u16(perm), u32(id); };
    u32(2);                      // the xattr ACL version
    entry(0x01, 6, 0xffffffffu); // owner rw
    entry(0x02, 6, namedUid);    // one named user rw
    entry(0x04, 4, 0xffffffffu); // group r
    entry(0x10, 6, 0xffffffffu); // mask rw
    entry(0x20, 4, 0xffffffffu); // others r
    return acl;
}

} // namespace Attributes

RamfsMount::RamfsMount()
{
    if (::geteuid() != 0 || !m_point.isValid())
        return;
    if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("ramfs"),
                                                    QStringLiteral("ramfs"), m_point.path()}) != 0)
        return;
    m_mounted = true;
    m_path = QFile::encodeName(m_point.path());
}

RamfsMount::~RamfsMount()
{
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {m_point.path()});
}
