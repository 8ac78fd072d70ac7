#pragma once

#include "Journal.h"
#include "SerialNumbers.h"
#include "formats/ImageRecords.h"
#include "platform/SettingsStore.h"

#include <QString>
#include <optional>

// A production run's settings, section "Production", read the same way by both front ends:
// the journal (Journal: a file or a PostgreSQL address) and, when the window numbers each
// chip, where and from which series (Serial "1FFCh:4:be", empty when off; Series,
// SerialStart, SerialStep, SerialLast, Lease), and how long a call to the journal's server may
// take (StoreTimeout, seconds).
namespace core::ProductionSettings {

inline const QString Section = QStringLiteral("Production");

struct Values {
    QString journal;
    std::optional<SerialField> serial; // nothing: chips are not numbered
    SeriesRequest series;
    int leaseSeconds = 120;
    int storeTimeoutSeconds = Journal::DefaultTimeout;
};

// "1FFCh:4:be".
inline QString FieldText(const SerialField& field) {
    return QStringLiteral("%1:%2:%3")
        .arg(HexAddress(quint32(field.address)))
        .arg(field.bytes)
        .arg(SerialFormatName(field.format));
}

inline Values Load(const platform::SettingsStore& settings) {
    Values values;
    auto get = [&](const char* key) { return settings.GetSetting(Section, QLatin1String(key)); };
    values.journal = get("Journal");
    QString why;
    if (!get("Serial").isEmpty()) {
        values.serial = ParseSerialField(get("Serial"), &why);
    }
    if (!get("Series").isEmpty()) {
        values.series.name = get("Series");
    }
    values.series.start = ParseSerialNumber(get("SerialStart"));
    values.series.step = ParseSerialNumber(get("SerialStep"));
    values.series.last = ParseSerialNumber(get("SerialLast"));
    bool ok = false;
    const int lease = get("Lease").toInt(&ok);
    if (ok && lease > 0) {
        values.leaseSeconds = lease;
    }
    const int timeout = get("StoreTimeout").toInt(&ok);
    if (ok && timeout > 0) {
        values.storeTimeoutSeconds = timeout;
    }
    return values;
}

inline void Save(platform::SettingsStore& settings, const Values& values) {
    auto put = [&](const char* key, const QString& value) {
        settings.SaveSetting(Section, QLatin1String(key), value);
    };
    auto number = [](const std::optional<qint64>& n) {
        return n ? QString::number(*n) : QString();
    };
    put("Journal", values.journal);
    put("Serial", values.serial ? FieldText(*values.serial) : QString());
    put("Series", values.series.name);
    put("SerialStart", number(values.series.start));
    put("SerialStep", number(values.series.step));
    put("SerialLast", number(values.series.last));
    put("Lease", QString::number(values.leaseSeconds));
    put("StoreTimeout", QString::number(values.storeTimeoutSeconds));
}

} // namespace core::ProductionSettings
