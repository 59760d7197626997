// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"
#include "platform/enddeadline.h"
#include "search/searchrun.h"

#include <QApplication>
#include <QScreen>

#include <chrono>
#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("Lentrova needs a graphical session: run it from a desktop, or under xvfb-run.\n", stderr);
        return 1;
    }
    // Closing the window leaves the event loop once the handler under way has returned: a move or a trash
    // run stops after its file in hand, and its partial copy is removed before that.
    QApplication app(argc, argv);
    auto form = std::make_unique<MainWindow>();
    form->load();
    if (const QScreen* screen = form->screen())
        form->move(screen->availableGeometry().center() - form->rect().center());
    form->show();
    const int code = app.exec();
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
