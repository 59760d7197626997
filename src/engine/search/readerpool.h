// SPDX-License-Identifier: MIT
#pragma once

#include "platform/dirlisting.h"
#include "search/confirmedlistings.h"
#include "search/listingtrust.h"
#include "search/readergrowth.h"
#include "search/walker.h"
#include "target/targetcheck.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/types.h>

// Threads that list folders ahead of the walk, so that a disk's queue stays busy while the walk tests names.
// The walk takes their listings in its own order; what they find never changes what the user sees.
namespace walkahead {

// How far the readers may run ahead of the walk: listed folders not yet walked, and the bytes of their names.
inline constexpr std::size_t AheadFolders = 2048;
inline constexpr std::size_t AheadBytes = 16u << 20;
// A folder whose path below the listed folder is longer than this is listed by the walk itself, one name at
// a time, since no single call can name it.
inline constexpr std::size_t LongestPathForReaders = 3800;
// How long the walk waits for readers that were told to end before it leaves them to end on their own.
inline constexpr auto ReaderGrace = std::chrono::milliseconds(50);
// A listing that read from storage, or took longer than this (a network), did not come from memory. Longer
// than the time slices a busy processor hands out, which say nothing about the folder.
inline constexpr auto SlowListing = std::chrono::milliseconds(20);
// A listing quicker than this came from memory; one slower is asked whether it read from storage.
inline constexpr auto MaybeFromStorage = std::chrono::microseconds(50);
// Quick listings in a row after which the readers take the cache to be warm again.
inline constexpr int QuickListingsToCalm = 1024;

enum class NodeState : std::uint8_t {
    Queued,  // waiting for a reader
    Reading, // a reader lists it
    Ready,   // listed, waiting for the walk
    Own,     // the walk lists it itself (taken from the queue, or never queued)
    Taken,   // the walk has its listing
    Dropped, // the walk will never come to it: a folder above was met before
};

// A folder's entries in listing order, packed one after another: a kind byte ('f' a file, 'd' a folder, 'e' a
// folder a target check names but the walk does not enter), the
// name's length in two bytes, the name. Lengths kept, not NULs, since measuring each name again showed up in
// every profile.
namespace packed {
inline void append(std::string& out, char kind, std::string_view name)
{
    const auto n = std::uint16_t(std::min<std::size_t>(name.size(), 0xFFFF));
    const char head[3] = {kind, char(n & 0xFF), char(n >> 8)};
    out.append(head, 3).append(name.data(), n);
}
// Calls f(kind, name) for each entry.
template <class F> void forEach(std::string_view entries, F&& f)
{
    const char* p = entries.data();
    const char* const end = p + entries.size();
    while (p < end) {
        const std::size_t n = std::size_t(std::uint8_t(p[1])) | std::size_t(std::uint8_t(p[2])) << 8;
        f(p[0], std::string_view(p + 3, n));
        p += 3 + n;
    }
}
} // namespace packed

// Whether the sub-folders of a folder at depth are walked.
inline bool deeperWalked(unsigned depth, int maxFolderDepth)
{
    return maxFolderDepth < 0 || depth < unsigned(maxFolderDepth);
}

// The size of a file of the folder, a link followed as a copy follows it; 0 when the system does not say.
qint64 fileSizeAt(int folderFd, std::string_view name);

// Listed folders kept open at most for their sub-folders to be opened from: a quarter of the descriptors the
// process may open, within these bounds.
inline constexpr int HeldFoldersAtLeast = 256;
inline constexpr int HeldFoldersAtMostEver = 4096;
int heldFoldersAtMost();

// A listed folder kept open while its sub-folders wait: opening one from it looks up one name, not every
// folder from the listed one down, which in a deep tree costs more than the listing. Counted, so that few
// are kept.
struct HeldFolder
{
    HeldFolder(UniqueFd folder, std::shared_ptr<std::atomic<int>> held)
        : fd(std::move(folder)), count(std::move(held))
    {
        count->fetch_add(1, std::memory_order_relaxed);
    }
    ~HeldFolder() { count->fetch_sub(1, std::memory_order_relaxed); }
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    UniqueFd fd;
    std::shared_ptr<std::atomic<int>> count;
};

// A sub-folder the walk will reach, with its entries (packed) when a reader listed it.
struct Node
{
    std::string path;           // the full path, no closing separator
    std::vector<quint32> order; // its place in the walk: child indices from the listed folder down
    NodeState state = NodeState::Own;
    int openError = 0;
    int readError = 0;       // the listing broke off with it, after the entries read until then
    bool otherMount = false; // on another file system than the listed folder, which the walk must not enter
    unsigned depth = 0;      // folders between it and the listed folder, itself included
    dev_t device = 0;        // device and inode, when the pool identifies folders (inode 0: not known)
    ino_t inode = 0;
    std::string entries;
    std::vector<qint64> sizes; // a target check's file sizes, in the order of the files among entries
    // A target check's problems of its entries, found by whoever listed it, so that the walk's own thread,
    // which every row passes through, only adds the rows.
    std::vector<IndexedProblem> problems;
    bool checked = false;
    // Its listing, to be kept with this stamp, taken at listedAt, once the listing has been timed.
    std::optional<fsys::FolderStamp> toKeep;
    timespec listedAt{};
    quint32 place = 0; // its place among its folder's sub-folders
    // Its kept listing, found unchanged as the walk started: the walk takes it, no reader.
    const ListingCache::Kept* confirmed = nullptr;
    // Its entries: those of the listing kept, or its own.
    std::string_view listing() const { return confirmed ? confirmed->entries : std::string_view(entries); }
    std::vector<std::shared_ptr<Node>> children;
    bool childrenQueued = false; // the children went to the readers already, while the folder was asked
    // Its parent, kept open, until it is opened; touched only by whoever took it from the queue.
    std::shared_ptr<const HeldFolder> parent;
};
using NodePtr = std::shared_ptr<Node>;

struct EarlierLast
{
    bool operator()(const NodePtr& a, const NodePtr& b) const { return a->order > b->order; }
};

inline constexpr std::size_t ShallowEntriesAtMost = 4 * AheadFolders;

// A queued folder by its depth, for readers on a share; weak, so that it keeps no folder the walk is done
// with.
struct ShallowEntry
{
    unsigned depth = 0;
    std::uint64_t queuedAt = 0; // among folders as deep, the first queued first: near the walk's order
    std::weak_ptr<Node> node;
};
struct DeeperLast
{
    bool operator()(const ShallowEntry& a, const ShallowEntry& b) const
    {
        return a.depth != b.depth ? a.depth > b.depth : a.queuedAt > b.queuedAt;
    }
};

// The readers and what they share with the walk. Held by the readers too, so that one left inside a call
// that does not return still has all it touches.
struct ReaderPool : std::enable_shared_from_this<ReaderPool>
{
    std::mutex mutex;
    std::condition_variable work;                                          // readers wait here
    std::condition_variable ready;                                         // the walk waits here
    std::priority_queue<NodePtr, std::vector<NodePtr>, EarlierLast> queue; // the earliest in walk order first
    // The same folders, the shallowest first, while the readers have grown for a share: there a folder waits
    // a round trip or more for each level below it, and one late in the walk's order that waits behind deeper
    // ones makes the whole walk wait at its end. Every other folder a reader takes comes from here, while the
    // readers have room ahead to spare.
    std::priority_queue<ShallowEntry, std::vector<ShallowEntry>, DeeperLast> shallow;
    std::uint64_t queuedCount = 0;
    bool shallowNext = false;
    std::size_t aheadFolders = 0;
    std::size_t aheadBytes = 0;
    bool closing = false;
    int running = 0;           // readers started, or being started, and not ended
    bool threadsTaken = false; // closing took the threads to join: any started after are left to end alone
    int idle = 0;              // readers waiting for work
    int busy = 0;              // readers listing a folder
    int wanted = 1;            // readers that may list at once
    int fewest = 1;            // what wanted comes back to while listings come from memory
    int most = 1;              // readers there may be
    ReaderGrowth growth{1, 1, 1};
    std::vector<std::thread> threads;
    int quickReads = 0;       // listings in a row that did not wait on the system
    bool walkWaiting = false; // the walk waits for a listing
    UniqueFd base;            // the listed folder, for paths below it
    std::shared_ptr<std::atomic<int>> held = std::make_shared<std::atomic<int>>(0); // HeldFolders alive
    int heldAtMost = HeldFoldersAtLeast;
    std::size_t baseLength = 0; // of the listed folder's path with its closing separator
    std::function<int(std::string_view)> beforeOpen;
    std::function<bool(std::string_view)> skipFolder; // called on the readers' threads too
    // The walk's stop flag: readers take no folder once it is set, so that those listing when it was are all
    // the walk waits for as it ends. Read under the mutex and never once closing: a reader left behind then
    // may outlive it.
    const std::atomic<bool>* stop = nullptr;
    bool oneFileSystem = false;
    bool identify = false;   // readers note each folder's device and inode
    bool giveWay = false;    // as WalkSettings' helpersGiveWay
    int maxFolderDepth = -1; // as WalkSettings'
    bool target = false;     // a target check: folders not entered are listed too ('e')
    bool fileSizes = false;  // a target check that needs each file's size
    std::shared_ptr<const TargetCheckSetup> targetSetup;
    std::shared_ptr<ListingCache> listings; // null where listings are not kept
    std::shared_ptr<ListingTrust> trust;    // which file systems' listings may be kept, for this walk
    std::shared_ptr<const ConfirmedListings> confirmed; // null where the walk confirmed none
    std::unique_ptr<TargetFolderCheck> walkCheck; // for folders the walk lists while it would otherwise wait
    dev_t rootDevice = 0;
    std::shared_ptr<const void> keepAlive;

    fsys::DirectoryReader walkReader; // for folders the walk lists while it would otherwise wait
    ThreadWaits walkWaits;

    void read(fsys::DirectoryReader& reader, Node& node);
    // Gives the node the listing kept from an earlier walk, when the folder has not changed since; false
    // when it must be listed. Does not open the folder.
    bool listFromKept(Node& node);
    void keepListing(Node& node);
    // Whether listings of a folder at depth are kept and used.
    bool keepsListings(unsigned depth) const
    {
        return listings && !fileSizes && deeperWalked(depth, maxFolderDepth);
    }
    // A checker of a target check for one thread; null in a plain search.
    std::unique_ptr<TargetFolderCheck> makeCheck() const;
    // Finds the problems of a listed node's entries.
    void check(TargetFolderCheck& check, Node& node) const;
    // Whether a reader can open the folder at path (the listed one or one below it) by its path.
    bool canName(std::string_view path) const
    {
        return path.size() - std::min(path.size(), baseLength) <= LongestPathForReaders;
    }
    // Whether the readers may list further ahead of the walk. Called holding the mutex.
    bool roomAhead() const { return aheadFolders < AheadFolders && aheadBytes < AheadBytes; }
    // Takes the folder's descriptor to open its sub-folders from; null (the descriptor left) past the limit.
    std::shared_ptr<const HeldFolder> keep(UniqueFd& folder);
    // Queues a node for the readers. Called holding the mutex.
    void push(const NodePtr& node);
    // The earliest queued node (on a share, every other time the shallowest, when readers take it), marked as
    // being read; null when none is queued. Called holding the mutex.
    NodePtr takeQueued(bool byReader = false);
    // Lists a node takeQueued gave, without the lock, and hands it and its sub-folders on. Called holding
    // the mutex, through lock.
    void listTaken(fsys::DirectoryReader& reader, TargetFolderCheck* check, const NodePtr& node,
                   ThreadWaits& waits, std::unique_lock<std::mutex>& lock);
    void serve();
    // Starts readers towards those wanted, two at most from this one, without the lock while each starts:
    // each started reader starts two more, so that many start at once and none waits for them all. Called
    // holding the mutex, through lock.
    void startWanted(std::unique_lock<std::mutex>& lock);
    // Notes whether a listing had to wait for a disk or a network, which wants more readers at it; listings
    // from memory go fastest with few. Called holding the mutex.
    void noteListing(const ListingNote& note);
    // Lets go of a node the walk will never take, and of what was listed below it. Called holding the mutex.
    void drop(Node& node);
    // Wakes at most count idle readers, one each: waking them all would have most go back to sleep, and
    // each wake-up costs more than a small folder's listing. Called holding the mutex.
    void wakeReaders(std::size_t count);
};

// Makes the sub-folders among a folder's packed entries, marking those a reader can open as queued (the
// caller queues them). pool is null when the walk lists alone. depth is the folder's own.
// parent, when kept, is where the queued ones are opened from.
void adoptChildren(const ReaderPool* pool, std::string_view folderPath, unsigned depth,
                   const std::vector<quint32>& order, std::string_view entries,
                   const std::function<bool(std::string_view)>& skip,
                   const std::shared_ptr<const HeldFolder>& parent, std::vector<NodePtr>& out);
// Opens a node taken from the queue: from its parent when that is kept, else by its path below the listed
// folder. Lets go of the parent.
OpenResult openNode(const ReaderPool& pool, Node& node);

// How many readers start, of at most most: enough, with the walk's own thread, for listings from memory.
int readersAtStart(int most);
// Starts readers listing below the listed folder, at most settings.readers of them (more only once listings
// wait for a disk or a network); null (none started) when none are asked for or the system cannot open a path
// without following links.
// identify: readers note each folder's device and inode.
// trust: the walk's, where listings are kept; confirmed: the kept listings it found unchanged, if any.
std::shared_ptr<ReaderPool> startReaderPool(int rootFd, const std::string& rootPath,
                                            const WalkSettings& settings, dev_t rootDevice, bool identify,
                                            std::shared_ptr<ListingTrust> trust,
                                            std::shared_ptr<const ConfirmedListings> confirmed);
// Tells the readers to end and joins them, leaving any still inside the system after a grace to end alone.
void closeReaderPool(std::shared_ptr<ReaderPool>& pool);
// Hands the queued ones among nodes to the readers.
void queueNodes(ReaderPool* pool, const std::vector<NodePtr>& nodes);
// Tells the readers that the walk will never take these nodes, nor any below them.
void dropNodes(ReaderPool* pool, const std::vector<NodePtr>& nodes);

enum class Taken { Listed, Own, Stopped };
// Listed when a reader listed the node (waiting for one that is at it); Own when the walk must list it
// itself; Stopped when stop() turned true while waiting. While it waits, whileWaiting runs without the
// pool's lock; it returns whether it did something (then the wait goes on without sleeping).
Taken takeListing(ReaderPool* pool, Node& node, const std::function<bool()>& stop,
                  const std::function<bool()>& whileWaiting);

} // namespace walkahead
