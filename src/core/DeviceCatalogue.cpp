#include "DeviceCatalogue.h"

namespace core {

QString OperationName(Operation operation) {
    switch (operation) {
    case Operation::Read:
        return QStringLiteral("READ");
    case Operation::Program:
        return QStringLiteral("PROGRAM");
    case Operation::Verify:
        return QStringLiteral("VERIFY");
    case Operation::ClearWpo:
        return QStringLiteral("CLEAR WPO");
    case Operation::BulkErase:
        return QStringLiteral("BULK ERASE");
    }
    return QString();
}

const Family* FindFamily(const QString& code) {
    for (const Family& family : Families) {
        if (code.size() == 1 && code[0] == QLatin1Char(family.code)) {
            return &family;
        }
    }
    return nullptr;
}

int BlockSize(const QString& deviceCode) {
    if (deviceCode == QLatin1String("y") || deviceCode == QLatin1String("t")) {
        return 256;
    }
    return 512;
}

QString DeviceRow::Name() const {
    return QString::fromLatin1(caption).remove(QLatin1Char('&'));
}

const DeviceRow* FindDevice(const QString& name) {
    const QString wanted = name.trimmed();
    for (const DeviceRow& row : DeviceCatalogue) {
        if (wanted.compare(row.Name(), Qt::CaseInsensitive) == 0 ||
            wanted.compare(QLatin1String(row.chip), Qt::CaseInsensitive) == 0) {
            return &row;
        }
    }
    return nullptr;
}

QStringList DeviceNames() {
    QStringList names;
    for (const DeviceRow& row : DeviceCatalogue) {
        names << row.Name();
    }
    return names;
}

QString FeaturesText() {
    QStringList entries;
    for (const DeviceRow& row : DeviceCatalogue) {
        entries << QStringLiteral("%1 %2 EEPROM %3")
                       .arg(QLatin1String(row.chip), QLatin1String(row.eeprom),
                            QLatin1String(row.package));
    }
    return entries.join(QLatin1Char(' '));
}

} // namespace core
