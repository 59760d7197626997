// SPDX-License-Identifier: MIT
// A network share on this machine: mirrors a folder read-only through FUSE and holds every request back by a
// set delay, many requests at once, as a file server far away answers. Counts the requests by kind and
// writes the counts, the most requests it held at once and the threads that asked, when it is unmounted.
//
//   latencyfs [--delay-ms N] [--cache on|off] [--threads N] [--counts FILE] SOURCE MOUNTPOINT
//
// It stays in the foreground until MOUNTPOINT is unmounted (fusermount3 -u, or umount as root). Cache on: the
// kernel keeps names, attributes and listings for an hour; cache off: it asks for every name and attribute
// each time it needs one. The high-level interface answers a kernel's lookup with getattr, so lookups are
// counted as getattr.
#define FUSE_USE_VERSION 314

#include <fuse3/fuse.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

enum Kind { GetAttr, OpenDir, ReadDir, ReleaseDir, Open, Read, Release, ReadLink, StatFs, KindCount };
const char* const kindNames[KindCount] = {"getattr", "opendir", "readdir",  "releasedir", "open",
                                          "read",    "release", "readlink", "statfs"};

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
};
Share share;

// Every request waits as long as a round trip to the server would take.
void request(Kind kind)
{
    share.counts[kind].fetch_add(1, std::memory_order_relaxed);
    if (const pid_t caller = fuse_get_context()->pid; caller > 0) {
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

// The mirrored path relative to the source folder: "." for the top.
const char* relative(const char* path)
{
    while (*path == '/')
        ++path;
    return *path ? path : ".";
}

void* onInit(fuse_conn_info* /*conn*/, fuse_config* cfg)
{
    cfg->use_ino = 1;
    const double timeout = share.cache ? 3600 : 0;
    cfg->entry_timeout = timeout;
    cfg->attr_timeout = timeout;
    cfg->negative_timeout = timeout;
    cfg->kernel_cache = share.cache ? 1 : 0;
    return nullptr;
}

int onGetAttr(const char* path, struct stat* st, fuse_file_info* /*fi*/)
{
    request(GetAttr);
    return ::fstatat(share.source, relative(path), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

int onReadLink(const char* path, char* buffer, size_t size)
{
    request(ReadLink);
    const ssize_t n = ::readlinkat(share.source, relative(path), buffer, size - 1);
    if (n < 0)
        return -errno;
    buffer[n] = 0;
    return 0;
}

int onOpenDir(const char* path, fuse_file_info* fi)
{
    request(OpenDir);
    const int fd = ::openat(share.source, relative(path), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int e = errno;
        ::close(fd);
        return -e;
    }
    fi->fh = reinterpret_cast<std::uintptr_t>(dir);
    fi->cache_readdir = share.cache ? 1 : 0;
    fi->keep_cache = share.cache ? 1 : 0;
    return 0;
}

// The whole listing in one answer (offset 0 to the filler), with each entry's attributes, as a server's
// directory search returns them.
int onReadDir(const char* /*path*/, void* buffer, fuse_fill_dir_t fill, off_t /*offset*/, fuse_file_info* fi,
              fuse_readdir_flags /*flags*/)
{
    request(ReadDir);
    DIR* dir = reinterpret_cast<DIR*>(fi->fh);
    ::rewinddir(dir);
    const int fd = ::dirfd(dir);
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        struct stat st
        {
        };
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            st = {};
            st.st_ino = e->d_ino;
            st.st_mode = DTTOIF(e->d_type);
        }
        fill(buffer, e->d_name, &st, 0, FUSE_FILL_DIR_PLUS);
        errno = 0;
    }
    return -errno;
}

int onReleaseDir(const char* /*path*/, fuse_file_info* fi)
{
    request(ReleaseDir);
    ::closedir(reinterpret_cast<DIR*>(fi->fh));
    return 0;
}

int onOpen(const char* path, fuse_file_info* fi)
{
    request(Open);
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int fd = ::openat(share.source, relative(path), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    fi->fh = std::uint64_t(fd);
    fi->keep_cache = share.cache ? 1 : 0;
    return 0;
}

int onRead(const char* /*path*/, char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    request(Read);
    const ssize_t n = ::pread(int(fi->fh), buffer, size, offset);
    return n < 0 ? -errno : int(n);
}

int onRelease(const char* /*path*/, fuse_file_info* fi)
{
    request(Release);
    ::close(int(fi->fh));
    return 0;
}

int onStatFs(const char* /*path*/, struct statvfs* st)
{
    request(StatFs);
    return ::fstatvfs(share.source, st) == 0 ? 0 : -errno;
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

    fuse_operations ops{};
    ops.init = onInit;
    ops.getattr = onGetAttr;
    ops.readlink = onReadLink;
    ops.opendir = onOpenDir;
    ops.readdir = onReadDir;
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
    fuse* fs = fuse_new(&args, &ops, sizeof ops, nullptr);
    if (!fs)
        return 1;
    int status = 1;
    if (fuse_mount(fs, places[1]) == 0) {
        if (fuse_set_signal_handlers(fuse_get_session(fs)) == 0) {
            // Every request sleeps in its worker: the workers there may be are the requests in flight. Idle
            // ones are kept, since libfuse otherwise ends each one past its idle count after every request.
            fuse_loop_config* loop = fuse_loop_cfg_create();
            fuse_loop_cfg_set_max_threads(loop, unsigned(threads));
            fuse_loop_cfg_set_idle_threads(loop, unsigned(threads));
            status = fuse_loop_mt(fs, loop) == 0 ? 0 : 1;
            fuse_loop_cfg_destroy(loop);
            fuse_remove_signal_handlers(fuse_get_session(fs));
        }
        fuse_unmount(fs);
    }
    fuse_destroy(fs);
    writeCounts(countsFile);
    return status;
}
