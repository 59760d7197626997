// SPDX-License-Identifier: MIT
#include "services/displaywait.h"

#include "platform/posixfile.h"

#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The server's number in ":N", ":N.S", "unix:N"; -1 for a server on another host or a name we cannot read.
int localDisplayNumber(QByteArray display)
{
    if (display.startsWith("unix:"))
        display.remove(0, 4);
    if (!display.startsWith(':'))
        return -1;
    display.remove(0, 1);
    if (const qsizetype dot = display.indexOf('.'); dot >= 0)
        display.truncate(dot);
    bool ok = false;
    const int number = display.toInt(&ok);
    return ok && number >= 0 ? number : -1;
}

// X servers listen on a socket in /tmp/.X11-unix and, on Linux, on the same name in the abstract namespace.
bool accepts(const QByteArray& socketName, bool abstract)
{
    const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    std::memcpy(address.sun_path + offset, socketName.constData(), std::size_t(socketName.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + std::size_t(socketName.size()) +
                                  (abstract ? 0 : 1));
    return ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0;
}

} // namespace

bool waitForLocalDisplay(const QByteArray& display, std::chrono::milliseconds limit)
{
    const int number = localDisplayNumber(display);
    if (number < 0)
        return true;
    const QByteArray socketName = "/tmp/.X11-unix/X" + QByteArray::number(number);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (accepts(socketName, true) || accepts(socketName, false))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
