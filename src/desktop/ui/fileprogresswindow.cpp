// SPDX-License-Identifier: MIT
#include "ui/fileprogresswindow.h"

#include "platform/nativepath.h"
#include "services/apptitle.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int BarSteps = 1000;

QString fileName(const QByteArray& nativePath)
{
    return fileNameOf(toDisplay(nativePath));
}

QString countText(const FileOperationSnapshot& s)
{
    if (s.filesTotal == 1)
        return QStringLiteral("%1 of 1 file").arg(s.fileNumber());
    return QStringLiteral("%1 of %2 files").arg(s.fileNumber()).arg(s.filesTotal);
}

// Only copies across file systems move bytes; a rename or a trash shows no byte line.
QString bytesText(const FileOperationSnapshot& s)
{
    if (s.bytesCopied == 0 && s.fileSize < 0)
        return {};
    QString text = humanBytes(s.bytesCopied);
    if (s.bytesTotal > 0)
        text += QStringLiteral(" of ") + humanBytes(s.bytesTotal);
    text += QStringLiteral(" copied");
    if (s.bytesPerSecond >= 0)
        text += QStringLiteral(", ") + humanBytes(qint64(s.bytesPerSecond)) + QStringLiteral("/s");
    return text;
}
} // namespace

FileProgressWindow::FileProgressWindow(QWidget* mainWindow, FileOperationProgress& progress,
                                       const QString& operation)
    : QDialog(mainWindow), m_mainWindow(mainWindow), m_progress(progress), m_timer(new QTimer(this)),
      m_operation(new QLabel(this)), m_file(new QLabel(this)), m_bar(new QProgressBar(this)),
      m_count(new QLabel(this)), m_bytes(new QLabel(this)), m_stop(nullptr),
      m_textWidth(fontMetrics().averageCharWidth() * 56)
{
    setObjectName(QStringLiteral("fileProgressWindow"));
    setWindowTitle(applicationTitle());
    // The main window shows the busy pointer meanwhile; Cancel must still look clickable.
    setCursor(Qt::ArrowCursor);

    m_operation->setObjectName(QStringLiteral("operationLabel"));
    m_file->setObjectName(QStringLiteral("fileLabel"));
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_count->setObjectName(QStringLiteral("countLabel"));
    m_bytes->setObjectName(QStringLiteral("bytesLabel"));
    m_operation->setText(
        QFontMetrics(m_operation->font()).elidedText(operation, Qt::ElideMiddle, m_textWidth));
    m_operation->setToolTip(operation);
    m_bar->setRange(0, BarSteps);
    m_bar->setTextVisible(false);
    m_bytes->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_stop = buttons->button(QDialogButtonBox::Cancel);
    m_stop->setObjectName(QStringLiteral("cancelButton"));
    connect(m_stop, &QPushButton::clicked, this, &FileProgressWindow::cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_operation);
    layout->addWidget(m_file);
    layout->addWidget(m_bar);
    layout->addWidget(m_count);
    layout->addWidget(m_bytes);
    layout->addWidget(buttons);
    setMinimumWidth(m_textWidth + layout->contentsMargins().left() + layout->contentsMargins().right());

    connect(m_timer, &QTimer::timeout, this, &FileProgressWindow::poll);
    m_timer->start(PollMs);
}

FileProgressWindow::~FileProgressWindow()
{
    qApp->removeEventFilter(this);
}

void FileProgressWindow::showEvent(QShowEvent* event)
{
    qApp->installEventFilter(this);
    QDialog::showEvent(event);
}

void FileProgressWindow::hideEvent(QHideEvent* event)
{
    qApp->removeEventFilter(this);
    QDialog::hideEvent(event);
}

bool FileProgressWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (!event->isInputEvent() && type != QEvent::Shortcut && type != QEvent::DragEnter &&
        type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !m_mainWindow || widget->window() != m_mainWindow->window())
        return false;
    if (type == QEvent::MouseButtonPress) {
        raise();
        activateWindow();
    }
    return true;
}

void FileProgressWindow::poll()
{
    const FileOperationSnapshot state = m_progress.read();
    if (state.finished) {
        m_timer->stop();
        hide();
        return;
    }
    showState(state);
    if (!isVisible() && state.elapsedMs >= ShowAfterMs)
        show();
}

void FileProgressWindow::showState(const FileOperationSnapshot& state)
{
    const QString name = fileName(state.currentPath);
    m_file->setText(QFontMetrics(m_file->font()).elidedText(name, Qt::ElideMiddle, m_textWidth));
    m_file->setToolTip(toDisplay(state.currentPath));
    m_bar->setValue(int(state.fraction() * BarSteps));
    m_count->setText(countText(state));
    const QString bytes = bytesText(state);
    m_bytes->setText(bytes);
    m_bytes->setVisible(!bytes.isEmpty());
    if (state.stopRequested && m_stop->isEnabled()) {
        m_stop->setEnabled(false);
        m_stop->setText(QStringLiteral("Cancelling..."));
    }
}

void FileProgressWindow::cancel()
{
    m_progress.requestStop();
    m_stop->setEnabled(false);
    m_stop->setText(QStringLiteral("Cancelling..."));
}

void FileProgressWindow::reject()
{
    // Closing must not take the window away while the file in hand is still being dealt with.
    cancel();
}
