// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <stdexcept>

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
