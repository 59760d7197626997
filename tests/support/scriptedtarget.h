// SPDX-License-Identifier: MIT
#pragma once

#include "app/mainwindow.h"
#include "results/resultmodel.h"
#include "support/fixtures.h"
#include "support/scripteddialogs.h"
#include "support/windowservices.h"
#include "ui/targetcheckdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>

// Answers the target dialog from a script: chooses what is set (else leaves what the dialog offered), then
// presses Start (or Cancel). Records what the dialog offered and why a Start did not close it.
struct ScriptedTarget
{
    std::optional<QString> profile;
    std::optional<QString> folder;
    std::optional<TargetRuleSet> rules;
    bool start = true;
    std::function<void(TargetCheckDialog&)> beforeAnswer; // runs with the choice made
    int shown = 0;
    TargetCheckChoice offered;
    QStringList profilesOffered; // the list's keys, in order
    QString error;

    bool operator()(TargetCheckDialog& dialog)
    {
        ++shown;
        offered = dialog.choice();
        profilesOffered.clear();
        for (int i = 0; i < dialog.profileCombo()->count(); ++i)
            profilesOffered << dialog.profileCombo()->itemData(i).toString();
        if (profile && !dialog.selectProfile(*profile))
            dialog.profileCombo()->setCurrentIndex(-1);
        if (folder)
            dialog.folderEdit()->setText(*folder);
        if (rules)
            for (int i = 0; i < TargetRuleCount; ++i)
                dialog.ruleBox(TargetRule(i))->setChecked(rules->contains(TargetRule(i)));
        if (beforeAnswer)
            beforeAnswer(dialog);
        if (!start) {
            dialog.cancelButton()->click();
            return false;
        }
        dialog.startButton()->click();
        error = dialog.errorText();
        return dialog.result() == QDialog::Accepted;
    }
};

// A loaded window whose message boxes and target dialog answer from their scripts.
inline std::unique_ptr<MainWindow> makeTargetWindow(ScriptedDialogs& dialogs, ScriptedTarget& target,
                                                    const QString& installFolder)
{
    MainWindowServices services = testWindowServices(dialogs, installFolder);
    services.targetDialog = [&target](TargetCheckDialog& dialog) { return target(dialog); };
    return loadedWindow(services);
}

// The message that ends a target check, or a search: the first that begins with "Done.".
inline int countDoneMessages(const ScriptedDialogs& dialogs)
{
    int n = 0;
    for (const ScriptedDialogs::Message& m : dialogs.messages)
        n += m.text.startsWith(QStringLiteral("Done.")) ? 1 : 0;
    return n;
}

// Each result row as its path's bytes, a tab and the second column's text, as the list shows them.
inline QList<QByteArray> shownRows(const ResultModel& model)
{
    QList<QByteArray> rows;
    for (int r = 0; r < model.rowCount(); ++r)
        rows << model.nativePath(r) + '\t' +
                    model.data(model.index(r, 1), Qt::DisplayRole).toString().toUtf8();
    return rows;
}
