// SPDX-License-Identifier: MIT
#include "platform/errorbox.h"

#include "platform/dialogs.h"

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

QString describeCurrentException()
{
    try {
        throw;
    } catch (const AppError& e) {
        return e.description();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown failure");
    }
}

void ErrorBox::show(const QString& description, const QString& module, const QString& procedure, int label,
                    const QString& extra)
{
    m_dialogs.message(errorBoxText(description, module, procedure, label, extra), MessageStyle::Warning,
                      errorBoxTitle());
}
