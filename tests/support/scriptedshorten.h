// SPDX-License-Identifier: MIT
#pragma once

#include "app/mainwindow.h"
#include "support/fixtures.h"
#include "support/scripteddialogs.h"
#include "support/windowservices.h"
#include "ui/shortendialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QQueue>
#include <QStringList>

#include <functional>
#include <memory>

// Answers the shortening dialog from a script: types the next limit (none queued: keeps the one offered),
// builds the preview as the pause in typing would, then presses the apply button when it may be pressed, or
// Cancel. Records the limits offered.
struct ScriptedShorten
{
    QQueue<QString> limits;
    bool apply = true;
    std::function<void(ShortenDialog&)> beforeAnswer; // runs with the preview built
    QStringList offered;

    bool operator()(ShortenDialog& dialog)
    {
        offered << dialog.limitEdit()->text();
        if (!limits.isEmpty())
            dialog.limitEdit()->setText(limits.dequeue());
        dialog.refresh();
        if (beforeAnswer)
            beforeAnswer(dialog);
        return apply && dialog.applyButton()->isEnabled();
    }
};

// A loaded window whose message boxes and shortening dialog answer from their scripts.
inline std::unique_ptr<MainWindow> makeShortenWindow(ScriptedDialogs& dialogs, ScriptedShorten& shorten,
                                                     const QString& installFolder)
{
    MainWindowServices services = testWindowServices(dialogs, installFolder);
    services.shortenDialog = [&shorten](ShortenDialog& dialog) { return shorten(dialog); };
    return loadedWindow(services);
}
