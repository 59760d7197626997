// SPDX-License-Identifier: MIT
#include "platform/apptitle.h"

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
