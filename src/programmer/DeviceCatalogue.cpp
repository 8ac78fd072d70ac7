#include "DeviceCatalogue.h"

#include <QStringList>

QString FeaturesText() {
    QStringList entries;
    for (const FeatureRow& row : FeatureCatalogue) {
        entries << QStringLiteral("%1 %2 EEPROM %3")
                       .arg(QLatin1String(row.chip), QLatin1String(row.eeprom),
                            QLatin1String(row.package));
    }
    return entries.join(QLatin1Char(' '));
}
