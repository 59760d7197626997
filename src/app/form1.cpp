// SPDX-License-Identifier: MIT
#include "app/form1.h"

#include "app/apptitle.h"
#include "app/settingskeys.h"
#include "extras/help.h"
#include "platform/apptitle.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "results/resultlistview.h"
#include "results/resultmodel.h"
#include "search/lengthconv.h"
#include "search/searchrun.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QTreeView>

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

const QString ListTooltip =
    QStringLiteral("Double-click item to remove it. Move | line to right and out of window to reveal full names.");

Dialogs* chooseDialogs(MainWindowServices& services, std::unique_ptr<Dialogs>& own, QWidget* window)
{
    if (services.dialogs)
        return services.dialogs;
    own = std::make_unique<QtDialogs>(window);
    return own.get();
}
} // namespace

MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)),
      m_dialogs(chooseDialogs(m_services, m_ownDialogs, this)), m_errorBox(*m_dialogs), m_pointer(this)
{
    if (m_services.random) {
        m_random = m_services.random;
    } else {
        m_ownRandom = std::make_unique<SystemRandom>();
        m_random = m_ownRandom.get();
    }
    buildControls();
    setUpSearch();
}

MainWindow::~MainWindow() = default;

QString MainWindow::installFolderPath() const
{
    return m_services.installFolder.isEmpty() ? installFolder() : m_services.installFolder;
}

QByteArray MainWindow::installFolderNativePath() const
{
    return m_services.installFolder.isEmpty() ? installFolderNative() : QFile::encodeName(m_services.installFolder);
}

QPushButton* MainWindow::makeButton(const QString& caption, int left, int top, int width, int height)
{
    auto* button = new QPushButton(caption, this);
    button->setGeometry(px(left), px(top), px(width), px(height));
    button->setFont(arialBold(11.25));
    watchHover(button, HoverRule::Button);
    return button;
}

void MainWindow::buildControls()
{
    setWindowTitle(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(15960), px(5310));
    setFont(arialBold(9));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setMouseTracking(true);

    m_folders = new QStandardItemModel(0, 1, this);
    folderList = new QTreeView(this);
    folderList->setGeometry(px(120), px(120), px(7800), px(1245));
    folderList->setModel(m_folders);

    m_results = new ResultModel(this);
    resultList = new ResultListView(this);
    resultList->setGeometry(px(8040), px(135), px(7800), px(2490));
    resultList->setModel(m_results);
    resultList->verticalHeader()->setDefaultSectionSize(QFontMetrics(arialBold(9)).height() + 4);
    setUpResultList();

    folderList->setRootIsDecorated(false);
    folderList->setUniformRowHeights(true);
    folderList->setItemsExpandable(false);
    folderList->setAllColumnsShowFocus(true);
    folderList->header()->setStretchLastSection(false);
    folderList->header()->setSectionsMovable(false);
    for (QAbstractItemView* list : std::initializer_list<QAbstractItemView*>{folderList, resultList}) {
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->setFont(arialBold(9));
        list->setToolTip(ListTooltip);
        list->setMouseTracking(true);
        list->viewport()->setMouseTracking(true);
        watchHover(list, HoverRule::Surface);
        watchHover(list->viewport(), HoverRule::Surface);
    }
    folderList->installEventFilter(this);

    addFolderButton = makeButton(QStringLiteral("Add Folder To Search"), 120, 1470, 7800, 405);
    contactHelpButton = makeButton(QStringLiteral("Help"), 120, 1980, 3840, 405);
    loadSamplesButton = makeButton(QStringLiteral("Load Sample/Example Folders"), 4080, 1980, 3840, 405);

    filterFrame = new QGroupBox(QStringLiteral("Filter (Retrieve Files That Contain These Characters)"), this);
    filterFrame->setGeometry(px(120), px(2460), px(7800), px(800));
    filterEdit = new QLineEdit(filterFrame);
    filterEdit->setGeometry(px(240), px(300), px(7320), px(345));

    lengthFrame = new QGroupBox(QStringLiteral("Length Of Filename (Including Period Characters)"), this);
    lengthFrame->setGeometry(px(120), px(3345), px(7800), px(800));
    comparisonCombo = new QComboBox(lengthFrame);
    comparisonCombo->setGeometry(px(240), px(300), px(3435), px(345));
    lengthEdit = new QLineEdit(QStringLiteral("3"), lengthFrame);
    lengthEdit->setGeometry(px(3720), px(300), px(3825), px(345));

    for (QGroupBox* frame : {filterFrame, lengthFrame}) {
        frame->setAutoFillBackground(true);
        frame->setPalette(pal);
        frame->setMouseTracking(true);
        watchHover(frame, HoverRule::Surface);
    }
    for (QLineEdit* text : {filterEdit, lengthEdit}) {
        text->setMouseTracking(true);
        watchHover(text, HoverRule::Surface);
    }

    startButton = makeButton(QStringLiteral("Start Finding"), 120, 4260, 7800, 405);
    m_hoverRules[startButton] = HoverRule::StartButton;

    progressBar = new QProgressBar(this);
    progressBar->setGeometry(px(120), px(4780), px(7800), px(405));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(true);
    progressBar->setFormat(QStringLiteral("Progress Bar"));
    progressBar->setAlignment(Qt::AlignCenter);

    saveReportButton = makeButton(QStringLiteral("Save Results As Text File"), 8040, 2730, 3840, 405);
    clearResultsButton = makeButton(QStringLiteral("Clear Results"), 12000, 2730, 3840, 405);
    copyResultsButton = makeButton(QStringLiteral("Copy Results To Clipboard"), 8040, 3240, 3840, 405);
    lengthHelpButton = makeButton(QStringLiteral("Help"), 12000, 3240, 3840, 405);
    revealButton = makeButton(QStringLiteral("Open Folder Containg File"), 8040, 3750, 3840, 405);
    openFileButton = makeButton(QStringLiteral("Open Selected File "), 12000, 3750, 3840, 405);
    removeContainingButton = makeButton(QStringLiteral("Remove Results Containing X"), 8040, 4260, 3840, 405);
    removeNotContainingButton = makeButton(QStringLiteral("Remove Results Not Cont. X"), 12000, 4260, 3840, 405);
    trashButton = makeButton(QStringLiteral("Send Checked To Recycle Bin"), 8040, 4770, 3840, 405);
    moveButton = makeButton(QStringLiteral("Move To Folder"), 12000, 4770, 3840, 405);

    // Focus order as designed; the frames and the bar take no focus.
    const QList<QWidget*> order = {resultList,    folderList,    filterEdit,       lengthEdit,       comparisonCombo,
                                   addFolderButton,  startButton,  lengthHelpButton, saveReportButton, clearResultsButton,
                                   revealButton, openFileButton,  removeContainingButton, removeNotContainingButton, copyResultsButton,
                                   trashButton, moveButton, contactHelpButton, loadSamplesButton};
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    resultList->setFocus();

    connect(filterEdit, &QLineEdit::textChanged, this, &MainWindow::onFilterChanged);
    connect(lengthEdit, &QLineEdit::textChanged, this, &MainWindow::onLengthChanged);
    const QList<std::pair<QPushButton*, void (MainWindow::*)()>> clicks = {
        {startButton, &MainWindow::onStartStopClicked},   {lengthHelpButton, &MainWindow::onLengthHelpClicked},
        {addFolderButton, &MainWindow::onAddFolderClicked},   {saveReportButton, &MainWindow::onSaveReportClicked},
        {openFileButton, &MainWindow::onOpenFileClicked},   {removeContainingButton, &MainWindow::onRemoveContainingClicked},
        {clearResultsButton, &MainWindow::onClearResultsClicked},   {removeNotContainingButton, &MainWindow::onRemoveNotContainingClicked},
        {copyResultsButton, &MainWindow::onCopyResultsClicked},   {trashButton, &MainWindow::onTrashClicked},
        {moveButton, &MainWindow::onMoveClicked}, {contactHelpButton, &MainWindow::onContactHelpClicked},
        {revealButton, &MainWindow::onRevealClicked}, {loadSamplesButton, &MainWindow::onLoadSamplesClicked}};
    for (const auto& [button, handler] : clicks)
        connect(button, &QPushButton::clicked, this, handler);
}

void MainWindow::load()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    const QByteArray folder = installFolderNativePath();

    step(100, [&] {
        const QByteArray skinPath = folder + "/x/o.cjs";
        if (!isFileNative(skinPath))
            return;
        const QColor face = palette().color(QPalette::Button);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, face);
        setPalette(pal);
        for (QGroupBox* frame : {filterFrame, lengthFrame}) {
            QPalette framePal = frame->palette();
            framePal.setColor(QPalette::Window, face);
            frame->setPalette(framePal);
        }
        setStyleSheet(QString::fromUtf8(readFileNative(skinPath)));
    });

    bool haveCursor = false;
    step(104, [&] { haveCursor = fileExistsNative(folder + "/HAND-M.CUR"); });
    if (haveCursor)
        step(106, [&] { m_pointer.setCustomCursor(loadCursorData(readFileNative(folder + "/HAND-M.CUR"))); });

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
    step(130, [&] { folderList->setColumnWidth(0, px(7000)); });
    // The result list's two columns come with its model; only their widths are set here.
    step(136, [&] { resultList->setColumnWidth(0, px(6000)); });
    step(138, [&] { resultList->setColumnWidth(1, px(1200)); });

    step(140, [&] { comparisonCombo->addItem(QStringLiteral("Equal To")); });
    step(142, [&] { comparisonCombo->addItem(QStringLiteral("Greater Than")); });
    step(144, [&] { comparisonCombo->addItem(QStringLiteral("Less Than")); });
    comparisonCombo->setCurrentIndex(-1); // a list fills without choosing an item

    step(146, [&] { filterEdit->setText(readSetting(SettingsApp, SettingsSection, KeyFilter, QString())); });
    step(148, [&] { lengthEdit->setText(readSetting(SettingsApp, SettingsSection, KeyLength, 3)); });
    step(150, [&] {
        const auto index = convertToInt16(readSetting(SettingsApp, SettingsSection, KeyCombo, 0));
        if (!index)
            throw AppError(QStringLiteral("Type mismatch"));
        if (*index < 0 || *index >= comparisonCombo->count())
            throw AppError(QStringLiteral("Invalid property value"));
        comparisonCombo->setCurrentIndex(*index);
    });
}

void MainWindow::onFilterChanged()
{
    storeSetting(SettingsApp, SettingsSection, KeyFilter, filterEdit->text());
}

void MainWindow::onLengthChanged()
{
    storeSetting(SettingsApp, SettingsSection, KeyLength, lengthEdit->text());
}

void MainWindow::watchHover(QWidget* widget, HoverRule rule)
{
    m_hoverRules[widget] = rule;
    widget->installEventFilter(this);
}

void MainWindow::pointerMovedOver(QWidget* widget)
{
    HoverRule rule = HoverRule::Surface;
    if (widget != this) {
        const auto it = m_hoverRules.constFind(widget);
        if (it == m_hoverRules.constEnd())
            return; // the combo box and the progress bar keep whatever pointer they found
        rule = *it;
    }
    switch (rule) {
    case HoverRule::Surface:
        if (m_pointer.value() != Pointer::Busy)
            m_pointer.set(Pointer::Default);
        break;
    case HoverRule::Button:
        if (m_pointer.value() != Pointer::Busy)
            m_pointer.set(Pointer::Hand);
        break;
    case HoverRule::StartButton:
        m_pointer.set(Pointer::Hand);
        break;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && m_hoverRules.contains(widget))
            pointerMovedOver(widget);
    } else if (watched == folderList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            onFolderListKeyDown(46);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    pointerMovedOver(this);
    QWidget::mouseMoveEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    endProgram();
}

void MainWindow::endProgram()
{
    if (m_services.endProgram)
        m_services.endProgram();
    else
        QCoreApplication::quit();
}
