// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

inline const QString SettingsApp = QStringLiteral("Quenlor");
inline const QString SettingsSection = QStringLiteral("Lentrova Software");

// The per-user store: one INI file per application under the user's configuration folder, one group per
// section. Reading an absent key gives the default; every store is written through at once.
QString readSetting(const QString& app, const QString& section, const QString& key,
                    const QString& defaultValue);
QString readSetting(const QString& app, const QString& section, const QString& key, int defaultValue);
void storeSetting(const QString& app, const QString& section, const QString& key, const QString& value);
