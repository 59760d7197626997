// SPDX-License-Identifier: MIT
#include "app/fileactions.h"
#include "app/mainwindow.h"
#include "app/searchrun.h"
#include "app/sessionend.h"
#include "platform/dirlisting.h"
#include "platform/filemove.h"
#include "services/displaywait.h"
#include "services/enddeadline.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace {
// Test seams: LENTROVA_TEST_COPY_CHUNK_MS=N holds every copied chunk (1 MiB) back by N milliseconds, and
// LENTROVA_TEST_FOLDER_OPEN_MS=N every folder the search opens, so that a test of the real window has a long
// move or search without gigabytes or huge trees. Unset or 0 for everyone else, and then nothing is
// installed.
std::chrono::milliseconds testDelay(const char* variable)
{
    bool ok = false;
    const int delayMs = qEnvironmentVariableIntValue(variable, &ok);
    return std::chrono::milliseconds(ok ? std::clamp(delayMs, 0, 10000) : 0);
}

std::chrono::milliseconds folderOpenDelay{0};

void installTestThrottles()
{
    if (const auto delay = testDelay("LENTROVA_TEST_COPY_CHUNK_MS"); delay.count() > 0) {
        setCopyFaultHook([delay](CopyStep step, qint64) {
            if (step == CopyStep::Write)
                std::this_thread::sleep_for(delay);
            return 0;
        });
    }
    folderOpenDelay = testDelay("LENTROVA_TEST_FOLDER_OPEN_MS");
    if (folderOpenDelay.count() > 0) {
        fsys::setFolderOpenHook([](const char*) {
            std::this_thread::sleep_for(folderOpenDelay);
            return 0;
        });
    }
}
} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("Lentrova needs a graphical session: run it from a desktop, or under xvfb-run.\n", stderr);
        return 1;
    }
    // Qt's X11 plugin aborts the program when the server does not answer at once, as one started a moment
    // before may not: wait for it a while, and say plainly when it never answers.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray display = qgetenv("DISPLAY");
    if (!display.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        (platform.isEmpty() || platform.startsWith("xcb")) &&
        !waitForLocalDisplay(display, std::chrono::seconds(10))) {
        std::fprintf(stderr, "Lentrova cannot reach the display %s: no X server answers there.\n",
                     display.constData());
        return 1;
    }
    // Closing the window leaves the event loop once the handler under way has returned: a move or a trash
    // run stops after its file in hand, and its partial copy is removed before that.
    QApplication app(argc, argv);
    installTestThrottles();
    auto form = std::make_unique<MainWindow>();
    // The session ending the program (a logout, a closed terminal) closes the window, as the user would.
    const EndSignals endSignals([&](int) {
        if (form)
            form->close();
    });
    form->load();
    if (const QScreen* screen = form->screen())
        form->move(screen->availableGeometry().center() - form->rect().center());
    form->show();
    // What a move or a trash run left when the program was last killed is put in order once it shows.
    QTimer::singleShot(0, form.get(), [&] { form->fileActions().settleInterrupted(); });
    int code = app.exec();
    // As a shell tells a program that a signal ended.
    if (endSignals.caught())
        code = 128 + endSignals.caught();
    if (form->searchRun().active()) {
        // Ending during a search stops the walk and waits for its thread, a moment at most, unless the walk
        // hangs in a dead network mount: then the program still ends, and only the hand-over of the clipboard
        // is lost.
        const EndDeadline deadline(std::chrono::milliseconds(300));
        form.reset();
    } else {
        form.reset();
    }
    // As the application object goes, Qt hands the clipboard over to the desktop's clipboard manager.
    return code;
}
