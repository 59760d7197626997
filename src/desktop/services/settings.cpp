// SPDX-License-Identifier: MIT
#include "services/settings.h"

#include <QSettings>

namespace {
QString settingPath(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}
} // namespace

QString readSetting(const QString& app, const QString& section, const QString& key,
                    const QString& defaultValue)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, app);
    const QVariant value = store.value(settingPath(section, key));
    return value.isValid() ? value.toString() : defaultValue;
}

QString readSetting(const QString& app, const QString& section, const QString& key, int defaultValue)
{
    return readSetting(app, section, key, QString::number(defaultValue));
}

void storeSetting(const QString& app, const QString& section, const QString& key, const QString& value)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, app);
    store.setValue(settingPath(section, key), value);
    store.sync();
}
