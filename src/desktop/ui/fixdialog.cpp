// SPDX-License-Identifier: MIT
#include "ui/fixdialog.h"

#include "fileops/fileworker.h"
#include "fileops/folderproposals.h"
#include "services/yielder.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

QString fixesText(const std::vector<TargetRule>& rules)
{
    QStringList words;
    for (const TargetRule rule : rules)
        words << ruleTitle(rule);
    return words.join(QStringLiteral(", "));
}

class FixPreviewModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;
    // pathsFixed: for each folder shortened for paths below it (ending in '/'), how many it brings within
    // the limit.
    void setPlan(std::vector<FixItem> plan, QHash<QByteArray, int> pathsFixed = {})
    {
        beginResetModel();
        m_plan = std::move(plan);
        m_pathsFixed = std::move(pathsFixed);
        endResetModel();
    }
    const std::vector<FixItem>& plan() const { return m_plan; }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_plan.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const FixItem& item = m_plan[std::size_t(index.row())];
        const QByteArray slash = item.folder ? "/" : "";
        switch (index.column()) {
        case 0:
            return QString::fromUtf8(item.parent + item.oldName + slash);
        case 1:
            return item.newName.isEmpty() ? QVariant() : QString::fromUtf8(item.newName + slash);
        default:
            if (item.newName.isEmpty())
                return item.note;
            if (const int paths = m_pathsFixed.value(item.parent + item.oldName + '/'); item.folder && paths)
                return fixesText(item.fixes) +
                       QStringLiteral(" (brings %1 paths within the limit)").arg(paths);
            return fixesText(item.fixes);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char* const titles[] = {"Current Path", "New Name", "Fixes"};
        return QString::fromLatin1(titles[section]);
    }

private:
    std::vector<FixItem> m_plan;
    QHash<QByteArray, int> m_pathsFixed;
};

FixDialog::FixDialog(std::vector<FixCandidate> candidates, const QString& profileKey,
                     const QString& targetFolder, const TargetRuleSet& rules, const QString& title,
                     QWidget* parent)
    : QDialog(parent), m_candidates(std::move(candidates))
{
    m_setup.rules = rules;
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_profileBox = new QComboBox(this);
    for (const TargetProfile& profile : targetProfiles())
        m_profileBox->addItem(profile.title, profile.key);
    m_profileBox->setCurrentIndex(std::max(0, m_profileBox->findData(profileKey)));
    form->addRow(QStringLiteral("Target:"), m_profileBox);
    m_folderEdit = new QLineEdit(targetFolder, this);
    form->addRow(QStringLiteral("Target folder (for the length of paths):"), m_folderEdit);
    m_charactersBox = new QComboBox(this);
    m_charactersBox->addItem(QStringLiteral("Refused characters become \"_\""),
                             int(FixCharacters::Underscore));
    m_charactersBox->addItem(QStringLiteral("Refused characters become look-alikes (\uFF1A \uFF1F \uFF0A)"),
                             int(FixCharacters::LookAlike));
    form->addRow(QStringLiteral("Characters:"), m_charactersBox);
    layout->addLayout(form);
    m_foldersBox = new QCheckBox(QStringLiteral("Shorten folders above paths that are too long"), this);
    m_foldersBox->setChecked(true);
    layout->addWidget(m_foldersBox);
    m_summary = new QLabel(this);
    layout->addWidget(m_summary);
    m_preview = new QTableView(this);
    m_model = new FixPreviewModel(this);
    m_preview->setModel(m_model);
    m_preview->verticalHeader()->hide();
    m_preview->horizontalHeader()->setStretchLastSection(true);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    m_preview->setColumnWidth(0, 380);
    m_preview->setColumnWidth(1, 220);
    layout->addWidget(m_preview, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_apply = buttons->addButton(QStringLiteral("Fix Names"), QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(880, 520);

    // Each keystroke in the folder would otherwise plan every checked row again.
    auto* debounce = new QTimer(this);
    debounce->setSingleShot(true);
    debounce->setInterval(250);
    connect(debounce, &QTimer::timeout, this, &FixDialog::refresh);
    const auto changed = [this, debounce] {
        m_apply->setEnabled(false);
        debounce->start();
    };
    connect(m_folderEdit, &QLineEdit::textChanged, this, changed);
    connect(m_profileBox, &QComboBox::currentIndexChanged, this, changed);
    connect(m_charactersBox, &QComboBox::currentIndexChanged, this, changed);
    connect(m_foldersBox, &QCheckBox::toggled, this, changed);
    refresh();
}

FixDialog::~FixDialog() = default;

const std::vector<FixItem>& FixDialog::plan() const
{
    return m_model->plan();
}

void FixDialog::refresh()
{
    // A change made while the plan is worked out is planned again once that plan is in.
    if (m_planning) {
        m_planAgain = true;
        return;
    }
    m_planning = true;
    do {
        m_planAgain = false;
        planNow();
    } while (m_planAgain);
    m_planning = false;
}

void FixDialog::planNow()
{
    m_apply->setEnabled(false);
    m_setup.profile = targetProfile(m_profileBox->currentData().toString());
    m_setup.targetFolder = m_folderEdit->text().trimmed().toUtf8();
    m_setup.characters = FixCharacters(m_charactersBox->currentData().toInt());
    if (!m_setup.profile) {
        m_model->setPlan({});
        m_apply->setEnabled(false);
        return;
    }
    QHash<QByteArray, QByteArray> folderNames;
    int folderPaths = 0;
    QHash<QByteArray, int> pathsFixed;
    std::vector<FixItem> plan;
    const bool shortenFolders = m_foldersBox->isChecked();
    const FixSetup setup = m_setup;
    m_summary->setText(QStringLiteral("Working out the new names\u2026"));
    // A plan of many rows reads every folder they lie in: the window turns meanwhile.
    FileWorker worker;
    Yielder yielder;
    worker.run(
        [&] {
            if (shortenFolders)
                for (const FolderProposal& proposal : proposeFolderShortening(m_candidates, setup)) {
                    folderNames.insert(proposal.folder, proposal.newName);
                    pathsFixed.insert(proposal.folder, proposal.pathsFixed);
                    folderPaths += proposal.pathsFixed;
                }
            plan = planFixes(m_candidates, setup, folderNames);
        },
        [&] { yielder(); });
    if (m_planAgain)
        return;
    m_model->setPlan(std::move(plan), std::move(pathsFixed));
    const auto& shown = m_model->plan();
    const auto blocked =
        std::count_if(shown.begin(), shown.end(), [](const FixItem& i) { return i.newName.isEmpty(); });
    const qsizetype renamed = qsizetype(shown.size()) - blocked;
    QString text = QStringLiteral("%1 names will be changed.").arg(renamed);
    if (!folderNames.isEmpty())
        text += QStringLiteral(" %1 shortened folders bring %2 paths within the limit.")
                    .arg(folderNames.size())
                    .arg(folderPaths);
    if (blocked)
        text += QStringLiteral(" %1 cannot be fixed.").arg(blocked);
    m_summary->setText(text);
    m_apply->setEnabled(renamed > 0);
}
