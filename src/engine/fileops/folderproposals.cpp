// SPDX-License-Identifier: MIT
#include "fileops/folderproposals.h"

#include "fileops/takennames.h"
#include "platform/nativepath.h"
#include "target/targetpath.h"

#include <QHash>

#include <algorithm>

namespace {

std::string_view viewOf(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), std::size_t(bytes.size()));
}

struct LongPath
{
    qint64 excess;            // units over the limit; fixed at 0 or below
    std::vector<int> folders; // indices into the folder table, the folders between the listed one and it
};

struct FolderEntry
{
    QByteArray path; // ending in '/'
    QByteArray name;
    qint64 length = 0; // of the name, in the path unit
    bool used = false;
};

} // namespace

std::vector<FolderProposal> proposeFolderShortening(const std::vector<FixCandidate>& candidates,
                                                    const FixSetup& setup, int keepAtLeast)
{
    const TargetProfile& profile = *setup.profile;
    std::vector<FolderProposal> proposals;
    if (profile.pathLimit <= 0 || !setup.rules.contains(TargetRule::PathTooLong))
        return proposals;
    const TargetPath targetPath(profile, setup.targetFolder);
    const LengthUnit unit = profile.pathUnit == TargetUnit::Bytes ? LengthUnit::Bytes : LengthUnit::Name;
    std::vector<FolderEntry> folders;
    QHash<QByteArray, int> folderIndex;
    std::vector<LongPath> paths;
    for (const FixCandidate& candidate : candidates) {
        if (candidate.listedFolder.isEmpty() || !candidate.path.startsWith(candidate.listedFolder))
            continue;
        const QByteArray path = candidate.path.endsWith('/') ? candidate.path.chopped(1) : candidate.path;
        const qint64 excess =
            targetPath.lengthOf(path.mid(candidate.listedFolder.size())) - profile.pathLimit;
        if (excess <= 0)
            continue;
        LongPath longPath{excess, {}};
        for (qsizetype end = path.indexOf('/', candidate.listedFolder.size()); end >= 0;
             end = path.indexOf('/', end + 1)) {
            const QByteArray folder = path.left(end + 1);
            auto it = folderIndex.constFind(folder);
            if (it == folderIndex.constEnd()) {
                FolderEntry entry;
                entry.path = folder;
                entry.name = fileNameOf(path.left(end));
                entry.length = measureName(viewOf(entry.name), unit);
                it = folderIndex.insert(folder, int(folders.size()));
                folders.push_back(std::move(entry));
            }
            longPath.folders.push_back(*it);
        }
        paths.push_back(std::move(longPath));
    }

    TakenNames taken(NameFolding{profile.caseInsensitive, profile.normalizationInsensitive});
    for (;;) {
        // For each folder: how many paths its deepest allowed cut fixes, and the cut they need.
        std::vector<int> fixes(folders.size(), 0);
        std::vector<qint64> needed(folders.size(), 0);
        for (const LongPath& path : paths) {
            if (path.excess <= 0)
                continue;
            for (const int f : path.folders) {
                const FolderEntry& folder = folders[std::size_t(f)];
                if (!folder.used && folder.length - keepAtLeast >= path.excess) {
                    ++fixes[std::size_t(f)];
                    needed[std::size_t(f)] = std::max(needed[std::size_t(f)], path.excess);
                }
            }
        }
        int best = -1;
        for (std::size_t f = 0; f < folders.size(); ++f) {
            if (fixes[f] == 0)
                continue;
            // Most paths first; of equals, the smaller cut, then the folder nearer the top (listed first).
            if (best < 0 || fixes[f] > fixes[std::size_t(best)] ||
                (fixes[f] == fixes[std::size_t(best)] && needed[f] < needed[std::size_t(best)]))
                best = int(f);
        }
        if (best < 0)
            break;
        FolderEntry& folder = folders[std::size_t(best)];
        folder.used = true;
        const QByteArray parent = folderOf(folder.path.chopped(1));
        std::optional<QByteArray> name;
        for (int counter = 1; counter < 1000; ++counter) {
            name = shortenedName(viewOf(folder.name), {int(folder.length - needed[std::size_t(best)]), unit},
                                 counter);
            if (!name || taken.isFree(parent, *name, folder.name))
                break;
        }
        if (!name || name->isEmpty())
            continue;
        taken.take(parent, *name);
        const qint64 saved = folder.length - measureName(viewOf(*name), unit);
        int fixed = 0;
        for (LongPath& path : paths) {
            if (std::find(path.folders.begin(), path.folders.end(), best) == path.folders.end())
                continue;
            const bool wasLong = path.excess > 0;
            path.excess -= saved;
            fixed += wasLong && path.excess <= 0;
        }
        proposals.push_back({folder.path, *name, fixed});
    }
    return proposals;
}
