// SPDX-License-Identifier: MIT
#pragma once

#include "app/mainwindow.h"
#include "support/fixtures.h"
#include "support/scripteddialogs.h"
#include "support/windowservices.h"
#include "ui/fixdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <memory>

// Answers the fix dialog from a script: picks the profile, the target folder, the characters and whether
// folders are shortened for paths (each only where set), builds the preview as the pause in typing would,
// then presses the apply button when it may be pressed, or Cancel. Records the profile and folder offered.
struct ScriptedFix
{
    QString profile;
    std::optional<QString> targetFolder;
    std::optional<FixCharacters> characters;
    std::optional<bool> shortenFolders;
    bool apply = true;
    std::function<void(FixDialog&)> beforeAnswer; // runs with the preview built
    QStringList offered;                          // "profile key|target folder", per dialog shown

    bool operator()(FixDialog& dialog)
    {
        offered << dialog.profileBox()->currentData().toString() + u'|' + dialog.folderEdit()->text();
        if (!profile.isEmpty())
            dialog.profileBox()->setCurrentIndex(dialog.profileBox()->findData(profile));
        if (targetFolder)
            dialog.folderEdit()->setText(*targetFolder);
        if (characters)
            dialog.charactersBox()->setCurrentIndex(dialog.charactersBox()->findData(int(*characters)));
        if (shortenFolders)
            dialog.foldersBox()->setChecked(*shortenFolders);
        dialog.refresh();
        if (beforeAnswer)
            beforeAnswer(dialog);
        return apply && dialog.applyButton()->isEnabled();
    }
};

// A loaded window whose message boxes and fix dialog answer from their scripts.
inline std::unique_ptr<MainWindow> makeFixWindow(ScriptedDialogs& dialogs, ScriptedFix& fix,
                                                 const QString& installFolder)
{
    MainWindowServices services = testWindowServices(dialogs, installFolder);
    services.fixDialog = [&fix](FixDialog& dialog) { return fix(dialog); };
    return loadedWindow(services);
}
