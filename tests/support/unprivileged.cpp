// SPDX-License-Identifier: MIT
#include "support/unprivileged.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Unprivileged {
namespace {

constexpr char stepVariable[] = "LENTROVA_UNPRIVILEGED_STEP";

QHash<QString, Step>& steps()
{
    static QHash<QString, Step> registered;
    return registered;
}

QString selfPath()
{
    // The step runs before QCoreApplication exists, so the path comes from /proc rather than Qt.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

int chownEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return ::lchown(path, uid, gid) == 0 ? 0 : -1;
}

} // namespace

Registration::Registration(const char* name, Step step)
{
    steps().insert(QString::fromLatin1(name), std::move(step));
}

QString unavailableReason()
{
    if (::geteuid() != 0)
        return QStringLiteral("not running as root, so no other user can be taken on");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("setpriv is not installed");
    QProcess probe;
    probe.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(gid),
                 QStringLiteral("--clear-groups"), QStringLiteral("test"), QStringLiteral("-x"), selfPath()});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("setpriv did not run here");
    if (probe.exitCode() != 0)
        return QStringLiteral("uid %1 cannot switch in or cannot run this test program (%2)")
            .arg(uid)
            .arg(QString::fromLocal8Bit(probe.readAllStandardError()).trimmed());
    return {};
}

Outcome runStep(const QString& name, const QStringList& args, const QProcessEnvironment& extra, int timeoutMs)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    env.insert(QString::fromLatin1(stepVariable), name);
    env.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QStringLiteral("/"));
    QStringList setprivArgs{QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(gid),
                            QStringLiteral("--clear-groups"), selfPath()};
    setprivArgs += args;
    process.start(QStringLiteral("setpriv"), setprivArgs);
    Outcome outcome;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        outcome.err = "step timed out";
        return outcome;
    }
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

bool giveTree(const QByteArray& path)
{
    return ::nftw(path.constData(), chownEntry, 32, FTW_PHYS) == 0;
}

bool openWayTo(const QByteArray& path)
{
    QByteArray folder = path;
    while (true) {
        const qsizetype cut = folder.lastIndexOf('/');
        if (cut <= 0)
            return true;
        folder.truncate(cut);
        struct stat st
        {
        };
        if (::stat(folder.constData(), &st) != 0)
            return false;
        if ((st.st_mode & S_IXOTH) == 0 && ::chmod(folder.constData(), (st.st_mode & 07777) | S_IXOTH) != 0)
            return false;
    }
}

bool runStepIfAsked(int argc, char** argv, int* exitCode)
{
    const QByteArray name = qgetenv(stepVariable);
    if (name.isEmpty())
        return false;
    const auto step = steps().constFind(QString::fromLatin1(name));
    if (step == steps().constEnd()) {
        std::fprintf(stderr, "no step named %s\n", name.constData());
        *exitCode = 125;
        return true;
    }
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    *exitCode = (*step)(args);
    std::fflush(stdout);
    return true;
}

} // namespace Unprivileged
