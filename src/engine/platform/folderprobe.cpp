// SPDX-License-Identifier: MIT
#include "platform/folderprobe.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

namespace {
// Shared with the asking thread, which may outlive the caller.
struct Probe
{
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<FolderAnswer> answer;
};
} // namespace

FolderAnswer probeFolder(const QByteArray& nativePath, std::chrono::milliseconds limit, const YieldFn& yield)
{
    auto probe = std::make_shared<Probe>();
    std::thread([probe, path = nativePath] {
        struct stat st
        {
        };
        const bool folder = ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
        std::lock_guard lock(probe->mutex);
        probe->answer = folder ? FolderAnswer::Folder : FolderAnswer::NotFolder;
        probe->answered.notify_all();
    }).detach();

    const auto end = std::chrono::steady_clock::now() + limit;
    constexpr auto Slice = std::chrono::milliseconds(10);
    std::unique_lock lock(probe->mutex);
    while (!probe->answer) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return FolderAnswer::NoAnswer;
        if (probe->answered.wait_for(lock, std::min<std::chrono::steady_clock::duration>(Slice, end - now),
                                     [&] { return probe->answer.has_value(); }))
            break;
        if (yield) {
            lock.unlock();
            yield();
            lock.lock();
        }
    }
    return *probe->answer;
}
