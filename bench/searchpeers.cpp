// SPDX-License-Identifier: MIT
#include "searchpeers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

PeerRun runPeer(const QString& name, const QString& program, const QStringList& args, double capSeconds)
{
    PeerRun result{name};
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return result;
    qint64 lines = 0;
    while (!p.waitForFinished(50)) {
        lines += p.readAllStandardOutput().count('\n');
        if (capSeconds > 0 && clock.nsecsElapsed() / 1e9 > capSeconds) {
            p.kill();
            p.waitForFinished(10000);
            result.capped = true;
            result.seconds = capSeconds;
            return result;
        }
    }
    lines += p.readAllStandardOutput().count('\n');
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.count = lines;
    return result;
}

// Other work on the machine skews every figure here; the load average tells how much there was.
QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool generate(const QString& dir, qint64 files, quint32 seed)
{
    if (QDir(dir).exists())
        return true;
    const qint64 folders = std::max<qint64>(files / 20, 10);
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedChannels);
    gen.start(QCoreApplication::applicationDirPath() + "/bench_treegen",
              {dir, QString::number(files), QString::number(folders), QString::number(seed)});
    return gen.waitForFinished(-1) && gen.exitCode() == 0;
}

// One core's listing limit: every folder of the tree read with getdents64 alone, depth first, on this
// thread, kinds from d_type. Returns the number of files.
qint64 bareListing(const QByteArray& root)
{
    std::vector<int> stack;
    const int top = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0)
        return -1;
    stack.push_back(top);
    std::vector<char> buffer(64 * 1024);
    qint64 files = 0;
    while (!stack.empty()) {
        const int fd = stack.back();
        stack.pop_back();
        for (;;) {
            const long n = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            for (long pos = 0; pos < n;) {
                const auto* e = reinterpret_cast<const dirent64*>(buffer.data() + pos);
                pos += e->d_reclen;
                if (e->d_type == DT_REG) {
                    ++files;
                } else if (e->d_type == DT_DIR) {
                    const char* name = e->d_name;
                    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                        continue;
                    const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    if (sub >= 0)
                        stack.push_back(sub);
                }
            }
        }
        ::close(fd);
    }
    return files;
}

bool canDropCaches()
{
    return ::geteuid() == 0 && ::access("/proc/sys/vm/drop_caches", W_OK) == 0;
}

void dropCaches()
{
    ::sync();
    QFile f(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (f.open(QIODevice::WriteOnly))
        f.write("3\n");
}

int taskCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}
