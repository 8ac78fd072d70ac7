#pragma once

#include "platform/SettingsStore.h"

#include <QMap>

namespace fuzz {

// Settings held in memory, for targets that shape the values rather than the file.
class MapSettings : public platform::SettingsStore {
public:
    QString GetSetting(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const override {
        return values_.value(section + u'/' + key, defaultValue);
    }
    void SaveSetting(const QString& section, const QString& key, const QString& value) override {
        values_.insert(section + u'/' + key, value);
    }

private:
    QMap<QString, QString> values_;
};

} // namespace fuzz
