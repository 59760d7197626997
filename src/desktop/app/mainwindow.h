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

    QTreeView* folderList = nullptr;
    ResultListView* resultList = nullptr;
    QGroupBox* filterFrame = nullptr;
    QGroupBox* lengthFrame = nullptr;
    QLineEdit* filterEdit = nullptr;
    QLineEdit* lengthEdit = nullptr;
    QComboBox* comparisonCombo = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* lengthHelpButton = nullptr;
    QPushButton* addFolderButton = nullptr;
    QPushButton* saveReportButton = nullptr;
    QPushButton* openFileButton = nullptr;
    QPushButton* removeContainingButton = nullptr;
    QPushButton* clearResultsButton = nullptr;
    QPushButton* removeNotContainingButton = nullptr;
    QPushButton* copyResultsButton = nullptr;
    QPushButton* trashButton = nullptr;
    QPushButton* moveButton = nullptr;
    QPushButton* contactHelpButton = nullptr;
    QPushButton* revealButton = nullptr;
    QPushButton* loadSamplesButton = nullptr;
    // Items of the result list's context menu that rename files.
    QAction* shortenNamesAction = nullptr;
    QAction* fixNamesAction = nullptr;
    QAction* undoShorteningAction = nullptr;
    // "Check For A Target…": in both lists' context menus, and Ctrl+T anywhere in the window.
    QAction* targetCheckAction = nullptr;

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
