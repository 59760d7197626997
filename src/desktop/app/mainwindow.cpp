// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"

#include "app/actionservices.h"
#include "app/fileactions.h"
#include "app/fixactions.h"
#include "app/nameactions.h"
#include "app/resultlistactions.h"
#include "app/searchrun.h"
#include "app/settingskeys.h"
#include "app/targetactions.h"
#include "extras/help.h"
#include "platform/files.h"
#include "platform/nativepath.h"
#include "results/resultmodel.h"
#include "search/lengthconv.h"
#include "search/lengthunit.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "services/settings.h"
#include "services/shell.h"
#include "ui/resultlistchecking.h"
#include "ui/resultlistview.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

#include <algorithm>

// Every control of the window, once: object name, caption or text, position in twips (the criteria inside
// their frames), place in the focus order (-1: takes no focus) and, for a button, its member and handler.
struct MainWindowControlTable
{
    struct Control
    {
        const char* objectName;
        const char* caption;
        int left, top, width, height;
        int tab;
        QPushButton* MainWindow::*button = nullptr;
        void (MainWindow::*clicked)() = nullptr;
    };
    static const Control controls[];
};

const MainWindowControlTable::Control MainWindowControlTable::controls[] = {
    {"ListView1", "", 120, 120, 7800, 1245, 1},
    {"PushButton3", "Add Folder To Search", 120, 1470, 7800, 405, 7, &MainWindow::m_addFolderButton,
     &MainWindow::onAddFolderClicked},
    {"PushButton12", "Help", 120, 1980, 3840, 405, 19, &MainWindow::m_contactHelpButton,
     &MainWindow::onContactHelpClicked},
    {"PushButton14", "Load Sample/Example Folders", 4080, 1980, 3840, 405, 20,
     &MainWindow::m_loadSamplesButton, &MainWindow::onLoadSamplesClicked},
    {"Frame1", "Filter (Retrieve Files That Contain These Characters)", 120, 2460, 7800, 800, -1},
    {"Text1", "", 240, 300, 7320, 345, 3},
    {"Frame2", "Length Of Filename (Including Period Characters)", 120, 3345, 7800, 800, -1},
    {"Combo1", "", 240, 300, 3435, 345, 6},
    {"Text2", "3", 3720, 300, 3825, 345, 5},
    {"PushButton1", "Start Finding", 120, 4260, 7800, 405, 8, &MainWindow::m_startButton,
     &MainWindow::onStartStopClicked},
    {"ProgressBar1", "Progress Bar", 120, 4780, 7800, 405, -1},
    {"ListView2", "", 8040, 135, 7800, 2490, 0},
    {"PushButton4", "Save Results As Text File", 8040, 2730, 3840, 405, 10, &MainWindow::m_saveReportButton,
     &MainWindow::onSaveReportClicked},
    {"PushButton7", "Clear Results", 12000, 2730, 3840, 405, 11, &MainWindow::m_clearResultsButton,
     &MainWindow::onClearResultsClicked},
    {"PushButton9", "Copy Results To Clipboard", 8040, 3240, 3840, 405, 16, &MainWindow::m_copyResultsButton,
     &MainWindow::onCopyResultsClicked},
    {"PushButton2", "Help", 12000, 3240, 3840, 405, 9, &MainWindow::m_lengthHelpButton,
     &MainWindow::onLengthHelpClicked},
    {"PushButton13", "Open Folder Containg File", 8040, 3750, 3840, 405, 12, &MainWindow::m_revealButton,
     &MainWindow::onRevealClicked},
    {"PushButton5", "Open Selected File ", 12000, 3750, 3840, 405, 13, &MainWindow::m_openFileButton,
     &MainWindow::onOpenFileClicked},
    {"PushButton6", "Remove Results Containing X", 8040, 4260, 3840, 405, 14,
     &MainWindow::m_removeContainingButton, &MainWindow::onRemoveContainingClicked},
    {"PushButton8", "Remove Results Not Cont. X", 12000, 4260, 3840, 405, 15,
     &MainWindow::m_removeNotContainingButton, &MainWindow::onRemoveNotContainingClicked},
    {"PushButton10", "Send Checked To Recycle Bin", 8040, 4770, 3840, 405, 17, &MainWindow::m_trashButton,
     &MainWindow::onTrashClicked},
    {"PushButton11", "Move To Folder", 12000, 4770, 3840, 405, 18, &MainWindow::m_moveButton,
     &MainWindow::onMoveClicked},
};

namespace {
// Positions are laid out in twips; 15 twips make a pixel.
int px(int twips)
{
    return qRound(twips / 15.0);
}

QFont arialBold(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

const QString ListTooltip = QStringLiteral(
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.");

using Control = MainWindowControlTable::Control;
const auto& Controls = MainWindowControlTable::controls;

const Control& control(const char* objectName)
{
    return *std::find_if(std::begin(Controls), std::end(Controls),
                         [&](const Control& c) { return qstrcmp(c.objectName, objectName) == 0; });
}

// Names the widget and puts it where the table says.
template <class W> W* place(W* widget, const char* objectName)
{
    const Control& c = control(objectName);
    widget->setObjectName(QLatin1String(c.objectName));
    widget->setGeometry(px(c.left), px(c.top), px(c.width), px(c.height));
    return widget;
}

QString captionOf(const char* objectName)
{
    return QString::fromUtf8(control(objectName).caption);
}

Dialogs* chooseDialogs(MainWindowServices& services, std::unique_ptr<Dialogs>& own, QWidget* window)
{
    if (services.dialogs)
        return services.dialogs;
    own = std::make_unique<QtDialogs>(window);
    return own.get();
}

// A file the start-up needs; a failure goes to the statement's Guard.
QByteArray contentOrThrow(const QByteArray& path)
{
    const ReadResult read = readFileNative(path);
    return read.error.isEmpty() ? read.bytes : throw AppError(read.error);
}
} // namespace

MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)),
      m_dialogs(chooseDialogs(m_services, m_ownDialogs, this)), m_errorBox(*m_dialogs), m_pointer(this),
      m_fileOperations(!m_services.endProgram)
{
    if (!m_services.random)
        m_ownRandom = std::make_unique<SystemRandom>();
    m_random = m_services.random ? m_services.random : m_ownRandom.get();
    buildControls();
    const ActionServices actions{*m_dialogs,    m_errorBox,     m_pointer, *m_results,
                                 *m_resultList, *m_progressBar, *this,     m_fileOperations};
    m_resultActions = std::make_unique<ResultListActions>(actions);
    m_fileActions = std::make_unique<FileActions>(actions);
    m_nameActions = std::make_unique<NameActions>(actions, m_services.shortenDialog);
    addRenameMenuItems();
    setUpSearch();
    setUpSorting();
    m_targetActions = std::make_unique<TargetActions>(actions, *m_search, m_services.targetDialog);
    setUpTargetCheck();
    m_fixActions = std::make_unique<FixActions>(actions, *m_search, m_services.fixDialog);
    addFixMenuItem();
}

MainWindow::~MainWindow() = default;

QByteArray MainWindow::installFolderNativePath() const
{
    return m_services.installFolder.isEmpty() ? installFolderNative() : fromDisplay(m_services.installFolder);
}

void MainWindow::buildControls()
{
    const QPalette framePalette = setUpWindow();
    buildLists();
    buildCriteria(framePalette);
    buildProgressBar();
    nameUnlabelledControls();
    buildButtons();
    setFocusOrder();
    connect(m_filterEdit, &QLineEdit::textChanged, this, &MainWindow::onFilterChanged);
    connect(m_lengthEdit, &QLineEdit::textChanged, this, &MainWindow::onLengthChanged);
}

QPalette MainWindow::setUpWindow()
{
    setWindowTitle(QStringLiteral("Form1"));
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(15960), px(5310));
    setFont(arialBold(9));
    // White under a light palette, as the window has always been; the palette's own field colour under a dark
    // one, where its light captions would vanish on white.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    setPalette(pal);
    setAutoFillBackground(true);
    setMouseTracking(true);
    return pal;
}

void MainWindow::buildLists()
{
    m_folders = new QStandardItemModel(0, 1, this);
    m_folderList = place(new QTreeView(this), "ListView1");
    m_folderList->setModel(m_folders);
    m_folderList->setRootIsDecorated(false);
    m_folderList->setUniformRowHeights(true);
    m_folderList->setItemsExpandable(false);
    m_folderList->setAllColumnsShowFocus(true);
    m_folderList->header()->setStretchLastSection(false);
    m_folderList->header()->setSectionsMovable(false);

    m_results = new ResultModel(this);
    m_resultList = place(new ResultListView(this), "ListView2");
    m_resultList->setModel(m_results);
    m_resultList->verticalHeader()->setDefaultSectionSize(QFontMetrics(arialBold(9)).height() + 4);
    m_checking = new ResultListChecking(m_resultList, m_results);

    for (QAbstractItemView* list : std::initializer_list<QAbstractItemView*>{m_folderList, m_resultList}) {
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // A long path loses its middle, not the file name at its end; the model's tooltip shows it whole.
        list->setTextElideMode(Qt::ElideMiddle);
        list->setFont(arialBold(9));
        list->setToolTip(ListTooltip);
        list->setMouseTracking(true);
        list->viewport()->setMouseTracking(true);
        watchHover(list, HoverRule::Surface);
        watchHover(list->viewport(), HoverRule::Surface);
    }
    m_folderList->installEventFilter(this);
}

void MainWindow::buildCriteria(const QPalette& framePalette)
{
    m_filterFrame = place(new QGroupBox(captionOf("Frame1"), this), "Frame1");
    m_filterEdit = place(new QLineEdit(captionOf("Text1"), m_filterFrame), "Text1");
    m_lengthFrame = place(new QGroupBox(captionOf("Frame2"), this), "Frame2");
    m_comparisonCombo = place(new QComboBox(m_lengthFrame), "Combo1");
    m_lengthEdit = place(new QLineEdit(captionOf("Text2"), m_lengthFrame), "Text2");
    m_lengthEdit->setToolTip(lengthFormsHelp());
    for (QGroupBox* frame : {m_filterFrame, m_lengthFrame}) {
        frame->setAutoFillBackground(true);
        frame->setPalette(framePalette);
        frame->setMouseTracking(true);
        watchHover(frame, HoverRule::Surface);
    }
    for (QLineEdit* text : {m_filterEdit, m_lengthEdit}) {
        text->setMouseTracking(true);
        watchHover(text, HoverRule::Surface);
    }
}

void MainWindow::buildProgressBar()
{
    m_progressBar = place(new QProgressBar(this), "ProgressBar1");
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(true);
    m_progressBar->setFormat(captionOf("ProgressBar1"));
    m_progressBar->setAlignment(Qt::AlignCenter);
}

// Screen readers name a control by its label, and these three have none that Qt can find: they take the
// heading of their first column, or the text the bar shows at rest.
void MainWindow::nameUnlabelledControls()
{
    m_folderList->setAccessibleName(QStringLiteral("Folder(s)"));
    m_resultList->setAccessibleName(m_results->headerData(0, Qt::Horizontal).toString());
    m_progressBar->setAccessibleName(captionOf("ProgressBar1"));
}

void MainWindow::buildButtons()
{
    for (const Control& c : Controls) {
        if (!c.button)
            continue;
        QPushButton* button = place(new QPushButton(QString::fromUtf8(c.caption), this), c.objectName);
        button->setFont(arialBold(11.25));
        watchHover(button, HoverRule::Button);
        connect(button, &QPushButton::clicked, this, c.clicked);
        this->*c.button = button;
    }
    // The Start button stays usable as Stop while the pointer shows busy.
    m_hoverRules[m_startButton] = HoverRule::StartButton;
}

// Focus order as the table gives it.
void MainWindow::setFocusOrder()
{
    std::vector<const Control*> order;
    for (const Control& c : Controls)
        if (c.tab >= 0)
            order.push_back(&c);
    std::sort(order.begin(), order.end(), [](const Control* a, const Control* b) { return a->tab < b->tab; });
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        setTabOrder(findChild<QWidget*>(QLatin1String(order[i]->objectName)),
                    findChild<QWidget*>(QLatin1String(order[i + 1]->objectName)));
    m_resultList->setFocus();
}

void MainWindow::load()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    const QByteArray folder = installFolderNativePath();

    step(100, [&] {
        const QByteArray skinPath = folder + "/x/o.cjs";
        if (!isFileFollowingLinks(skinPath))
            return;
        const QColor face = palette().color(QPalette::Button);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, face);
        setPalette(pal);
        for (QGroupBox* frame : {m_filterFrame, m_lengthFrame}) {
            QPalette framePal = frame->palette();
            framePal.setColor(QPalette::Window, face);
            frame->setPalette(framePal);
        }
        setStyleSheet(QString::fromUtf8(contentOrThrow(skinPath)));
    });

    bool haveCursor = false;
    step(104, [&] { haveCursor = existsFollowingLinks(folder + "/HAND-M.CUR"); });
    if (haveCursor)
        step(106, [&] { m_pointer.setCustomCursor(loadCursorData(contentOrThrow(folder + "/HAND-M.CUR"))); });

    step(108, [&] {
        if (m_random->draw1to100() == 7)
            Shell::open(QUrl(homePageAddress()));
    });

    step(126, [&] {
        setWindowTitle(m_services.displayName);
        setWindowIcon(QIcon(folder + QStringLiteral("/lentrova.png")));
        setApplicationTitle(m_services.displayName);
        setApplicationTitle(cutApplicationTitle(m_services.displayName));
    });

    step(128, [&] { m_folders->setHorizontalHeaderLabels({QStringLiteral("Folder(s)")}); });
    step(130, [&] { m_folderList->setColumnWidth(0, px(7000)); });
    // The result list's two columns come with its model; only their widths are set here.
    step(136, [&] { m_resultList->setColumnWidth(0, px(6000)); });
    step(138, [&] { m_resultList->setColumnWidth(1, px(1200)); });

    step(140, [&] { m_comparisonCombo->addItem(QStringLiteral("Equal To")); });
    step(142, [&] { m_comparisonCombo->addItem(QStringLiteral("Greater Than")); });
    step(144, [&] { m_comparisonCombo->addItem(QStringLiteral("Less Than")); });
    m_comparisonCombo->setCurrentIndex(-1); // a list fills without choosing an item

    step(146,
         [&] { m_filterEdit->setText(readSetting(SettingsApp, SettingsSection, KeyFilter, QString())); });
    step(148, [&] { m_lengthEdit->setText(readSetting(SettingsApp, SettingsSection, KeyLength, 3)); });
    step(150, [&] {
        const auto index = convertToInt16(readSetting(SettingsApp, SettingsSection, KeyCombo, 0));
        if (!index)
            throw AppError(QStringLiteral("Type mismatch"));
        if (*index < 0 || *index >= m_comparisonCombo->count())
            throw AppError(QStringLiteral("Invalid property value"));
        m_comparisonCombo->setCurrentIndex(*index);
    });
}

void MainWindow::onFilterChanged()
{
    storeSetting(SettingsApp, SettingsSection, KeyFilter, m_filterEdit->text());
}

void MainWindow::onLengthChanged()
{
    storeSetting(SettingsApp, SettingsSection, KeyLength, m_lengthEdit->text());
}
