// SPDX-License-Identifier: MIT
#pragma once

#include "target/targetrules.h"
#include "target/targetwalk.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The profile key of "As the file system of the target folder".
inline const QString AutoTargetProfile = QStringLiteral("auto");

// What the dialog offers first, and what it was left with.
struct TargetCheckChoice
{
    QString profileKey; // a profile's key, or AutoTargetProfile
    QString folder;     // as typed: may be a Windows path, or empty
    TargetRuleSet rules;
};

// Asks which target a tree is to be copied to and which rules to check. Start resolves the choice (the
// profile of a mounted folder for "auto") and closes only when it holds; otherwise the reason shows in the
// dialog and it stays open.
class TargetCheckDialog : public QDialog
{
    Q_OBJECT
public:
    // browse: the folder picker, starting at the folder typed; empty on cancel.
    TargetCheckDialog(const TargetCheckChoice& offered, std::function<QString(const QString& start)> browse,
                      const QString& title, QWidget* parent = nullptr);
    ~TargetCheckDialog() override;

    QComboBox* profileCombo() const { return m_profile; }
    QLineEdit* folderEdit() const { return m_folder; }
    QCheckBox* ruleBox(TargetRule rule) const { return m_ruleBoxes[std::size_t(rule)]; }
    QPushButton* startButton() const { return m_start; }
    QPushButton* cancelButton() const { return m_cancel; }
    // Why the last Start did not close the dialog; empty when it did or none was pressed.
    QString errorText() const;

    // Chooses the profile of that key (or AutoTargetProfile); false when the list has none.
    bool selectProfile(const QString& key);
    TargetCheckChoice choice() const;
    // After an accepted Start: the resolved check.
    const std::optional<TargetCheckSetup>& setup() const { return m_setup; }

private:
    void onStartClicked();
    void onBrowseClicked();
    void showDescription();

    std::function<QString(const QString&)> m_browseFn;
    QComboBox* m_profile = nullptr;
    QLabel* m_description = nullptr;
    QLineEdit* m_folder = nullptr;
    QPushButton* m_browse = nullptr;
    std::array<QCheckBox*, TargetRuleCount> m_ruleBoxes{};
    QLabel* m_error = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
    std::optional<TargetCheckSetup> m_setup;
};

// The rule's title as a label starts it: "Forbidden characters".
QString ruleLabel(TargetRule rule);
