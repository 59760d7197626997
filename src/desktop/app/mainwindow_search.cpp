// SPDX-License-Identifier: MIT
// The search run and the folder list: wiring only; the work is in src/search.
#include "app/closewatcher.h"
#include "app/folderpicker.h"
#include "app/mainwindow.h"

#include "app/nameactions.h"
#include "app/searchrun.h"
#include "app/settingskeys.h"
#include "platform/nativepath.h"
#include "results/resultmodel.h"
#include "results/resultsort.h"
#include "services/browseforfolder.h"
#include "services/settings.h"
#include "services/yielder.h"
#include "ui/folderdroptarget.h"
#include "ui/progressbarsink.h"
#include "ui/resultlistview.h"

#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyleHints>
#include <QTreeView>

namespace {
class MainWindowSearchHost : public SearchRunHost
{
public:
    explicit MainWindowSearchHost(MainWindow& form) : m_form(form) {}
    QString buttonCaption() const override { return m_form.startButton()->text(); }
    void setButtonCaption(const QString& caption) override { m_form.startButton()->setText(caption); }
    int folderCount() const override { return m_form.folderModel()->rowCount(); }
    QString folderText(int row) const override { return m_form.folderModel()->item(row)->text(); }
    QByteArray folderNativePath(int row) const override
    {
        const QStandardItem* item = m_form.folderModel()->item(row);
        const QByteArray native = item->data(Qt::UserRole).toByteArray();
        return native.isEmpty() ? fromDisplay(item->text()) : native;
    }
    QString filterText() const override { return m_form.filterEdit()->text(); }
    QString lengthText() const override { return m_form.lengthEdit()->text(); }
    std::optional<Comparison> comparison() const override
    {
        return comparisonAt(m_form.comparisonCombo()->currentIndex());
    }
    void setProgressValue(int value) override { ProgressBarSink::setValueLater(m_form.progressBar(), value); }
    void setProgressText(const QString& text) override { m_form.progressBar()->setFormat(text); }
    void setFolderHeader(const QString& text) override
    {
        m_form.folderModel()->setHeaderData(0, Qt::Horizontal, text);
    }
    void setBusy(bool busy) override { m_form.pointer().set(busy ? Pointer::Busy : Pointer::Default); }
    ResultModel& results() override { return *m_form.resultModel(); }
    Dialogs& dialogs() override { return m_form.dialogs(); }
    ErrorBox& errorBox() override { return m_form.errorBox(); }
    ErrorLocation runLocation() const override
    {
        return {QStringLiteral("Form1"), QStringLiteral("PushButton1_Click")};
    }
    std::pair<ErrorLocation, int> walkFailurePlace() const override
    {
        return {{QStringLiteral("modSearch"), QStringLiteral("searchFiles")}, 112};
    }
    int doubleClickInterval() const override
    {
        return QGuiApplication::styleHints()->mouseDoubleClickInterval();
    }

private:
    MainWindow& m_form;
};
} // namespace

void MainWindow::setUpSearch()
{
    m_searchHost = std::make_unique<MainWindowSearchHost>(*this);
    m_search = std::make_unique<SearchRun>(*m_searchHost);
    connect(m_lengthEdit, &QLineEdit::textChanged, this, [this] {
        m_search->criteriaChanged();
        noteListCriteria();
    });
    connect(m_comparisonCombo, &QComboBox::currentIndexChanged, this, [this] {
        m_search->criteriaChanged();
        noteListCriteria();
    });
    m_folderDrop =
        new FolderDropTarget(m_folderList->viewport(), [this](const std::vector<DroppedFolder>& folders) {
            for (const DroppedFolder& folder : folders)
                addFolderRow(folder.text, folder.native);
        });
}

void MainWindow::addFolderRow(const QString& text, const QByteArray& native)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    if (!native.isEmpty() && native != fromDisplay(text))
        item->setData(native, Qt::UserRole);
    m_folders->appendRow(item);
}

void MainWindow::noteListCriteria()
{
    if (!m_search->active() || m_search->stopRequested())
        return;
    // The walk measures each file in the unit of the moment; a length being typed is not a unit yet.
    if (const std::optional<LengthCriterion> criterion = m_search->criterion())
        m_nameActions->setListCriterion(*criterion);
}

void MainWindow::onStartStopClicked()
{
    const bool wasActive = m_search->active();
    m_search->click();
    if (!wasActive && m_search->active())
        noteListCriteria();
}

void MainWindow::onAddFolderClicked()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton3_Click"));
    QString chosen;
    const CloseWatcher watcher(this, [] {});
    step(100, [&] {
        const QString start = readSetting(SettingsApp, SettingsSection, KeyLastFolderDot, QString());
        chosen = pickFolderFrom(*m_dialogs, m_pointer, start, watcher);
    });
    bool cancelled = true;
    step(102, [&] { cancelled = chosen.isEmpty(); });
    if (cancelled)
        return;
    step(104, [&] { m_pointer.set(Pointer::Busy); });
    step(106, [&] {
        const QString folder = collapseSeparators(chosen);
        addFolderRow(folder);
        // The next Add Folder opens where this one ended.
        storeSetting(SettingsApp, SettingsSection, KeyLastFolderDot, folder);
    });
    step(108, [&] { m_pointer.set(Pointer::Default); });
}

void MainWindow::onFolderListKeyDown(int keyCode)
{
    if (keyCode != Qt::Key_Delete || m_pointer.value() == Pointer::Busy || m_folders->rowCount() == 0)
        return;
    const QModelIndexList selected = m_folderList->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    m_folders->removeRow(selected.first().row());
}

void MainWindow::setUpSorting()
{
    m_sorter = new ResultSorter(*m_results, this);
    QHeaderView* header = m_resultList->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sectionClicked, this, &MainWindow::onResultHeaderClicked);
    connect(m_sorter, &ResultSorter::sorted, this, [this](int column, Qt::SortOrder order) {
        m_shownSort = m_askedSort = {column, order};
        showSortIndicator();
    });
    connect(m_sorter, &ResultSorter::sortDropped, this, [this] { m_askedSort = m_shownSort; });
    connect(m_search.get(), &SearchRun::runStarted, this, [this] {
        m_sorter->setWalkRunning(true);
        m_shownSort = m_askedSort = {};
        showSortIndicator();
    });
    connect(m_search.get(), &SearchRun::runEnded, this, [this] { m_sorter->setWalkRunning(false); });
}

void MainWindow::onResultHeaderClicked(int column)
{
    // The header turns its indicator round on every click by itself; it shows only an order the list has.
    showSortIndicator();
    const Qt::SortOrder order = m_askedSort.column == column && m_askedSort.order == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    if (m_sorter->sort(column, order))
        m_askedSort = {column, order};
}

void MainWindow::showSortIndicator()
{
    QHeaderView* header = m_resultList->horizontalHeader();
    header->setSortIndicator(m_shownSort.column, m_shownSort.order);
    header->setSortIndicatorShown(m_shownSort.column >= 0);
}
