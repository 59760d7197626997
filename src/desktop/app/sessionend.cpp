// SPDX-License-Identifier: MIT
#include "app/sessionend.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int EndingSignals[] = {SIGTERM, SIGHUP, SIGINT};
constexpr auto AbruptEndLimit = std::chrono::seconds(20);

int signalPipe[2] = {-1, -1};

void writeSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // The pipe is non-blocking: with 64 KiB of signals unread, one more changes nothing.
    (void)!::write(signalPipe[1], &byte, 1);
    errno = saved;
}

std::atomic<std::function<void()>*> abruptEnd{nullptr};

void endAbruptly()
{
    std::function<void()>* endNow = abruptEnd.exchange(nullptr);
    if (!endNow)
        return;
    std::thread([] {
        std::this_thread::sleep_for(AbruptEndLimit);
        std::_Exit(EXIT_FAILURE);
    }).detach();
    try {
        (*endNow)();
    } catch (...) {
        // Nothing can be told any more; the operation's record settles the rest at the next start.
    }
}

} // namespace

EndSignals::EndSignals(std::function<void(int signal)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default: the program ends at once, as it always did
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::readSignals);
    struct sigaction action = {};
    action.sa_handler = writeSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : EndingSignals)
        ::sigaction(signal, &action, nullptr);
}

EndSignals::~EndSignals()
{
    if (!m_notifier)
        return;
    for (const int signal : EndingSignals)
        ::signal(signal, SIG_DFL);
    delete m_notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void EndSignals::readSignals()
{
    unsigned char caught[64];
    ssize_t n;
    while ((n = ::read(signalPipe[0], caught, sizeof caught)) > 0)
        for (ssize_t i = 0; i < n; ++i) {
            if (m_caught == 0)
                m_caught = caught[i];
            if (m_onSignal)
                m_onSignal(caught[i]);
        }
}

AbruptEndGuard::AbruptEndGuard(std::function<void()> endNow) : m_endNow(std::move(endNow))
{
    // Registered anew each time: handlers run newest first, so this one runs before the destructors of
    // whatever the operation brought into being, which its worker may still be using.
    std::atexit(endAbruptly);
    abruptEnd.store(&m_endNow);
}

AbruptEndGuard::~AbruptEndGuard()
{
    abruptEnd.store(nullptr);
}
