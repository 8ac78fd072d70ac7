#include "QtSettingsStore.h"

namespace platform {

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("VidAvev"), QStringLiteral("VidAvev"))) {
}

QtSettingsStore::QtSettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QString QtSettingsStore::GetSetting(const QString& section, const QString& key,
                                    const QString& defaultValue) const {
    return settings_->value(section + QLatin1Char('/') + key, defaultValue).toString();
}

void QtSettingsStore::SaveSetting(const QString& section, const QString& key,
                                  const QString& value) {
    settings_->setValue(section + QLatin1Char('/') + key, value);
    settings_->sync();
}

QString QtSettingsStore::Location() const {
    return settings_->fileName();
}

} // namespace platform
