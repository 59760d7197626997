// SPDX-License-Identifier: MIT
#include "search/folderdrop.h"

#include "platform/dirlisting.h"
#include "search/pathhelpers.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
// How long the window's thread itself may wait for answers: well inside one frame of a smooth drag.
constexpr int ShortWaitMs = 30;
constexpr int PollMs = 20;

bool sameItems(const std::vector<DroppedFolder>& a, const std::vector<DroppedFolder>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].native != b[i].native)
            return false;
    return true;
}
} // namespace

std::vector<DroppedFolder> droppedItems(const QMimeData* mime)
{
    std::vector<DroppedFolder> items;
    if (!mime || !mime->hasUrls())
        return items;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        // The url's encoded path keeps the name's bytes even where they are not UTF-8.
        const QByteArray native = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        items.push_back({collapseSeparators(url.toLocalFile()), native});
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
            const bool folder = fsys::isFolder(paths[i]);
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

FolderDropTarget::FolderDropTarget(QWidget* viewport,
                                   std::function<void(const std::vector<DroppedFolder>&)> onDrop)
    : QObject(viewport), m_onDrop(std::move(onDrop))
{
    viewport->setAcceptDrops(true);
    viewport->installEventFilter(this);
}

FolderDropTarget::~FolderDropTarget() = default;

bool FolderDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* drag = static_cast<QDragEnterEvent*>(event);
        std::vector<DroppedFolder> items = droppedItems(drag->mimeData());
        m_dragCheck.reset();
        m_dragAccepted = !items.empty();
        if (m_dragAccepted) {
            m_dragCheck = std::make_shared<FolderCheck>(std::move(items));
            // Refused only when every item answered and none is a folder; an item that keeps quiet may be one.
            if (m_dragCheck->waitFor(ShortWaitMs) && m_dragCheck->folders().empty())
                m_dragAccepted = false;
        }
        [[fallthrough]];
    }
    case QEvent::DragMove: {
        // Decided once when the drag came in: a move looks at no file.
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (m_dragAccepted) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        m_dragCheck.reset();
        return QObject::eventFilter(watched, event);
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        std::vector<DroppedFolder> items = droppedItems(drop->mimeData());
        std::shared_ptr<FolderCheck> check = std::move(m_dragCheck);
        if (!check || !sameItems(check->items(), items))
            check = std::make_shared<FolderCheck>(std::move(items));
        if (check->items().empty() || (check->waitFor(ShortWaitMs) && check->folders().empty())) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        dropped(std::move(check));
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

void FolderDropTarget::dropped(std::shared_ptr<FolderCheck> check)
{
    if (check->complete()) {
        m_onDrop(check->folders());
        return;
    }
    // Some item has not answered: the window runs on, and looks again now and then until answerMs.
    auto* poll = new QTimer(this);
    auto since = std::make_shared<QElapsedTimer>();
    since->start();
    poll->setInterval(PollMs);
    connect(poll, &QTimer::timeout, this, [this, poll, since, check] {
        if (!check->complete() && since->elapsed() < m_answerMs)
            return;
        poll->stop();
        poll->deleteLater();
        const std::vector<DroppedFolder> folders = check->folders();
        if (!folders.empty())
            m_onDrop(folders);
    });
    poll->start();
}
