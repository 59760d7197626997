// SPDX-License-Identifier: MIT
// What a target check asks of a listed folder: its files' sizes, and its names checked by whoever lists it.
#include "search/readerpool.h"

#include <sys/stat.h>

namespace walkahead {

qint64 fileSizeAt(int folderFd, std::string_view name)
{
    struct stat st;
    return ::fstatat(folderFd, std::string(name).c_str(), &st, 0) == 0 ? qint64(st.st_size) : 0;
}

std::unique_ptr<TargetFolderCheck> ReaderPool::makeCheck() const
{
    if (!targetSetup || !targetSetup->profile)
        return nullptr;
    return std::make_unique<TargetFolderCheck>(*targetSetup->profile, targetSetup->rules,
                                               targetSetup->targetFolder);
}

void ReaderPool::check(TargetFolderCheck& check, Node& node) const
{
    if (node.openError || node.otherMount)
        return;
    const std::string_view below = std::string_view(node.path).substr(std::min(node.path.size(), baseLength));
    check.beginFolder(QByteArray(below.data(), qsizetype(below.size())));
    std::size_t file = 0;
    packed::forEach(node.entries, [&](char kind, std::string_view name) {
        const bool folder = kind != 'f';
        check.addName(name, folder, !folder && file < node.sizes.size() ? node.sizes[file] : 0);
        file += folder ? 0 : 1;
    });
    node.problems = check.finishFolder();
    node.checked = true;
}

} // namespace walkahead
