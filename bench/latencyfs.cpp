// SPDX-License-Identifier: MIT
// A network share on this machine: mirrors a folder read-only through FUSE and holds every request back by a
// set delay, many requests at once, as a file server far away answers. Counts the requests by kind and
// writes the counts, the most requests it held at once and the threads that asked, when it is unmounted.
//
//   latencyfs [--delay-ms N] [--cache on|off] [--threads N] [--counts FILE] SOURCE MOUNTPOINT
//
// It stays in the foreground until MOUNTPOINT is unmounted (fusermount3 -u, or umount as root). Cache on: the
// kernel keeps names, attributes and listings for an hour; cache off: it asks for every name and attribute
// each time it needs one. It speaks libfuse's low-level interface: the high-level one answers the lookups of
// a listed folder's names one at a time, where an NFS or SMB client asks them all at once.
#define FUSE_USE_VERSION 314

#include <fuse3/fuse_lowlevel.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

enum Kind { Lookup, GetAttr, OpenDir, ReadDir, ReleaseDir, Open, Read, Release, ReadLink, StatFs, KindCount };
const char* const kindNames[KindCount] = {"lookup", "getattr", "opendir", "readdir",  "releasedir",
                                          "open",   "read",    "release", "readlink", "statfs"};

struct Share
{
    int source = -1;
    std::chrono::microseconds delay{0};
    bool cache = true;
    std::atomic<long long> counts[KindCount] = {};
    std::atomic<int> inFlight{0};
    std::atomic<int> mostInFlight{0};
    std::mutex callersMutex;
    std::unordered_set<pid_t> callers; // the threads that asked: a walk's readers

    double timeout() const { return cache ? 3600 : 0; }
};
Share share;

// Every request waits as long as a round trip to the server would take.
void request(fuse_req_t req, Kind kind)
{
    share.counts[kind].fetch_add(1, std::memory_order_relaxed);
    if (const pid_t caller = fuse_req_ctx(req)->pid; caller > 0) {
        std::lock_guard lock(share.callersMutex);
        share.callers.insert(caller);
    }
    const int now = share.inFlight.fetch_add(1) + 1;
    int most = share.mostInFlight.load();
    while (now > most && !share.mostInFlight.compare_exchange_weak(most, now)) {
    }
    if (share.delay.count() > 0)
        std::this_thread::sleep_for(share.delay);
    share.inFlight.fetch_sub(1);
}

// What the kernel knows by a node id: the mirrored path relative to the source folder ("." for the top),
// kept while the kernel holds lookups of it. A node per path, as libfuse's high-level interface keeps them:
// a folder the source reaches by two paths (a bind mount in it) is two folders to the kernel, which would not
// let one folder stand in two places.
struct Node
{
    std::string path;
    std::uint64_t lookups = 0;
};

struct Nodes
{
    std::mutex mutex;
    std::unordered_map<fuse_ino_t, Node> byId;
    std::unordered_map<std::string, fuse_ino_t> byPath;
    fuse_ino_t next = FUSE_ROOT_ID + 1;

    std::string pathOf(fuse_ino_t id)
    {
        std::lock_guard lock(mutex);
        const auto it = byId.find(id);
        return it == byId.end() ? std::string() : it->second.path;
    }

    // The node for a name just looked up, one lookup more of it.
    fuse_ino_t lookedUp(const std::string& path)
    {
        std::lock_guard lock(mutex);
        auto [at, added] = byPath.try_emplace(path, next);
        if (added)
            byId[next++] = Node{path, 0};
        ++byId[at->second].lookups;
        return at->second;
    }

    void forget(fuse_ino_t id, std::uint64_t count)
    {
        if (id == FUSE_ROOT_ID)
            return;
        std::lock_guard lock(mutex);
        const auto it = byId.find(id);
        if (it == byId.end())
            return;
        it->second.lookups -= std::min(count, it->second.lookups);
        if (it->second.lookups == 0) {
            byPath.erase(it->second.path);
            byId.erase(it);
        }
    }
};
Nodes nodes;

std::string childPath(const std::string& folder, const char* name)
{
    return folder == "." ? std::string(name) : folder + '/' + name;
}

fuse_entry_param entryOf(fuse_ino_t id, const struct stat& st)
{
    fuse_entry_param e{};
    e.ino = id;
    e.attr = st;
    e.attr_timeout = share.timeout();
    e.entry_timeout = share.timeout();
    return e;
}

void onInit(void* /*userdata*/, fuse_conn_info* conn)
{
    // Lookups and listings of one folder at once, as a share's client sends them.
    if (conn->capable & FUSE_CAP_PARALLEL_DIROPS)
        conn->want |= FUSE_CAP_PARALLEL_DIROPS;
}

void onLookup(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    request(req, Lookup);
    const std::string folder = nodes.pathOf(parent);
    if (folder.empty()) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const std::string path = childPath(folder, name);
    struct stat st
    {
    };
    if (::fstatat(share.source, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int e = errno;
        if (e == ENOENT && share.cache) {
            const fuse_entry_param absent = entryOf(0, st); // the kernel keeps the name's absence too
            fuse_reply_entry(req, &absent);
        } else {
            fuse_reply_err(req, e);
        }
        return;
    }
    const fuse_entry_param e = entryOf(nodes.lookedUp(path), st);
    fuse_reply_entry(req, &e);
}

void onForget(fuse_req_t req, fuse_ino_t id, std::uint64_t count)
{
    nodes.forget(id, count);
    fuse_reply_none(req);
}

void onForgetMany(fuse_req_t req, std::size_t count, fuse_forget_data* forgets)
{
    for (std::size_t i = 0; i < count; ++i)
        nodes.forget(forgets[i].ino, forgets[i].nlookup);
    fuse_reply_none(req);
}

void onGetAttr(fuse_req_t req, fuse_ino_t id, fuse_file_info* /*fi*/)
{
    request(req, GetAttr);
    struct stat st
    {
    };
    const std::string path = nodes.pathOf(id);
    if (path.empty() || ::fstatat(share.source, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        fuse_reply_err(req, path.empty() ? ENOENT : errno);
        return;
    }
    fuse_reply_attr(req, &st, share.timeout());
}

void onReadLink(fuse_req_t req, fuse_ino_t id)
{
    request(req, ReadLink);
    char target[PATH_MAX + 1];
    const std::string path = nodes.pathOf(id);
    const ssize_t n = path.empty() ? -1 : ::readlinkat(share.source, path.c_str(), target, PATH_MAX);
    if (n < 0) {
        fuse_reply_err(req, path.empty() ? ENOENT : errno);
        return;
    }
    target[n] = 0;
    fuse_reply_readlink(req, target);
}

// An open folder: its path, its handle on the source, and the listing as the server last returned it.
struct OpenFolder
{
    std::string path;
    DIR* dir = nullptr;
    struct Entry
    {
        std::string name;
        struct stat st;
    };
    std::vector<Entry> entries;
    ~OpenFolder()
    {
        if (dir)
            ::closedir(dir);
    }
};

void onOpenDir(fuse_req_t req, fuse_ino_t id, fuse_file_info* fi)
{
    request(req, OpenDir);
    auto folder = std::make_unique<OpenFolder>();
    folder->path = nodes.pathOf(id);
    const int fd = folder->path.empty() ? -1
                                        : ::openat(share.source, folder->path.c_str(),
                                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    folder->dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!folder->dir) {
        const int e = folder->path.empty() ? ENOENT : errno;
        if (fd >= 0)
            ::close(fd);
        fuse_reply_err(req, e);
        return;
    }
    fi->fh = reinterpret_cast<std::uintptr_t>(folder.get());
    fi->cache_readdir = share.cache ? 1 : 0;
    fi->keep_cache = share.cache ? 1 : 0;
    if (fuse_reply_open(req, fi) == 0)
        folder.release();
}

// The whole listing, with each entry's attributes, in one request at its start, as a server's directory
// search returns it; the kernel's further reads of it are answered from what that request returned.
void readFolder(fuse_req_t req, std::size_t size, off_t offset, fuse_file_info* fi, bool plus)
{
    OpenFolder& folder = *reinterpret_cast<OpenFolder*>(fi->fh);
    if (offset == 0) {
        request(req, ReadDir);
        folder.entries.clear();
        ::rewinddir(folder.dir);
        const int fd = ::dirfd(folder.dir);
        errno = 0;
        while (const dirent* d = ::readdir(folder.dir)) {
            OpenFolder::Entry entry{d->d_name, {}};
            if (::fstatat(fd, d->d_name, &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
                entry.st = {};
                entry.st.st_ino = d->d_ino;
                entry.st.st_mode = DTTOIF(d->d_type);
            }
            folder.entries.push_back(std::move(entry));
            errno = 0;
        }
        if (errno != 0) {
            fuse_reply_err(req, errno);
            return;
        }
    }
    std::vector<char> buffer(size);
    std::size_t used = 0;
    for (std::size_t i = std::size_t(std::max<off_t>(offset, 0)); i < folder.entries.size(); ++i) {
        const OpenFolder::Entry& entry = folder.entries[i];
        const char* name = entry.name.c_str();
        const off_t nextOffset = off_t(i + 1);
        std::size_t needs;
        if (!plus) {
            needs = fuse_add_direntry(req, buffer.data() + used, size - used, name, &entry.st, nextOffset);
        } else {
            const bool dots = entry.name == "." || entry.name == "..";
            // A name the kernel learns here counts as its lookup once it is sent; the dots are not.
            fuse_entry_param e = entryOf(0, entry.st);
            needs = fuse_add_direntry_plus(req, nullptr, 0, name, &e, nextOffset);
            if (needs > size - used)
                break;
            if (!dots && entry.st.st_mode != 0)
                e.ino = nodes.lookedUp(childPath(folder.path, name));
            fuse_add_direntry_plus(req, buffer.data() + used, size - used, name, &e, nextOffset);
        }
        if (needs > size - used)
            break;
        used += needs;
    }
    fuse_reply_buf(req, buffer.data(), used);
}

void onReadDir(fuse_req_t req, fuse_ino_t /*id*/, std::size_t size, off_t offset, fuse_file_info* fi)
{
    readFolder(req, size, offset, fi, false);
}

void onReadDirPlus(fuse_req_t req, fuse_ino_t /*id*/, std::size_t size, off_t offset, fuse_file_info* fi)
{
    readFolder(req, size, offset, fi, true);
}

void onReleaseDir(fuse_req_t req, fuse_ino_t /*id*/, fuse_file_info* fi)
{
    request(req, ReleaseDir);
    delete reinterpret_cast<OpenFolder*>(fi->fh);
    fuse_reply_err(req, 0);
}

void onOpen(fuse_req_t req, fuse_ino_t id, fuse_file_info* fi)
{
    request(req, Open);
    if ((fi->flags & O_ACCMODE) != O_RDONLY) {
        fuse_reply_err(req, EROFS);
        return;
    }
    const std::string path = nodes.pathOf(id);
    const int fd =
        path.empty() ? -1 : ::openat(share.source, path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        fuse_reply_err(req, path.empty() ? ENOENT : errno);
        return;
    }
    fi->fh = std::uint64_t(fd);
    fi->keep_cache = share.cache ? 1 : 0;
    if (fuse_reply_open(req, fi) != 0)
        ::close(fd);
}

void onRead(fuse_req_t req, fuse_ino_t /*id*/, std::size_t size, off_t offset, fuse_file_info* fi)
{
    request(req, Read);
    std::vector<char> buffer(size);
    const ssize_t n = ::pread(int(fi->fh), buffer.data(), size, offset);
    if (n < 0)
        fuse_reply_err(req, errno);
    else
        fuse_reply_buf(req, buffer.data(), std::size_t(n));
}

void onRelease(fuse_req_t req, fuse_ino_t /*id*/, fuse_file_info* fi)
{
    request(req, Release);
    ::close(int(fi->fh));
    fuse_reply_err(req, 0);
}

void onStatFs(fuse_req_t req, fuse_ino_t /*id*/)
{
    request(req, StatFs);
    struct statvfs st
    {
    };
    if (::fstatvfs(share.source, &st) != 0)
        fuse_reply_err(req, errno);
    else
        fuse_reply_statfs(req, &st);
}

void writeCounts(const char* file)
{
    FILE* out = file ? std::fopen(file, "w") : stderr;
    if (!out) {
        std::perror(file);
        return;
    }
    long long all = 0;
    for (int k = 0; k < KindCount; ++k) {
        const long long n = share.counts[k].load();
        all += n;
        std::fprintf(out, "%s %lld\n", kindNames[k], n);
    }
    std::fprintf(out, "all %lld\n", all);
    std::fprintf(out, "most-in-flight %d\n", share.mostInFlight.load());
    std::fprintf(out, "callers %zu\n", share.callers.size());
    if (out != stderr)
        std::fclose(out);
}

int usage()
{
    std::fprintf(stderr,
                 "usage: latencyfs [--delay-ms N] [--cache on|off] [--threads N] [--counts FILE] SOURCE "
                 "MOUNTPOINT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int threads = 256;
    const char* countsFile = nullptr;
    std::vector<const char*> places;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--delay-ms" && hasValue)
            share.delay = std::chrono::microseconds(std::llround(std::atof(argv[++i]) * 1000));
        else if (a == "--cache" && hasValue)
            share.cache = std::strcmp(argv[++i], "off") != 0;
        else if (a == "--threads" && hasValue)
            threads = std::max(1, std::atoi(argv[++i]));
        else if (a == "--counts" && hasValue)
            countsFile = argv[++i];
        else if (a.size() > 1 && a[0] == '-')
            return usage();
        else
            places.push_back(argv[i]);
    }
    if (places.size() != 2)
        return usage();
    share.source = ::open(places[0], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (share.source < 0) {
        std::perror(places[0]);
        return 1;
    }
    nodes.byId[FUSE_ROOT_ID] = Node{".", 1};

    fuse_lowlevel_ops ops{};
    ops.init = onInit;
    ops.lookup = onLookup;
    ops.forget = onForget;
    ops.forget_multi = onForgetMany;
    ops.getattr = onGetAttr;
    ops.readlink = onReadLink;
    ops.opendir = onOpenDir;
    ops.readdir = onReadDir;
    ops.readdirplus = onReadDirPlus;
    ops.releasedir = onReleaseDir;
    ops.open = onOpen;
    ops.read = onRead;
    ops.release = onRelease;
    ops.statfs = onStatFs;

    char program[] = "latencyfs";
    char dashO[] = "-o";
    char options[] = "ro,fsname=latencyfs,subtype=latencyfs";
    char* fuseArgv[] = {program, dashO, options, nullptr};
    fuse_args args = FUSE_ARGS_INIT(3, fuseArgv);
    fuse_session* session = fuse_session_new(&args, &ops, sizeof ops, nullptr);
    if (!session)
        return 1;
    int status = 1;
    if (fuse_session_mount(session, places[1]) == 0) {
        if (fuse_set_signal_handlers(session) == 0) {
            // Every request sleeps in its worker: the workers there may be are the requests in flight. Idle
            // ones are kept, since libfuse otherwise ends each one past its idle count after every request.
            fuse_loop_config* loop = fuse_loop_cfg_create();
            fuse_loop_cfg_set_max_threads(loop, unsigned(threads));
            fuse_loop_cfg_set_idle_threads(loop, unsigned(threads));
            status = fuse_session_loop_mt(session, loop) == 0 ? 0 : 1;
            fuse_loop_cfg_destroy(loop);
            fuse_remove_signal_handlers(session);
        }
        fuse_session_unmount(session);
    }
    fuse_session_destroy(session);
    writeCounts(countsFile);
    return status;
}
