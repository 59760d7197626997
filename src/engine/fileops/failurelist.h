// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// Many failures told in one message: the heading, the first `shown` lines, then how many more there were.
QString failureListText(const QString& heading, const QStringList& lines, int shown = 20);

// One line of such a message: the row's text and why its file stayed.
QString failureLine(const QString& rowText, const QString& reason);
