// SPDX-License-Identifier: MIT
#include "fileops/fixplan.h"

#include "fileops/takennames.h"
#include "platform/nativepath.h"
#include "target/targetpath.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <numeric>

namespace {

// Candidates split into their folder and name, shallowest first: a folder is named before what it holds.
std::vector<FixItem> itemsByDepth(const std::vector<FixCandidate>& candidates,
                                  std::vector<std::size_t>& order)
{
    std::vector<FixItem> items;
    items.reserve(candidates.size());
    QSet<QByteArray> parents; // one copy of each folder's path, shared by the items in it
    for (const FixCandidate& candidate : candidates) {
        FixItem item;
        item.rowId = candidate.rowId;
        item.folder = candidate.path.endsWith('/');
        const QByteArray path = item.folder ? candidate.path.chopped(1) : candidate.path;
        item.parent = *parents.insert(folderOf(path));
        item.oldName = path.mid(item.parent.size());
        item.depth = int(path.count('/'));
        items.push_back(std::move(item));
    }
    order.resize(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return items[a].depth < items[b].depth; });
    return items;
}

// Where the folders renamed so far put a folder path ("/a/b/", ending in '/').
class MovedFolders
{
public:
    void add(const QByteArray& oldFolder, const QByteArray& newFolder)
    {
        m_moved.insert(oldFolder, newFolder);
    }
    QByteArray place(const QByteArray& folder) const
    {
        if (m_moved.isEmpty())
            return folder;
        // The deepest renamed folder above decides; its own new place already holds those above it.
        for (qsizetype end = folder.size(); end > 0; end = folder.lastIndexOf('/', end - 2) + 1) {
            auto it = m_moved.constFind(folder.left(end));
            if (it != m_moved.constEnd())
                return *it + folder.mid(end);
            if (end < 2)
                break;
        }
        return folder;
    }

private:
    QHash<QByteArray, QByteArray> m_moved;
};

} // namespace

std::vector<FixItem> planFixes(const std::vector<FixCandidate>& rows, const FixSetup& setup,
                               const QHash<QByteArray, QByteArray>& folderNames)
{
    const TargetProfile& profile = *setup.profile;
    std::vector<FixCandidate> candidates = rows;
    for (auto it = folderNames.constBegin(); it != folderNames.constEnd(); ++it) {
        const auto isRow = [&](const FixCandidate& c) { return c.path == it.key(); };
        if (std::any_of(candidates.begin(), candidates.end(), isRow))
            continue;
        const auto below = [&](const FixCandidate& c) { return c.path.startsWith(it.key()); };
        const auto under = std::find_if(rows.begin(), rows.end(), below);
        candidates.push_back({0, it.key(), under == rows.end() ? QByteArray() : under->listedFolder, 0});
    }
    std::vector<std::size_t> order;
    std::vector<FixItem> items = itemsByDepth(candidates, order);
    const bool foldCase = profile.caseInsensitive && setup.rules.contains(TargetRule::CaseCollision);
    const bool foldForm = profile.normalizationInsensitive && setup.rules.contains(TargetRule::FormCollision);
    TakenNames taken(NameFolding{foldCase, foldForm});
    // Every candidate may move, so its name stands in nobody's way unless it keeps it.
    for (const FixItem& item : items)
        taken.release(item.parent, item.oldName);
    const TargetPath targetPath(profile, setup.targetFolder);
    MovedFolders moved;
    std::vector<bool> listed(items.size(), false);
    for (const std::size_t i : order) {
        FixItem& item = items[i];
        const FixCandidate& candidate = candidates[i];
        const QByteArray newParent = moved.place(item.parent);
        NameFixRequest& request = item.request;
        request = {&profile, setup.rules, setup.characters, item.folder, candidate.size, -1};
        if (!candidate.listedFolder.isEmpty() && newParent.startsWith(candidate.listedFolder))
            request.pathAbove = targetPath.lengthOf(newParent.mid(candidate.listedFolder.size()));
        // A name equal to one that stays in the folder, or to one given there already, is a collision.
        const bool collides = !taken.isFree(item.parent, item.oldName, QByteArray());
        const auto proposed = folderNames.constFind(item.parent + item.oldName + '/');
        const bool cutForPaths = item.folder && proposed != folderNames.constEnd();
        const QByteArray base = cutForPaths ? *proposed : item.oldName;
        QByteArray name;
        for (int counter = 1; counter < 10000; ++counter) {
            const NameFixResult fixed = fixName(request, base, counter);
            if (counter == 1)
                item.fixes = fixed.broken;
            if (fixed.name.isEmpty()) {
                item.note = fixed.note;
                break;
            }
            if (taken.isFree(item.parent, fixed.name, QByteArray())) {
                name = fixed.name;
                break;
            }
        }
        if (name.isEmpty() && item.note.isEmpty())
            item.note = QStringLiteral("no free name");
        if (collides && !name.isEmpty() && name != item.oldName)
            item.fixes.push_back(foldCase ? TargetRule::CaseCollision : TargetRule::FormCollision);
        if (cutForPaths && !name.isEmpty() && name != item.oldName &&
            std::find(item.fixes.begin(), item.fixes.end(), TargetRule::PathTooLong) == item.fixes.end())
            item.fixes.push_back(TargetRule::PathTooLong);
        taken.take(item.parent, name.isEmpty() ? item.oldName : name);
        if (name != item.oldName && !name.isEmpty())
            item.newName = name;
        const QByteArray finalName = item.newName.isEmpty() ? item.oldName : item.newName;
        item.newPath = newParent + finalName + (item.folder ? "/" : "");
        if (item.folder && (!item.newName.isEmpty() || newParent != item.parent))
            moved.add(item.parent + item.oldName + '/', item.newPath);
        listed[i] = !item.newName.isEmpty() || !item.note.isEmpty() || !item.fixes.empty();
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (listed[i]) {
            if (kept != i)
                items[kept] = std::move(items[i]);
            ++kept;
        }
    items.resize(kept);
    return items;
}

std::vector<ShortenItem> renamesInOrder(const std::vector<FixItem>& plan)
{
    std::vector<const FixItem*> renamed;
    for (const FixItem& item : plan)
        if (!item.newName.isEmpty())
            renamed.push_back(&item);
    std::stable_sort(renamed.begin(), renamed.end(),
                     [](const FixItem* a, const FixItem* b) { return a->depth > b->depth; });
    std::vector<ShortenItem> renames;
    renames.reserve(renamed.size());
    for (const FixItem* item : renamed) {
        const LengthUnit unit =
            item->request.profile->nameUnit == TargetUnit::Bytes ? LengthUnit::Bytes : LengthUnit::Name;
        renames.push_back(
            {item->rowId, item->parent, item->oldName, item->newName,
             measureName(std::string_view(item->newName.constData(), std::size_t(item->newName.size())),
                         unit),
             QString()});
    }
    return renames;
}

ShortenResult applyFixes(const std::vector<FixItem>& plan, const FixSetup& setup,
                         const std::atomic<bool>* stop, FileOperationProgress* progress)
{
    QHash<quint64, const FixItem*> byRow;
    for (const FixItem& item : plan)
        byRow.insert(item.rowId, &item);
    const auto nextName = [&byRow](const ShortenItem& rename, int counter) -> std::optional<QByteArray> {
        const FixItem* item = byRow.value(rename.rowId);
        if (!item)
            return std::nullopt;
        const QByteArray name = fixName(item->request, item->oldName, counter).name;
        if (name.isEmpty())
            return std::nullopt;
        return name;
    };
    const TargetProfile& profile = *setup.profile;
    const NameFolding folding{profile.caseInsensitive && setup.rules.contains(TargetRule::CaseCollision),
                              profile.normalizationInsensitive &&
                                  setup.rules.contains(TargetRule::FormCollision)};
    return applyRenames(renamesInOrder(plan), nextName, folding,
                        profile.nameUnit == TargetUnit::Bytes ? LengthUnit::Bytes : LengthUnit::Name, stop,
                        progress);
}
