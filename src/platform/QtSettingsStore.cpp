#include "QtSettingsStore.h"

namespace platform {

namespace {

// Qt keeps its group General in an INI file as [%General] and takes the keys of a section
// written [General] as top-level keys. A hand-written [General] is meant as the section, so
// its keys count as the section's when Qt's own form does not have them.
bool IsGeneral(const QString& section) {
    return section == QLatin1String("General");
}

} // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("VidAvev"), QStringLiteral("VidAvev"))) {
}

QtSettingsStore::QtSettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QString QtSettingsStore::GetSetting(const QString& section, const QString& key,
                                    const QString& defaultValue) const {
    const QString path = section + QLatin1Char('/') + key;
    if (IsGeneral(section) && !settings_->contains(path)) {
        return settings_->value(key, defaultValue).toString();
    }
    return settings_->value(path, defaultValue).toString();
}

void QtSettingsStore::SaveSetting(const QString& section, const QString& key,
                                  const QString& value) {
    settings_->setValue(section + QLatin1Char('/') + key, value);
    if (IsGeneral(section)) {
        settings_->remove(key); // the hand-written form, now out of date
    }
    settings_->sync();
}

QString QtSettingsStore::Location() const {
    return settings_->fileName();
}

} // namespace platform
