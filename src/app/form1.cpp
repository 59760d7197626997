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

Dialogs* chooseDialogs(Form1Services& services, std::unique_ptr<Dialogs>& own, QWidget* window)
{
    if (services.dialogs)
        return services.dialogs;
    own = std::make_unique<QtDialogs>(window);
    return own.get();
}
} // namespace

Form1::Form1(Form1Services services, QWidget* parent)
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

Form1::~Form1() = default;

QString Form1::installFolderPath() const
{
    return m_services.installFolder.isEmpty() ? installFolder() : m_services.installFolder;
}

QByteArray Form1::installFolderNativePath() const
{
    return m_services.installFolder.isEmpty() ? installFolderNative() : QFile::encodeName(m_services.installFolder);
}

QPushButton* Form1::makeButton(const QString& caption, int left, int top, int width, int height)
{
    auto* button = new QPushButton(caption, this);
    button->setGeometry(px(left), px(top), px(width), px(height));
    button->setFont(arialBold(11.25));
    watchHover(button, HoverRule::Button);
    return button;
}

void Form1::buildControls()
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
    ListView1 = new QTreeView(this);
    ListView1->setGeometry(px(120), px(120), px(7800), px(1245));
    ListView1->setModel(m_folders);

    m_results = new ResultModel(this);
    ListView2 = new ResultListView(this);
    ListView2->setGeometry(px(8040), px(135), px(7800), px(2490));
    ListView2->setModel(m_results);
    ListView2->verticalHeader()->setDefaultSectionSize(QFontMetrics(arialBold(9)).height() + 4);
    setUpResultList();

    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setItemsExpandable(false);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    for (QAbstractItemView* list : std::initializer_list<QAbstractItemView*>{ListView1, ListView2}) {
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->setFont(arialBold(9));
        list->setToolTip(ListTooltip);
        list->setMouseTracking(true);
        list->viewport()->setMouseTracking(true);
        watchHover(list, HoverRule::Surface);
        watchHover(list->viewport(), HoverRule::Surface);
    }
    ListView1->installEventFilter(this);

    PushButton3 = makeButton(QStringLiteral("Add Folder To Search"), 120, 1470, 7800, 405);
    PushButton12 = makeButton(QStringLiteral("Help"), 120, 1980, 3840, 405);
    PushButton14 = makeButton(QStringLiteral("Load Sample/Example Folders"), 4080, 1980, 3840, 405);

    Frame1 = new QGroupBox(QStringLiteral("Filter (Retrieve Files That Contain These Characters)"), this);
    Frame1->setGeometry(px(120), px(2460), px(7800), px(800));
    Text1 = new QLineEdit(Frame1);
    Text1->setGeometry(px(240), px(300), px(7320), px(345));

    Frame2 = new QGroupBox(QStringLiteral("Length Of Filename (Including Period Characters)"), this);
    Frame2->setGeometry(px(120), px(3345), px(7800), px(800));
    Combo1 = new QComboBox(Frame2);
    Combo1->setGeometry(px(240), px(300), px(3435), px(345));
    Text2 = new QLineEdit(QStringLiteral("3"), Frame2);
    Text2->setGeometry(px(3720), px(300), px(3825), px(345));

    for (QGroupBox* frame : {Frame1, Frame2}) {
        frame->setAutoFillBackground(true);
        frame->setPalette(pal);
        frame->setMouseTracking(true);
        watchHover(frame, HoverRule::Surface);
    }
    for (QLineEdit* text : {Text1, Text2}) {
        text->setMouseTracking(true);
        watchHover(text, HoverRule::Surface);
    }

    PushButton1 = makeButton(QStringLiteral("Start Finding"), 120, 4260, 7800, 405);
    m_hoverRules[PushButton1] = HoverRule::StartButton;

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(px(120), px(4780), px(7800), px(405));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setFormat(QStringLiteral("Progress Bar"));
    ProgressBar1->setAlignment(Qt::AlignCenter);

    PushButton4 = makeButton(QStringLiteral("Save Results As Text File"), 8040, 2730, 3840, 405);
    PushButton7 = makeButton(QStringLiteral("Clear Results"), 12000, 2730, 3840, 405);
    PushButton9 = makeButton(QStringLiteral("Copy Results To Clipboard"), 8040, 3240, 3840, 405);
    PushButton2 = makeButton(QStringLiteral("Help"), 12000, 3240, 3840, 405);
    PushButton13 = makeButton(QStringLiteral("Open Folder Containg File"), 8040, 3750, 3840, 405);
    PushButton5 = makeButton(QStringLiteral("Open Selected File "), 12000, 3750, 3840, 405);
    PushButton6 = makeButton(QStringLiteral("Remove Results Containing X"), 8040, 4260, 3840, 405);
    PushButton8 = makeButton(QStringLiteral("Remove Results Not Cont. X"), 12000, 4260, 3840, 405);
    PushButton10 = makeButton(QStringLiteral("Send Checked To Recycle Bin"), 8040, 4770, 3840, 405);
    PushButton11 = makeButton(QStringLiteral("Move To Folder"), 12000, 4770, 3840, 405);

    // Focus order as designed; the frames and the bar take no focus.
    const QList<QWidget*> order = {ListView2,    ListView1,    Text1,       Text2,       Combo1,
                                   PushButton3,  PushButton1,  PushButton2, PushButton4, PushButton7,
                                   PushButton13, PushButton5,  PushButton6, PushButton8, PushButton9,
                                   PushButton10, PushButton11, PushButton12, PushButton14};
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    ListView2->setFocus();

    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    const QList<std::pair<QPushButton*, void (Form1::*)()>> clicks = {
        {PushButton1, &Form1::PushButton1_Click},   {PushButton2, &Form1::PushButton2_Click},
        {PushButton3, &Form1::PushButton3_Click},   {PushButton4, &Form1::PushButton4_Click},
        {PushButton5, &Form1::PushButton5_Click},   {PushButton6, &Form1::PushButton6_Click},
        {PushButton7, &Form1::PushButton7_Click},   {PushButton8, &Form1::PushButton8_Click},
        {PushButton9, &Form1::PushButton9_Click},   {PushButton10, &Form1::PushButton10_Click},
        {PushButton11, &Form1::PushButton11_Click}, {PushButton12, &Form1::PushButton12_Click},
        {PushButton13, &Form1::PushButton13_Click}, {PushButton14, &Form1::PushButton14_Click}};
    for (const auto& [button, handler] : clicks)
        connect(button, &QPushButton::clicked, this, handler);
}

void Form1::Form_Load()
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
        for (QGroupBox* frame : {Frame1, Frame2}) {
            QPalette framePal = frame->palette();
            framePal.setColor(QPalette::Window, face);
            frame->setPalette(framePal);
        }
        setStyleSheet(QString::fromUtf8(readFileNative(skinPath)));
    });

    bool haveCursor = false;
    step(104, [&] { haveCursor = FileExistsNative(folder + "/HAND-M.CUR"); });
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
    step(130, [&] { ListView1->setColumnWidth(0, px(7000)); });
    // The result list's two columns come with its model; only their widths are set here.
    step(136, [&] { ListView2->setColumnWidth(0, px(6000)); });
    step(138, [&] { ListView2->setColumnWidth(1, px(1200)); });

    step(140, [&] { Combo1->addItem(QStringLiteral("Equal To")); });
    step(142, [&] { Combo1->addItem(QStringLiteral("Greater Than")); });
    step(144, [&] { Combo1->addItem(QStringLiteral("Less Than")); });
    Combo1->setCurrentIndex(-1); // a list fills without choosing an item

    step(146, [&] { Text1->setText(ReadSetting(SettingsApp, SettingsSection, KeyFilter, QString())); });
    step(148, [&] { Text2->setText(ReadSetting(SettingsApp, SettingsSection, KeyLength, 3)); });
    step(150, [&] {
        const auto index = convertToInt16(ReadSetting(SettingsApp, SettingsSection, KeyCombo, 0));
        if (!index)
            throw AppError(QStringLiteral("Type mismatch"));
        if (*index < 0 || *index >= Combo1->count())
            throw AppError(QStringLiteral("Invalid property value"));
        Combo1->setCurrentIndex(*index);
    });
}

void Form1::Text1_Change()
{
    StoreSetting(SettingsApp, SettingsSection, KeyFilter, Text1->text());
}

void Form1::Text2_Change()
{
    StoreSetting(SettingsApp, SettingsSection, KeyLength, Text2->text());
}

void Form1::watchHover(QWidget* widget, HoverRule rule)
{
    m_hoverRules[widget] = rule;
    widget->installEventFilter(this);
}

void Form1::pointerMovedOver(QWidget* widget)
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
        if (m_pointer.value() != PointerBusy)
            m_pointer.set(PointerDefault);
        break;
    case HoverRule::Button:
        if (m_pointer.value() != PointerBusy)
            m_pointer.set(PointerHand);
        break;
    case HoverRule::StartButton:
        m_pointer.set(PointerHand);
        break;
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && m_hoverRules.contains(widget))
            pointerMovedOver(widget);
    } else if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            ListView1_KeyDown(46);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::mouseMoveEvent(QMouseEvent* event)
{
    pointerMovedOver(this);
    QWidget::mouseMoveEvent(event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    Form_Unload();
}

void Form1::Form_Unload()
{
    if (m_services.endProgram)
        m_services.endProgram();
    else
        QCoreApplication::quit();
}
