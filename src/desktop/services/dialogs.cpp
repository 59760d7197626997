// SPDX-License-Identifier: MIT
#include "services/dialogs.h"

#include "platform/folderprobe.h"
#include "platform/nativepath.h"
#include "services/errorbox.h"
#include "services/yielder.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>
#include <QShortcut>
#include <QUrl>

namespace {
// The first Qt picker of the program reads the folder the last one ended in from Qt's own settings file,
// which every Qt program of the user writes, and enters it on the window's thread as it is made. One that
// does not answer off that thread (a share that has died since) is taken out of the file first.
void forgetLastFolderIfDead()
{
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.beginGroup(QStringLiteral("FileDialog"));
    const QUrl lastVisited(settings.value(QStringLiteral("lastVisited")).toString());
    if (!lastVisited.isLocalFile() || lastVisited.toLocalFile().isEmpty())
        return;
    Yielder yielder;
    if (probeFolder(fromDisplay(lastVisited.toLocalFile()), FolderProbeLimit, [&] { yielder(); }) ==
        FolderAnswer::NoAnswer)
        settings.setValue(QStringLiteral("lastVisited"), QUrl::fromLocalFile(QDir::homePath()).toString());
}
} // namespace

Answer QtDialogs::message(const QString& text, MessageStyle style, const QString& title)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title);
    // The texts carry bare carriage returns as line breaks; the label breaks lines on line feeds only.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    box.setTextFormat(Qt::PlainText);
    // Users copy a message instead of photographing it: the text can be selected, and Ctrl+C copies all of it
    // (Qt does that by itself on Windows only). A selection made in the text is copied by the text itself.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    const QShortcut copyAll(QKeySequence::Copy, &box,
                            [shown] { QGuiApplication::clipboard()->setText(shown); });
    if (style == MessageStyle::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setIcon(QMessageBox::NoIcon);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.setIcon(style == MessageStyle::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.exec();
    return Answer::Ok;
}

QString QtDialogs::inputText(const QString& prompt, const QString& title)
{
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

QString QtDialogs::saveFileName(const QString& title, const QString& filters, const QString& startPath,
                                QString* chosenFilter)
{
    forgetLastFolderIfDead();
    return QFileDialog::getSaveFileName(m_parent, title, startPath, filters, chosenFilter,
                                        QFileDialog::DontConfirmOverwrite);
}

QString QtDialogs::existingDirectory(const QString& title, const QString& startFolder)
{
    // Nothing here tests the start folder: on the window's thread a dead share would freeze the window.
    const QString start = startFolder.isEmpty() ? QDir::homePath() : startFolder;
    forgetLastFolderIfDead();
    QFileDialog dialog(m_parent, title, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    const QString chosen = dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    // Qt remembers the folder a picker ended in, for the whole process and in its own settings file, and the
    // next picker enters it, on the window's thread, before it is told where to start; the folders passed
    // through are tested there too when the Look in list opens. Leave it only the start folder, which
    // answered.
    dialog.setDirectory(start);
    dialog.setHistory({start});
    return chosen;
}
