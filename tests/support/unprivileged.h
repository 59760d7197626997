// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

// The tests run as root, and root ignores file modes; a permission case runs a step of its own test program
// again as an unprivileged user (through setpriv), on files prepared for that user.
namespace Unprivileged {

constexpr unsigned uid = 65534;
constexpr unsigned gid = 65534;

// Empty when steps can run as the unprivileged user here; otherwise why not, for QSKIP.
QString unavailableReason();

struct Outcome
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the step registered under name in this very test program as the unprivileged user, with args and the
// extra environment given (XDG_DATA_HOME, ...); waits at most timeoutMs.
Outcome runStep(const QString& name, const QStringList& args = {}, const QProcessEnvironment& extra = {},
                int timeoutMs = 60000);

// Hands a file or a whole tree to the unprivileged user.
bool giveTree(const QByteArray& path);
// Lets the unprivileged user reach path: every folder above it gets search permission for others.
bool openWayTo(const QByteArray& path);

using Step = std::function<int(const QStringList& args)>;
struct Registration
{
    Registration(const char* name, Step step);
};

// Called by the test main: when this process was started as a step, runs it and returns true.
bool runStepIfAsked(int argc, char** argv, int* exitCode);

} // namespace Unprivileged

// Declares a step; its body sees `args` and returns the process's exit code. What it prints to stdout reaches
// the test as Outcome::out.
#define UNPRIVILEGED_STEP(name)                                                                              \
    static int unprivilegedStep_##name(const QStringList& args);                                             \
    static const Unprivileged::Registration unprivilegedRegistration_##name(#name, unprivilegedStep_##name); \
    static int unprivilegedStep_##name(const QStringList& args)

#define SKIP_UNLESS_UNPRIVILEGED_RUNS()                                                                      \
    do {                                                                                                     \
        const QString reason = Unprivileged::unavailableReason();                                            \
        if (!reason.isEmpty())                                                                               \
            QSKIP(qPrintable(reason));                                                                       \
    } while (false)
