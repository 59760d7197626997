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
struct Form1Services
{
    Dialogs* dialogs = nullptr;      // none: real Qt dialogs
    RandomSource* random = nullptr;  // none: the system's random numbers
    QString displayName = QStringLiteral("Lentrova Software");
    QString installFolder;           // empty: the folder of the program file
    std::function<void()> endProgram; // none: leave the event loop
};

// The program's one window. Handlers carry the names under which the error box reports them.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(Form1Services services = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up sequence: skin, cursor, home page draw, caption and title, columns, restored criteria.
    void Form_Load();

    // Controls, named as the window defines them.
    QTreeView* ListView1 = nullptr;
    ResultListView* ListView2 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QComboBox* Combo1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QPushButton* PushButton9 = nullptr;
    QPushButton* PushButton10 = nullptr;
    QPushButton* PushButton11 = nullptr;
    QPushButton* PushButton12 = nullptr;
    QPushButton* PushButton13 = nullptr;
    QPushButton* PushButton14 = nullptr;

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
    void Text1_Change();
    void Text2_Change();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void PushButton9_Click();
    void PushButton10_Click();
    void PushButton11_Click();
    void PushButton12_Click();
    void PushButton13_Click();
    void PushButton14_Click();
    void ListView1_KeyDown(int keyCode);
    void Form_Unload();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class HoverRule { Surface, Button, StartButton };
    void buildControls();
    void watchHover(QWidget* widget, HoverRule rule);
    QPushButton* makeButton(const QString& caption, int left, int top, int width, int height);

    Form1Services m_services;
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
