// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

inline const QString KeyFilter = QStringLiteral("Filter");
inline const QString KeyLength = QStringLiteral("Length");
inline const QString KeyCombo = QStringLiteral("Combo");
inline const QString KeyLastFolder = QStringLiteral("LastFolder");
inline const QString KeyLastFolderDot = QStringLiteral("LastFolderDot");
