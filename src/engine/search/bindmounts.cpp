// SPDX-License-Identifier: MIT
#include "search/bindmounts.h"

#include "platform/mounts.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {

// Whether inner is outer or lies below it, whole names compared.
bool within(QByteArrayView inner, QByteArrayView outer)
{
    return mountPointLeadsTo(outer, inner);
}

QByteArray joined(QByteArrayView base, QByteArrayView rest)
{
    QByteArray out = base.toByteArray();
    if (!rest.empty()) {
        if (!out.endsWith('/') && !rest.startsWith('/'))
            out.append('/');
        out.append(rest);
    }
    return out;
}

} // namespace

bool mountsOverlapBelow(const std::vector<MountTableEntry>& mounts, std::string_view rootPath)
{
    const QByteArrayView realRoot(rootPath.data(), qsizetype(rootPath.size()));
    // A mount covered by another on the same mount point shows nothing; the one on top has the other as its
    // parent.
    const auto covered = [&](const MountTableEntry& m) {
        return std::any_of(mounts.begin(), mounts.end(), [&](const MountTableEntry& other) {
            return &other != &m && other.point == m.point && other.parentId == m.id;
        });
    };
    // What each mount within reach shows, as (device, path inside its file system).
    std::vector<std::pair<QByteArrayView, QByteArray>> shown;
    const MountTableEntry* holder = nullptr; // the mount the listed folder itself is on
    for (const MountTableEntry& m : mounts) {
        if (covered(m))
            continue;
        if (within(realRoot, m.point)) {
            if (!holder || m.point.size() > holder->point.size())
                holder = &m;
        } else if (within(m.point, realRoot)) {
            shown.emplace_back(m.device, m.root);
        }
    }
    // A table that does not show the listed folder's own mount (a chroot whose root is no mount point hides
    // it) cannot tell what the folder shows: the walk then asks every folder.
    if (!holder)
        return true;
    shown.emplace_back(holder->device, joined(holder->root, realRoot.sliced(holder->point.size())));
    for (std::size_t i = 0; i < shown.size(); ++i)
        for (std::size_t j = i + 1; j < shown.size(); ++j)
            if (shown[i].first == shown[j].first &&
                (within(shown[i].second, shown[j].second) || within(shown[j].second, shown[i].second)))
                return true;
    return false;
}

bool foldersMayRepeat(int rootFd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", rootFd);
    std::string realRoot(4096, '\0');
    const ssize_t n = ::readlink(link, realRoot.data(), realRoot.size());
    if (n <= 0 || std::size_t(n) >= realRoot.size() || realRoot[0] != '/')
        return true;
    realRoot.resize(std::size_t(n));
    const std::vector<MountTableEntry> mounts = readMountTable();
    return mounts.empty() || mountsOverlapBelow(mounts, realRoot);
}
