// SPDX-License-Identifier: MIT
#include "search/bindmounts.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace {

std::string unescaped(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) {
            return at < field.size() && field[at] >= '0' && field[at] <= '7';
        };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out.push_back(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

// Whether inner is outer or lies below it, whole names compared.
bool within(std::string_view inner, std::string_view outer)
{
    if (!inner.starts_with(outer))
        return false;
    return inner.size() == outer.size() || outer.ends_with('/') || inner[outer.size()] == '/';
}

std::string joined(std::string_view base, std::string_view rest)
{
    std::string out(base);
    if (!rest.empty()) {
        if (!out.ends_with('/') && !rest.starts_with('/'))
            out.push_back('/');
        out.append(rest);
    }
    return out;
}

} // namespace

std::vector<MountShown> parseMountInfo(std::string_view text)
{
    std::vector<MountShown> mounts;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        std::vector<std::string_view> fields;
        while (fields.size() < 5 && !line.empty()) {
            const std::size_t space = std::min(line.find(' '), line.size());
            fields.push_back(line.substr(0, space));
            line.remove_prefix(std::min(space + 1, line.size()));
        }
        if (fields.size() == 5)
            mounts.push_back({std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                              unescaped(fields[3]), unescaped(fields[4])});
    }
    return mounts;
}

bool mountsOverlapBelow(const std::vector<MountShown>& mounts, std::string_view realRoot)
{
    // A mount covered by another on the same mount point shows nothing; the one on top has the other as its
    // parent.
    const auto covered = [&](const MountShown& m) {
        return std::any_of(mounts.begin(), mounts.end(), [&](const MountShown& other) {
            return &other != &m && other.mountPoint == m.mountPoint && other.parentId == m.id;
        });
    };
    // What each mount within reach shows, as (device, path inside its file system).
    std::vector<std::pair<std::string_view, std::string>> shown;
    const MountShown* holder = nullptr; // the mount the listed folder itself is on
    for (const MountShown& m : mounts) {
        if (covered(m))
            continue;
        if (within(realRoot, m.mountPoint)) {
            if (!holder || m.mountPoint.size() > holder->mountPoint.size())
                holder = &m;
        } else if (within(m.mountPoint, realRoot)) {
            shown.emplace_back(m.device, m.root);
        }
    }
    if (holder)
        shown.emplace_back(holder->device, joined(holder->root, realRoot.substr(holder->mountPoint.size())));
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
    std::ifstream table("/proc/self/mountinfo", std::ios::binary);
    if (!table)
        return true;
    const std::string text((std::istreambuf_iterator<char>(table)), std::istreambuf_iterator<char>());
    return mountsOverlapBelow(parseMountInfo(text), realRoot);
}
