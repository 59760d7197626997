// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <stdexcept>
#include <utility>

// A failure that crosses a procedure boundary. The description is what the error box shows first.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString& description)
        : std::runtime_error(description.toStdString()), m_description(description)
    {
    }
    const QString& description() const { return m_description; }

private:
    QString m_description;
};

// Describes whatever a statement threw, so that every failure reaches the user with a description.
QString describeCurrentException();

// The first labelled statement of a procedure that failed, as work below the window reports it: the window
// shows it in the application error box against its label. No label: nothing failed.
struct StatementFailure
{
    int label = 0;
    QString description;
    explicit operator bool() const { return label != 0; }
};

// Runs one labelled statement; false, with failure set, when it threw.
template <class F> bool runStatement(StatementFailure& failure, int label, F&& statement)
{
    try {
        std::forward<F>(statement)();
        return true;
    } catch (...) {
        failure = {label, describeCurrentException()};
        return false;
    }
}
