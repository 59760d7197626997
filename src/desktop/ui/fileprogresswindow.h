// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/operationprogress.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// The progress of one trash or move, in a window of its own that is modal to the main window. Created
// hidden when the operation starts; it shows itself only once the operation has lasted ShowAfterMs, so that
// a quick one looks as if there were no window, and hides when the progress is finished. Cancel, Escape and
// the window manager's close all ask the operation to stop after the file in hand; the window stays up until
// the operation has ended. The owner deletes it after the operation.
// The modality is the window's own: while shown it holds the main window's input. Qt's window modality would
// also drop the window system's close request for the main window, which must cancel and end the program.
class FileProgressWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr int PollMs = 100;
    static constexpr qint64 ShowAfterMs = 500;

    FileProgressWindow(QWidget* mainWindow, FileOperationProgress& progress, const QString& operation);
    ~FileProgressWindow() override;

    // Brings the window up to date with the progress; the timer calls it every PollMs.
    void poll();

protected:
    void reject() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cancel();
    void showState(const FileOperationSnapshot& state);

    QWidget* m_mainWindow;
    FileOperationProgress& m_progress;
    QTimer* m_timer;
    QLabel* m_operation;
    QLabel* m_file;
    QProgressBar* m_bar;
    QLabel* m_count;
    QLabel* m_bytes;
    QPushButton* m_stop;
    int m_textWidth;
};
