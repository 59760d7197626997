// SPDX-License-Identifier: MIT
#include "platform/mounts.h"

#include "platform/files.h"

#include <QList>

#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

struct MountEntry
{
    quint64 id = 0;
    QByteArray point;
};

// mountinfo writes a space, tab, newline and backslash in a mount point as three octal digits.
QByteArray unescaped(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](qsizetype at) {
            return at < field.size() && field[at] >= '0' && field[at] <= '7';
        };
        if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            out.append(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(field[i]);
        }
    }
    return out;
}

// This process's mounts in the table's order, a mount stacked on another after it.
QList<MountEntry> mountTable()
{
    QList<MountEntry> mounts;
    const ReadResult table = readFileNative("/proc/self/mountinfo");
    for (const QByteArray& line : table.bytes.split('\n')) {
        // id parent major:minor root point ...
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        bool ok = false;
        const quint64 id = fields[0].toULongLong(&ok);
        if (ok && fields[4].startsWith('/'))
            mounts.append({id, unescaped(fields[4])});
    }
    return mounts;
}

bool leadsTo(const QByteArray& point, const QByteArray& path)
{
    if (point == "/")
        return true;
    return path.startsWith(point) && (path.size() == point.size() || path[point.size()] == '/');
}

QByteArray resolved(const QByteArray& path)
{
    char* real = ::realpath(path.constData(), nullptr);
    if (!real)
        return {};
    QByteArray out(real);
    std::free(real);
    return out;
}

} // namespace

MountPlace mountHolding(const QByteArray& path, bool withTop)
{
    struct statx sx;
    if (::statx(AT_FDCWD, path.constData(), AT_NO_AUTOMOUNT, STATX_MNT_ID, &sx) != 0 ||
        !(sx.stx_mask & STATX_MNT_ID))
        return mountHoldingByPath(resolved(path));
    MountPlace place;
    place.id = sx.stx_mnt_id;
    place.known = true;
    if (!withTop)
        return place;
    const QList<MountEntry> mounts = mountTable();
    for (const MountEntry& mount : mounts)
        if (mount.id == place.id)
            place.top = mount.point;
    if (place.top.isEmpty()) // a mount the table does not show (another mount namespace's): not usable
        place.known = false;
    return place;
}

MountPlace mountHoldingByPath(const QByteArray& resolvedPath)
{
    MountPlace place;
    if (!resolvedPath.startsWith('/'))
        return place;
    for (const MountEntry& mount : mountTable()) {
        // Later entries win a tie: they are mounted over the earlier ones.
        if (leadsTo(mount.point, resolvedPath) && mount.point.size() >= place.top.size()) {
            place.id = mount.id;
            place.top = mount.point;
            place.known = true;
        }
    }
    return place;
}
