#pragma once

#include "platform/SettingsStore.h"

#include <QString>

// The programmer's options in the settings store, read the same way by both front ends.
namespace core::ProgramSettings {

inline const QString General = QStringLiteral("General");
inline const QString FastReceive = QStringLiteral("FastReceive");
inline const QString VerifyAfterProgram = QStringLiteral("VerifyAfterProgram");
inline const QString VerifyAfterErase = QStringLiteral("VerifyAfterErase");

// "true" (any case) or "1".
inline bool IsTrue(const QString& value) {
    return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           value == QLatin1String("1");
}

inline bool Option(const platform::SettingsStore& settings, const QString& key) {
    return IsTrue(settings.GetSetting(General, key));
}

inline void SaveOption(platform::SettingsStore& settings, const QString& key, bool on) {
    settings.SaveSetting(General, key, on ? QStringLiteral("true") : QStringLiteral("false"));
}

} // namespace core::ProgramSettings
