// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/fixplan.h"

#include <QDialog>
#include <QHash>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class FixPreviewModel;

// Asks for the target and previews what "Fix Checked Names For Target…" would rename: every checked row whose
// name breaks a rule, its new name and the rules that fixes; changes nothing on disk itself.
class FixDialog : public QDialog
{
    Q_OBJECT
public:
    // profileKey, targetFolder: offered first (those of the last target check); rules: the rules to mend.
    FixDialog(std::vector<FixCandidate> candidates, const QString& profileKey, const QString& targetFolder,
              const TargetRuleSet& rules, const QString& title, QWidget* parent = nullptr);
    ~FixDialog() override;

    QComboBox* profileBox() const { return m_profileBox; }
    QLineEdit* folderEdit() const { return m_folderEdit; }
    QComboBox* charactersBox() const { return m_charactersBox; }
    QCheckBox* foldersBox() const { return m_foldersBox; }
    QPushButton* applyButton() const { return m_apply; }
    QTableView* preview() const { return m_preview; }
    QLabel* summary() const { return m_summary; }

    // What Apply would rename, as last previewed, and the setup it was planned for.
    const std::vector<FixItem>& plan() const;
    const FixSetup& setup() const { return m_setup; }

    // Plans the preview again for the choices made now (also run, debounced, as they change).
    void refresh();

private:
    void planNow();

    std::vector<FixCandidate> m_candidates;
    bool m_planning = false;
    bool m_planAgain = false;
    FixSetup m_setup;
    QComboBox* m_profileBox = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QComboBox* m_charactersBox = nullptr;
    QCheckBox* m_foldersBox = nullptr;
    QLabel* m_summary = nullptr;
    QTableView* m_preview = nullptr;
    QPushButton* m_apply = nullptr;
    FixPreviewModel* m_model = nullptr;
};

// "rule, rule" in words, for the preview's column of what a new name mends.
QString fixesText(const std::vector<TargetRule>& rules);
