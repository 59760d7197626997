// SPDX-License-Identifier: MIT
#include "support/fixtree.h"

#include "support/filetree.h"

namespace FixTree {

bool make(const QByteArray& top, const QList<QByteArray>& paths)
{
    for (const QByteArray& path : paths) {
        qsizetype at = 0;
        while ((at = path.indexOf('/', at)) >= 0) {
            const QByteArray folder = top + path.left(at);
            if (!FileTree::exists(folder) && !FileTree::makeFolder(folder))
                return false;
            ++at;
        }
        if (!path.endsWith('/') && !FileTree::write(top + path, path))
            return false;
    }
    return true;
}

std::vector<FixCandidate> candidates(const QByteArray& top, const QList<QByteArray>& paths)
{
    std::vector<FixCandidate> out;
    for (const QByteArray& path : paths)
        out.push_back({quint64(out.size() + 1), top + path, top, 0});
    return out;
}

namespace {
void readBelow(const QByteArray& top, const QByteArray& below, QMap<QByteArray, QByteArray>& out)
{
    for (const QByteArray& name : FileTree::list(top + below)) {
        const QByteArray path = below + name;
        if (S_ISDIR(FileTree::statOf(top + path).st_mode)) {
            out.insert(path + '/', QByteArray());
            readBelow(top, path + '/', out);
        } else {
            out.insert(path, FileTree::read(top + path));
        }
    }
}
} // namespace

QMap<QByteArray, QByteArray> read(const QByteArray& top)
{
    QMap<QByteArray, QByteArray> out;
    readBelow(top, QByteArray(), out);
    return out;
}

QList<QByteArray> outline(const std::vector<FixItem>& plan)
{
    QList<QByteArray> out;
    for (const FixItem& item : plan)
        out << (item.newName.isEmpty() ? item.oldName + ": " + item.note.toUtf8()
                                       : item.oldName + " -> " + item.newName);
    return out;
}

FixSetup setupFor(const QString& profileKey, FixCharacters characters, const QByteArray& targetFolder)
{
    return {targetProfile(profileKey), TargetRuleSet::all(), targetFolder, characters};
}

} // namespace FixTree
