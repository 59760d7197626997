// SPDX-License-Identifier: MIT
#pragma once

#include "app/pointer.h"
#include "platform/errorbox.h"

#include <QHash>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QTableView;
class ResultListView;
class QTreeView;
class Dialogs;
class RandomSource;
class ResultListChecking;
class ResultModel;
class SearchRun;
class SearchRunHost;
class FolderDropTarget;

// What the window needs from outside; tests replace the parts that would need a person or a browser.
struct MainWindowServices
{
    Dialogs* dialogs = nullptr;      // none: real Qt dialogs
    RandomSource* random = nullptr;  // none: the system's random numbers
    QString displayName = QStringLiteral("Lentrova Software");
    QString installFolder;           // empty: the folder of the program file
    std::function<void()> endProgram; // none: leave the event loop
};

// The program's one window. Handlers carry the names under which the error box reports them.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(MainWindowServices services = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up sequence: skin, cursor, home page draw, caption and title, columns, restored criteria.
    void load();

    // Controls, named as the window defines them.
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

    QStandardItemModel* folderModel() const { return m_folders; }
    ResultModel* resultModel() const { return m_results; }
    PointerState& pointer() { return m_pointer; }
    ErrorBox& errorBox() { return m_errorBox; }
    Dialogs& dialogs() { return *m_dialogs; }
    QString installFolderPath() const;
    QByteArray installFolderNativePath() const;

    // The pointer moved over a control (or the window surface when the widget is the window itself).
    void pointerMovedOver(QWidget* widget);

public slots:
    void onFilterChanged();
    void onLengthChanged();
    void onStartStopClicked();
    void onLengthHelpClicked();
    void onAddFolderClicked();
    void onSaveReportClicked();
    void onOpenFileClicked();
    void onRemoveContainingClicked();
    void onClearResultsClicked();
    void onRemoveNotContainingClicked();
    void onCopyResultsClicked();
    void onTrashClicked();
    void onMoveClicked();
    void onContactHelpClicked();
    void onRevealClicked();
    void onLoadSamplesClicked();
    void onFolderListKeyDown(int keyCode);
    void endProgram();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class HoverRule { Surface, Button, StartButton };
    void buildControls();
    void watchHover(QWidget* widget, HoverRule rule);
    QPushButton* makeButton(const QString& caption, int left, int top, int width, int height);

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

    // --- search run and folder list state ---
public:
    SearchRun& searchRun() { return *m_search; }

private:
    void setUpSearch();
    // Adds one row to the folder list; native holds the folder's exact bytes where they are known.
    void addFolderRow(const QString& text, const QByteArray& native = QByteArray());
    std::unique_ptr<SearchRunHost> m_searchHost;
    std::unique_ptr<SearchRun> m_search;
    FolderDropTarget* m_folderDrop = nullptr;

    // --- result list operation state ---
    void setUpResultList();
    QString m_lastReportPath; // where the save dialog starts; kept for this run only
    ResultListChecking* m_checking = nullptr;
    // These handlers yield; a second click while one runs is ignored.
    bool m_writingReport = false;
    bool m_copyingResults = false;
    bool m_pruning = false;

    // --- file operation state ---
    bool m_fileOpRunning = false; // the trash and move handlers yield, so a second click could arrive
    QString m_lastMoveFolder;     // the folder the move last went to, as the picker returned it
};
