// SPDX-License-Identifier: MIT
#include "app/apptitle.h"

#include "platform/errorbox.h"

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
