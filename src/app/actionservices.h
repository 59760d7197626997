// SPDX-License-Identifier: MIT
#pragma once

class Dialogs;
class ErrorBox;
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
};
