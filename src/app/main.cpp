// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("Lentrova needs a graphical session: run it from a desktop, or under xvfb-run.\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    MainWindowServices services;
    // Closing the window ends the program at once, whatever long operation is under way.
    services.endProgram = [] { std::_Exit(0); };
    MainWindow form(services);
    form.load();
    if (const QScreen* screen = form.screen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    form.show();
    return app.exec();
}
