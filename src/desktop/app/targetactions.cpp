// SPDX-License-Identifier: MIT
#include "app/targetactions.h"

#include "app/closewatcher.h"
#include "app/folderpicker.h"
#include "app/searchrun.h"
#include "app/settingskeys.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "services/errorbox.h"
#include "services/settings.h"
#include "target/targetcheck.h"
#include "ui/targetcheckdialog.h"

namespace {
const QString DefaultTargetProfile = QStringLiteral("windows");
}

TargetCheckChoice rememberedTargetChoice()
{
    TargetCheckChoice choice;
    choice.profileKey = readSetting(SettingsApp, SettingsSection, KeyTargetProfile, DefaultTargetProfile);
    choice.folder = readSetting(SettingsApp, SettingsSection, KeyTargetFolder, QString());
    QString error;
    const QString rules = readSetting(SettingsApp, SettingsSection, KeyTargetRules, QStringLiteral("all"));
    choice.rules = ruleSetFromText(rules, &error);
    // A setting written by another version may name a rule this one lacks; it offers them all then.
    if (!error.isEmpty() || choice.rules == TargetRuleSet::none())
        choice.rules = TargetRuleSet::all();
    return choice;
}

void rememberTargetChoice(const TargetCheckChoice& choice)
{
    storeSetting(SettingsApp, SettingsSection, KeyTargetProfile, choice.profileKey);
    storeSetting(SettingsApp, SettingsSection, KeyTargetFolder, choice.folder);
    storeSetting(SettingsApp, SettingsSection, KeyTargetRules, ruleSetText(choice.rules));
}

// Check For A Target…
void TargetActions::checkForTarget()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("mnuCheckForTarget_Click"));
    if (m_search.active()) {
        step(98, [&] {
            m_dialogs->message(QStringLiteral("Wait until the search has ended."), MessageStyle::Ok,
                               applicationTitle());
        });
        return;
    }
    if (refusedWhileBusy(step, 100))
        return;
    bool noFolders = false;
    step(102, [&] { noFolders = m_search.folderCount() == 0; });
    if (noFolders) {
        step(104, [&] {
            m_dialogs->message(QStringLiteral("Add folder(s) to check first."), MessageStyle::Ok,
                               applicationTitle());
        });
        return;
    }

    std::optional<TargetCheckSetup> setup;
    step(106, [&] {
        const CloseWatcher watcher(m_window, [] {});
        const auto browse = [&](const QString& start) {
            return pickFolderFrom(*m_dialogs, m_pointer, start, watcher);
        };
        TargetCheckDialog dialog(rememberedTargetChoice(), browse, applicationTitle(), m_window);
        const bool started = m_runDialog ? m_runDialog(dialog) : dialog.exec() == QDialog::Accepted;
        if (!started || !dialog.setup() || watcher.closed())
            return;
        setup = dialog.setup();
        rememberTargetChoice(dialog.choice());
    });
    if (setup)
        step(108, [&] { m_search.startTargetCheck(*setup); });
}
