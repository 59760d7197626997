// SPDX-License-Identifier: MIT
#include "services/apptitle.h"

#include "platform/apperror.h"

#include <QCoreApplication>

namespace {
QString& titleStore()
{
    static QString title = QStringLiteral("Lentrova");
    return title;
}
} // namespace

QString applicationTitle()
{
    return titleStore();
}

void setApplicationTitle(const QString& title)
{
    titleStore() = title;
    QCoreApplication::setApplicationName(title);
}

QString cutApplicationTitle(const QString& displayName)
{
    QString t = displayName;
    do {
        const int blank = t.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            throw AppError(QStringLiteral("Invalid procedure call or argument"));
        t = t.left(blank);
    } while (t.size() > 40);
    return t;
}
