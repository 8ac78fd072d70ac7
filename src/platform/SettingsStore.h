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
    // The file the settings live in; what the program keeps beside them goes into its folder.
    virtual QString Location() const = 0;
};

} // namespace platform
