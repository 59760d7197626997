// SPDX-License-Identifier: MIT
#pragma once

#include "app/fileoperationgate.h"
#include "app/pointer.h"
#include "services/errorbox.h"

#include <QHash>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QTreeView;
class Dialogs;
class FileActions;
class FolderDropTarget;
class NameActions;
class RandomSource;
class ResultListActions;
class ResultListChecking;
class ResultListView;
class ResultModel;
class ResultSorter;
class SearchRun;
class SearchRunHost;
class ShortenDialog;
class FixDialog;
class FixActions;
class TargetActions;
class TargetCheckDialog;

// What the window needs from outside; tests replace the parts that would need a person or a browser.
struct MainWindowServices
{
    Dialogs* dialogs = nullptr;     // none: real Qt dialogs
    RandomSource* random = nullptr; // none: the system's random numbers
    QString displayName = QStringLiteral("Lentrova Software");
    QString installFolder;            // empty: the folder of the program file
    std::function<void()> endProgram; // none: leave the event loop once the handler under way returns
    std::function<bool(ShortenDialog&)> shortenDialog;    // none: shown modally; true when applied
    std::function<bool(TargetCheckDialog&)> targetDialog; // none: shown modally; true when started
    std::function<bool(FixDialog&)> fixDialog;            // none: shown modally; true when applied
};

// The program's one window: its controls (listed once, in mainwindow.cpp) and handlers that hand the work to
// the search run and the area controllers. Every control keeps the object name it has always had
// ("PushButton1", "Text2", ...), and the error box names the handlers as it always did ("Form1.Form_Load").
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(MainWindowServices services = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up sequence: skin, cursor, home page draw, caption and title, columns, restored criteria.
    void load();

    QTreeView* folderList() const { return m_folderList; }
    ResultListView* resultList() const { return m_resultList; }
    QGroupBox* filterFrame() const { return m_filterFrame; }
    QGroupBox* lengthFrame() const { return m_lengthFrame; }
    QLineEdit* filterEdit() const { return m_filterEdit; }
    QLineEdit* lengthEdit() const { return m_lengthEdit; }
    QComboBox* comparisonCombo() const { return m_comparisonCombo; }
    QProgressBar* progressBar() const { return m_progressBar; }
    QPushButton* startButton() const { return m_startButton; }
    QPushButton* lengthHelpButton() const { return m_lengthHelpButton; }
    QPushButton* addFolderButton() const { return m_addFolderButton; }
    QPushButton* saveReportButton() const { return m_saveReportButton; }
    QPushButton* openFileButton() const { return m_openFileButton; }
    QPushButton* removeContainingButton() const { return m_removeContainingButton; }
    QPushButton* clearResultsButton() const { return m_clearResultsButton; }
    QPushButton* removeNotContainingButton() const { return m_removeNotContainingButton; }
    QPushButton* copyResultsButton() const { return m_copyResultsButton; }
    QPushButton* trashButton() const { return m_trashButton; }
    QPushButton* moveButton() const { return m_moveButton; }
    QPushButton* contactHelpButton() const { return m_contactHelpButton; }
    QPushButton* revealButton() const { return m_revealButton; }
    QPushButton* loadSamplesButton() const { return m_loadSamplesButton; }
    // Items of the result list's context menu that rename files.
    QAction* shortenNamesAction() const { return m_shortenNamesAction; }
    QAction* fixNamesAction() const { return m_fixNamesAction; }
    QAction* undoShorteningAction() const { return m_undoShorteningAction; }
    // "Check For A Target…": in both lists' context menus, and Ctrl+T anywhere in the window.
    QAction* targetCheckAction() const { return m_targetCheckAction; }

    QStandardItemModel* folderModel() const { return m_folders; }
    ResultModel* resultModel() const { return m_results; }
    PointerState& pointer() { return m_pointer; }
    ErrorBox& errorBox() { return m_errorBox; }
    Dialogs& dialogs() { return *m_dialogs; }
    SearchRun& searchRun() { return *m_search; }
    ResultSorter& resultSorter() { return *m_sorter; }
    FileActions& fileActions() { return *m_fileActions; }
    QByteArray installFolderNativePath() const;

    // The pointer moved over a control (or the window surface when the widget is the window itself).
    void pointerMovedOver(QWidget* widget);

public slots:
    void onFilterChanged();
    void onLengthChanged();
    void onStartStopClicked();
    void onAddFolderClicked();
    void onFolderListKeyDown(int keyCode);
    void onSaveReportClicked();
    void onCopyResultsClicked();
    void onRemoveContainingClicked();
    void onRemoveNotContainingClicked();
    void onOpenFileClicked();
    void onRevealClicked();
    void onClearResultsClicked();
    void onTrashClicked();
    void onMoveClicked();
    void onShortenNamesClicked();
    void onFixNamesClicked();
    void onUndoShorteningClicked();
    void onCheckForTargetClicked();
    void onLengthHelpClicked();
    void onContactHelpClicked();
    void onLoadSamplesClicked();
    // A click on a column heading of the result list: sorts by it, the other way round when it sorts already.
    void onResultHeaderClicked(int column);
    void endProgram();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class HoverRule { Surface, Button, StartButton };
    void buildControls();
    // Title, flags, size, font and palette; the palette, which the frames take too.
    QPalette setUpWindow();
    void buildLists();
    void buildCriteria(const QPalette& framePalette);
    void buildProgressBar();
    void nameUnlabelledControls();
    void buildButtons();
    void setFocusOrder();
    void watchHover(QWidget* widget, HoverRule rule);
    void setUpSearch();
    void setUpSorting();
    void showSortIndicator();
    void addRenameMenuItems();
    void setUpTargetCheck();
    void addFixMenuItem();
    // The search that fills the result list started, or its criteria changed while it runs.
    void noteListCriteria();
    // Adds one row to the folder list; native holds the folder's exact bytes where they are known.
    void addFolderRow(const QString& text, const QByteArray& native = QByteArray());

    // The table of controls names the members it fills.
    friend struct MainWindowControlTable;

    QTreeView* m_folderList = nullptr;
    ResultListView* m_resultList = nullptr;
    QGroupBox* m_filterFrame = nullptr;
    QGroupBox* m_lengthFrame = nullptr;
    QLineEdit* m_filterEdit = nullptr;
    QLineEdit* m_lengthEdit = nullptr;
    QComboBox* m_comparisonCombo = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_lengthHelpButton = nullptr;
    QPushButton* m_addFolderButton = nullptr;
    QPushButton* m_saveReportButton = nullptr;
    QPushButton* m_openFileButton = nullptr;
    QPushButton* m_removeContainingButton = nullptr;
    QPushButton* m_clearResultsButton = nullptr;
    QPushButton* m_removeNotContainingButton = nullptr;
    QPushButton* m_copyResultsButton = nullptr;
    QPushButton* m_trashButton = nullptr;
    QPushButton* m_moveButton = nullptr;
    QPushButton* m_contactHelpButton = nullptr;
    QPushButton* m_revealButton = nullptr;
    QPushButton* m_loadSamplesButton = nullptr;
    // Items of the result list's context menu that rename files.
    QAction* m_shortenNamesAction = nullptr;
    QAction* m_fixNamesAction = nullptr;
    QAction* m_undoShorteningAction = nullptr;
    // "Check For A Target…": in both lists' context menus, and Ctrl+T anywhere in the window.
    QAction* m_targetCheckAction = nullptr;

    MainWindowServices m_services;
    std::unique_ptr<Dialogs> m_ownDialogs;
    std::unique_ptr<RandomSource> m_ownRandom;
    Dialogs* m_dialogs = nullptr;
    RandomSource* m_random = nullptr;
    ErrorBox m_errorBox;
    PointerState m_pointer;
    QStandardItemModel* m_folders = nullptr;
    ResultModel* m_results = nullptr;
    QHash<QObject*, HoverRule> m_hoverRules;

    std::unique_ptr<SearchRunHost> m_searchHost;
    std::unique_ptr<SearchRun> m_search;
    FolderDropTarget* m_folderDrop = nullptr;
    ResultListChecking* m_checking = nullptr;
    ResultSorter* m_sorter = nullptr;
    // The order the list shows and the one last asked for (column -1: the walk's order).
    struct SortState
    {
        int column = -1;
        Qt::SortOrder order = Qt::AscendingOrder;
    };
    SortState m_shownSort;
    SortState m_askedSort;
    FileOperationGate m_fileOperations;
    std::unique_ptr<ResultListActions> m_resultActions;
    std::unique_ptr<FileActions> m_fileActions;
    std::unique_ptr<NameActions> m_nameActions;
    std::unique_ptr<TargetActions> m_targetActions;
    std::unique_ptr<FixActions> m_fixActions;
};
