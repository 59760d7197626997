// SPDX-License-Identifier: MIT
#include "ui/shortendialog.h"

#include <QAbstractTableModel>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

class ShortenPreviewModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setPlan(std::vector<ShortenItem> plan)
    {
        beginResetModel();
        m_plan = std::move(plan);
        endResetModel();
    }
    const std::vector<ShortenItem>& plan() const { return m_plan; }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_plan.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const ShortenItem& item = m_plan[std::size_t(index.row())];
        switch (index.column()) {
        case 0:
            return QString::fromUtf8(item.oldName);
        case 1:
            return QString::fromUtf8(item.newName);
        case 2:
            return item.newName.isEmpty() ? QVariant() : QVariant(item.newLength);
        default:
            return item.note;
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char* const titles[] = {"Current Name", "New Name", "New Length", "Note"};
        return QString::fromLatin1(titles[section]);
    }

private:
    std::vector<ShortenItem> m_plan;
};

ShortenDialog::ShortenDialog(std::vector<ShortenCandidate> candidates, const QString& limitText,
                             const QString& title, QWidget* parent)
    : QDialog(parent), m_candidates(std::move(candidates))
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Shorten every checked name longer than (a number, or a number "
                                  "followed by \"bytes\"):"),
                   this));
    m_limitEdit = new QLineEdit(limitText, this);
    layout->addWidget(m_limitEdit);
    m_summary = new QLabel(this);
    layout->addWidget(m_summary);
    m_preview = new QTableView(this);
    m_model = new ShortenPreviewModel(this);
    m_preview->setModel(m_model);
    m_preview->verticalHeader()->hide();
    m_preview->horizontalHeader()->setStretchLastSection(true);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    m_preview->setColumnWidth(0, 280);
    m_preview->setColumnWidth(1, 280);
    layout->addWidget(m_preview, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_apply = buttons->addButton(QStringLiteral("Shorten Names"), QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(820, 480);

    // Each keystroke would otherwise plan every checked row again.
    auto* debounce = new QTimer(this);
    debounce->setSingleShot(true);
    debounce->setInterval(250);
    connect(debounce, &QTimer::timeout, this, &ShortenDialog::refresh);
    connect(m_limitEdit, &QLineEdit::textChanged, debounce, qOverload<>(&QTimer::start));
    connect(m_limitEdit, &QLineEdit::textChanged, this, [this] { m_apply->setEnabled(false); });
    refresh();
}

ShortenDialog::~ShortenDialog() = default;

const std::vector<ShortenItem>& ShortenDialog::plan() const
{
    return m_model->plan();
}

void ShortenDialog::refresh()
{
    m_limit = parseShortenLimit(m_limitEdit->text());
    if (!m_limit) {
        m_model->setPlan({});
        m_summary->setText(
            QStringLiteral("Type a limit: a whole number from 1 to 32767, optionally followed by "
                           "\"bytes\"."));
        m_apply->setEnabled(false);
        return;
    }
    m_model->setPlan(planShortening(m_candidates, *m_limit));
    const auto& plan = m_model->plan();
    const auto blocked =
        std::count_if(plan.begin(), plan.end(), [](const ShortenItem& i) { return i.newName.isEmpty(); });
    const qsizetype renamable = qsizetype(plan.size()) - blocked;
    QString text =
        QStringLiteral("%1 of %2 checked names will be shortened.").arg(renamable).arg(m_candidates.size());
    if (blocked)
        text += QStringLiteral(" %1 cannot be shortened to this limit.").arg(blocked);
    m_summary->setText(text);
    m_apply->setEnabled(renamable > 0);
}
