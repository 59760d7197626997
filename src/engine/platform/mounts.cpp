// SPDX-License-Identifier: MIT
#include "platform/mounts.h"

#include "platform/files.h"

#include <algorithm>

#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// mountinfo writes a space, tab, newline and backslash in a field as three octal digits.
QByteArray unescaped(QByteArrayView field)
{
    QByteArray out;
    out.reserve(field.size());
    const auto octal = [&](qsizetype at) {
        return at < field.size() && field[at] >= '0' && field[at] <= '7';
    };
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out.append(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(field[i]);
        }
    }
    return out;
}

MountPlace placeOf(const MountTableEntry& mount)
{
    return {mount.id, mount.point, mount.type, mount.source, true};
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

std::vector<MountTableEntry> parseMountTable(QByteArrayView text)
{
    std::vector<MountTableEntry> mounts;
    while (!text.empty()) {
        const qsizetype end = text.indexOf('\n') < 0 ? text.size() : text.indexOf('\n');
        QByteArrayView line = text.first(end);
        text = text.sliced(std::min(end + 1, text.size()));
        // id parent major:minor root point options [optional fields] - type source super-options
        std::vector<QByteArrayView> fields;
        while (!line.empty()) {
            const qsizetype space = line.indexOf(' ') < 0 ? line.size() : line.indexOf(' ');
            fields.push_back(line.first(space));
            line = line.sliced(std::min(space + 1, line.size()));
        }
        if (fields.size() < 5 || !fields[4].startsWith('/'))
            continue;
        MountTableEntry mount{fields[0].toULongLong(),
                              fields[1].toULongLong(),
                              fields[2].toByteArray(),
                              unescaped(fields[3]),
                              unescaped(fields[4]),
                              {},
                              {}};
        const auto dash = std::find(fields.begin() + 5, fields.end(), QByteArrayView("-"));
        if (fields.end() - dash >= 3) {
            mount.type = unescaped(dash[1]);
            mount.source = unescaped(dash[2]);
        }
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

std::vector<MountTableEntry> readMountTable()
{
    return parseMountTable(readFileNative("/proc/self/mountinfo").bytes);
}

bool mountPointLeadsTo(QByteArrayView point, QByteArrayView path)
{
    if (!path.startsWith(point))
        return false;
    return path.size() == point.size() || point.endsWith('/') || path[point.size()] == '/';
}

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
    for (const MountTableEntry& mount : readMountTable())
        if (mount.id == place.id)
            place = placeOf(mount);
    if (place.top.isEmpty()) // a mount the table does not show (another mount namespace's): not usable
        place.known = false;
    return place;
}

MountPlace mountHoldingByPath(const QByteArray& resolvedPath)
{
    MountPlace place;
    if (!resolvedPath.startsWith('/'))
        return place;
    for (const MountTableEntry& mount : readMountTable()) {
        // Later entries win a tie: they are mounted over the earlier ones.
        if (mountPointLeadsTo(mount.point, resolvedPath) && mount.point.size() >= place.top.size())
            place = placeOf(mount);
    }
    return place;
}
