// SPDX-License-Identifier: MIT
#include "ui/folderdrop.h"

#include "platform/dirlisting.h"
#include "ui/dropurl.h"

#include <QMimeData>
#include <QUrl>

#include <condition_variable>
#include <mutex>
#include <thread>

std::vector<DroppedFolder> droppedItems(const QMimeData* mime)
{
    std::vector<DroppedFolder> items;
    if (!mime || !mime->hasUrls())
        return items;
    for (const QUrl& url : mime->urls()) {
        // The row shows exactly the bytes walked: "file://localhost/x" is /x, never "/localhost/x".
        if (const std::optional<DropFolderRow> row = folderRowFromDropUrl(url))
            items.push_back({row->text, row->native});
    }
    return items;
}

struct FolderCheck::State
{
    std::mutex mutex;
    std::condition_variable answered;
    std::vector<signed char> verdicts; // -1 not yet known, 0 not a folder, 1 a folder
    std::size_t pending = 0;
};

FolderCheck::FolderCheck(std::vector<DroppedFolder> items)
    : m_items(std::move(items)), m_state(std::make_shared<State>())
{
    m_state->verdicts.assign(m_items.size(), -1);
    m_state->pending = m_items.size();
    if (m_items.empty())
        return;
    std::vector<QByteArray> paths;
    for (const DroppedFolder& item : m_items)
        paths.push_back(item.native);
    std::thread([state = m_state, paths = std::move(paths)] {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const bool folder = fsys::isFolderFollowingLinks(paths[i]);
            std::lock_guard lock(state->mutex);
            state->verdicts[i] = folder ? 1 : 0;
            --state->pending;
            state->answered.notify_all();
        }
    }).detach();
}

bool FolderCheck::waitFor(int ms)
{
    std::unique_lock lock(m_state->mutex);
    return m_state->answered.wait_for(lock, std::chrono::milliseconds(ms),
                                      [this] { return m_state->pending == 0; });
}

bool FolderCheck::complete() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->pending == 0;
}

std::vector<DroppedFolder> FolderCheck::folders() const
{
    std::vector<DroppedFolder> found;
    std::lock_guard lock(m_state->mutex);
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_state->verdicts[i] == 1)
            found.push_back(m_items[i]);
    return found;
}
