#pragma once

#include <QString>

namespace platform {

// The per-user settings of application "VidAvev", by section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString GetSetting(const QString& section, const QString& key,
                               const QString& defaultValue = QString()) const = 0;
    virtual void SaveSetting(const QString& section, const QString& key, const QString& value) = 0;
};

} // namespace platform
