// SPDX-License-Identifier: MIT
#include "services/errorbox.h"

#include "services/dialogs.h"

#include <exception>
#include <new>

QString supportAddress()
{
    return QStringLiteral("support@quenlor.example.com");
}

QString errorBoxTitle()
{
    return QStringLiteral("Application Error");
}

QString errorBoxText(const QString& description, const QString& module, const QString& procedure, int label,
                     const QString& extra)
{
    QString text = description + QStringLiteral("\r\nin Zimbrel2021/08/31.") + module + QLatin1Char('.') +
                   procedure + QStringLiteral(" at line ") + QString::number(label) +
                   QStringLiteral("\r\rPlease email screenshot of this message to ") + supportAddress();
    if (!extra.isEmpty())
        text += QStringLiteral("\r\r") + extra;
    return text;
}

void ErrorBox::show(const QString& description, const QString& module, const QString& procedure, int label,
                    const QString& extra)
{
    m_dialogs.message(errorBoxText(description, module, procedure, label, extra), MessageStyle::Warning,
                      errorBoxTitle());
}
