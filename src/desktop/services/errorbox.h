// SPDX-License-Identifier: MIT
#pragma once

// Guard users throw AppError, so it comes with this header.
#include "platform/apperror.h"

#include <QString>
#include <utility>

class Dialogs;

// Where the error box places a procedure's failures: "in ...<module>.<procedure> at line ...".
struct ErrorLocation
{
    QString module;
    QString procedure;
};

QString supportAddress();
QString errorBoxTitle();

// The text of the application error box; extra (if any) follows after two carriage returns.
QString errorBoxText(const QString& description, const QString& module, const QString& procedure, int label,
                     const QString& extra = QString());

// The one place that shows the application error box.
class ErrorBox
{
public:
    explicit ErrorBox(Dialogs& dialogs) : m_dialogs(dialogs) {}
    void show(const QString& description, const QString& module, const QString& procedure, int label,
              const QString& extra = QString());

private:
    Dialogs& m_dialogs;
};

// Runs labelled statements of one procedure: a failing statement is reported in the error box against its
// label and the procedure goes on with the next one.
class Guard
{
public:
    Guard(ErrorBox& box, QString module, QString procedure)
        : m_box(box), m_module(std::move(module)), m_procedure(std::move(procedure))
    {
    }
    Guard(ErrorBox& box, const ErrorLocation& where) : Guard(box, where.module, where.procedure) {}

    // Shows a failure that work below the window returned, against its label, as if a statement had thrown.
    void report(const StatementFailure& failure)
    {
        if (failure)
            m_box.show(failure.description, m_module, m_procedure, failure.label, m_extra);
    }

    // Text appended to every box of this procedure (for instance the row being worked on).
    void setExtra(const QString& extra) { m_extra = extra; }

    // Returns false when the statement failed (and was reported).
    template <class F> bool operator()(int label, F&& statement)
    {
        try {
            std::forward<F>(statement)();
            return true;
        } catch (...) {
            m_box.show(describeCurrentException(), m_module, m_procedure, label, m_extra);
            return false;
        }
    }

private:
    ErrorBox& m_box;
    QString m_module;
    QString m_procedure;
    QString m_extra;
};
