// SPDX-License-Identifier: MIT
#include "fileops/failurelist.h"

QString failureListText(const QString& heading, const QStringList& lines, int shown)
{
    if (lines.isEmpty())
        return {};
    QString text = heading;
    const int listed = int(std::min<qsizetype>(lines.size(), shown));
    for (int i = 0; i < listed; ++i)
        text += QLatin1Char('\n') + lines.at(i);
    if (lines.size() > listed)
        text += QStringLiteral("\n... and %1 more.").arg(lines.size() - listed);
    return text;
}

QString failureLine(const QString& rowText, const QString& reason)
{
    return rowText + QStringLiteral(" (") + reason + QLatin1Char(')');
}
