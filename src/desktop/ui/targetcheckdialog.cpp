// SPDX-License-Identifier: MIT
#include "ui/targetcheckdialog.h"

#include "target/targetprofile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QString ruleLabel(TargetRule rule)
{
    QString text = ruleTitle(rule);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

TargetCheckDialog::TargetCheckDialog(const TargetCheckChoice& offered,
                                     std::function<QString(const QString& start)> browse,
                                     const QString& title, QWidget* parent)
    : QDialog(parent), m_browseFn(std::move(browse))
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(QStringLiteral("Where will the files be copied?"), this));
    m_profile = new QComboBox(this);
    for (const TargetProfile& profile : targetProfiles())
        m_profile->addItem(profile.title, profile.key);
    m_profile->addItem(QStringLiteral("As the file system of the target folder"), AutoTargetProfile);
    layout->addWidget(m_profile);
    m_description = new QLabel(this);
    m_description->setWordWrap(true);
    layout->addWidget(m_description);

    layout->addWidget(new QLabel(QStringLiteral("Target folder (where the listed folders will be copied "
                                                "into; may be left empty):"),
                                 this));
    auto* folderRow = new QHBoxLayout;
    m_folder = new QLineEdit(offered.folder, this);
    m_browse = new QPushButton(QStringLiteral("Browse\u2026"), this);
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    layout->addLayout(folderRow);

    auto* rulesFrame = new QGroupBox(QStringLiteral("Check for"), this);
    auto* grid = new QGridLayout(rulesFrame);
    constexpr int columns = 2;
    for (int i = 0; i < TargetRuleCount; ++i) {
        const auto rule = TargetRule(i);
        auto* box = new QCheckBox(ruleLabel(rule), rulesFrame);
        box->setChecked(offered.rules.contains(rule));
        grid->addWidget(box, i / columns, i % columns);
        m_ruleBoxes[std::size_t(i)] = box;
    }
    layout->addWidget(rulesFrame);

    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("color: #b00000"));
    m_error->hide();
    layout->addWidget(m_error);

    auto* buttons = new QDialogButtonBox(this);
    m_start = buttons->addButton(QStringLiteral("Start"), QDialogButtonBox::AcceptRole);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_start->setDefault(true);
    layout->addWidget(buttons);

    // Start resolves before it closes, so it is not wired to accept().
    connect(m_start, &QPushButton::clicked, this, &TargetCheckDialog::onStartClicked);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_browse, &QPushButton::clicked, this, &TargetCheckDialog::onBrowseClicked);
    connect(m_profile, &QComboBox::currentIndexChanged, this, &TargetCheckDialog::showDescription);

    if (!selectProfile(offered.profileKey))
        m_profile->setCurrentIndex(0);
    showDescription();
}

TargetCheckDialog::~TargetCheckDialog() = default;

QString TargetCheckDialog::errorText() const
{
    return m_error->isHidden() ? QString() : m_error->text();
}

bool TargetCheckDialog::selectProfile(const QString& key)
{
    const int index = m_profile->findData(key);
    if (index < 0)
        return false;
    m_profile->setCurrentIndex(index);
    return true;
}

TargetCheckChoice TargetCheckDialog::choice() const
{
    TargetCheckChoice chosen;
    chosen.profileKey = m_profile->currentData().toString();
    chosen.folder = m_folder->text();
    for (int i = 0; i < TargetRuleCount; ++i)
        chosen.rules.set(TargetRule(i), m_ruleBoxes[std::size_t(i)]->isChecked());
    return chosen;
}

void TargetCheckDialog::showDescription()
{
    const TargetProfile* profile = targetProfile(m_profile->currentData().toString());
    m_description->setText(profile ? profile->description
                                   : QStringLiteral("The target folder's file system decides; the folder "
                                                    "must be mounted here."));
}

void TargetCheckDialog::onBrowseClicked()
{
    const QString chosen = m_browseFn ? m_browseFn(m_folder->text()) : QString();
    if (!chosen.isEmpty())
        m_folder->setText(chosen);
}

void TargetCheckDialog::onStartClicked()
{
    const TargetCheckChoice chosen = choice();
    QString error;
    if (chosen.rules == TargetRuleSet::none())
        error = QStringLiteral("Choose at least one thing to check for.");
    else
        m_setup = resolveTargetSetup(chosen.profileKey, chosen.folder, chosen.rules, &error);
    if (!error.isEmpty() || !m_setup) {
        m_setup.reset();
        m_error->setText(error.isEmpty() ? QStringLiteral("This target cannot be checked.") : error);
        m_error->show();
        return;
    }
    m_error->hide();
    accept();
}
