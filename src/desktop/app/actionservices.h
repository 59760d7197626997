// SPDX-License-Identifier: MIT
#pragma once

#include "app/fileoperationgate.h"
#include "fileops/shortenapply.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class Dialogs;
class ErrorBox;
class FileOperationProgress;
class Guard;
class PointerState;
class QAbstractItemView;
class QProgressBar;
class QWidget;
class ResultModel;

// What an area controller works with; the window owns all of it and outlives the controllers.
struct ActionServices
{
    Dialogs& dialogs;
    ErrorBox& errorBox;
    PointerState& pointer;
    ResultModel& results;
    QAbstractItemView& resultView;
    QProgressBar& progress;
    QWidget& window; // closing it stops a running file operation
    FileOperationGate& fileOperations;
};

// What an area controller keeps of its services, under the names its handlers use.
class ActionController
{
protected:
    explicit ActionController(const ActionServices& services)
        : m_dialogs(&services.dialogs), m_errorBox(services.errorBox), m_pointer(services.pointer),
          m_results(&services.results), m_resultView(&services.resultView), m_progress(&services.progress),
          m_window(&services.window), m_fileOperations(services.fileOperations)
    {
    }

    // True, once the user has been told under label, while another operation on the files runs.
    bool refusedWhileBusy(Guard& step, int label);
    // True, once the user has been told text (label 102), when no row is checked.
    bool nothingChecked(Guard& step, bool none, const QString& text);

    // The renames of a plan the user accepted, with what the list shows after them: the busy pointer (label
    // 106), rename on a worker thread while the progress window offers Cancel (108), update the rows (110),
    // repaint the list (112), the pointer back (114) and, unless the window closed meanwhile, the one message
    // at the end (116). The renames run holding hold.
    struct RenamingSteps
    {
        QString title;          // of the progress window
        QString failureHeading; // above the names that stayed
        std::function<ShortenResult(const std::atomic<bool>* stop, FileOperationProgress* progress)> rename;
        std::function<void(const ShortenResult& result, QStringList& failures)> updateRows;
    };
    void runRenaming(Guard& step, FileOperationGate::Hold& hold, const RenamingSteps& steps);

    Dialogs* m_dialogs;
    ErrorBox& m_errorBox;
    PointerState& m_pointer;
    ResultModel* m_results;
    QAbstractItemView* m_resultView;
    QProgressBar* m_progress;
    QWidget* m_window;
    FileOperationGate& m_fileOperations;
};
