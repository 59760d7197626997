// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

inline const QString KeyFilter = QStringLiteral("Filter");
inline const QString KeyLength = QStringLiteral("Length");
inline const QString KeyCombo = QStringLiteral("Combo");
inline const QString KeyLastFolder = QStringLiteral("LastFolder");
inline const QString KeyLastFolderDot = QStringLiteral("LastFolderDot");
// The last target check started: its profile key (or "auto"), target folder as typed, and rule keys.
inline const QString KeyTargetProfile = QStringLiteral("TargetProfile");
inline const QString KeyTargetFolder = QStringLiteral("TargetFolder");
inline const QString KeyTargetRules = QStringLiteral("TargetRules");
