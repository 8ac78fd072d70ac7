#pragma once

#include "SettingsStore.h"

#include <QSettings>
#include <memory>

namespace platform {

// QSettings under the application name "VidAvev": the platform's per-user store, or an
// INI file of the caller's choosing (tests use a temporary one).
class QtSettingsStore : public SettingsStore {
public:
    QtSettingsStore();
    explicit QtSettingsStore(const QString& iniFile);

    QString GetSetting(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const override;
    void SaveSetting(const QString& section, const QString& key, const QString& value) override;

    QString Location() const override;

private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace platform
