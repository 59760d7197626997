// SPDX-License-Identifier: MIT
#pragma once

class Dialogs;
class ErrorBox;
class FileOperationGate;
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

    Dialogs* m_dialogs;
    ErrorBox& m_errorBox;
    PointerState& m_pointer;
    ResultModel* m_results;
    QAbstractItemView* m_resultView;
    QProgressBar* m_progress;
    QWidget* m_window;
    FileOperationGate& m_fileOperations;
};
