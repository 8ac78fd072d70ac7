#include "LineSettings.h"

#include "CommErrors.h"
#include "RuntimeError.h"

#include <QStringList>

namespace platform {

namespace {

[[noreturn]] void Reject(int number, const QString& text, const QString& why) {
    throw RuntimeError(number, QStringLiteral("Invalid serial settings \"%1\": %2").arg(text, why));
}

} // namespace

LineSettings ParseLineSettings(const QString& text) {
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4) {
        Reject(CommError::DefaultParams, text,
               QStringLiteral("expected baud,parity,data bits,stop bits"));
    }
    LineSettings line;

    bool ok = false;
    line.baud = fields[0].trimmed().toInt(&ok);
    if (!ok || line.baud <= 0) {
        Reject(CommError::BaudRate, text,
               QStringLiteral("the baud rate must be a positive number"));
    }

    const QString parity = fields[1].trimmed().toUpper();
    if (parity.size() != 1 || !QStringLiteral("NEOMS").contains(parity)) {
        Reject(CommError::DefaultParams, text,
               QStringLiteral("the parity must be one of N, E, O, M, S"));
    }
    line.parity = parity.at(0).toLatin1();

    line.dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || line.dataBits < 5 || line.dataBits > 8) {
        Reject(CommError::ByteSize, text, QStringLiteral("the data bits must be 5 to 8"));
    }

    const QString stop = fields[3].trimmed();
    if (stop == QLatin1String("1")) {
        line.stopBitsTimesTwo = 2;
    } else if (stop == QLatin1String("1.5")) {
        line.stopBitsTimesTwo = 3;
    } else if (stop == QLatin1String("2")) {
        line.stopBitsTimesTwo = 4;
    } else {
        Reject(CommError::DefaultParams, text, QStringLiteral("the stop bits must be 1, 1.5 or 2"));
    }
    return line;
}

QString LineSettingsText(const LineSettings& line) {
    const QString stop = line.stopBitsTimesTwo == 3   ? QStringLiteral("1.5")
                         : line.stopBitsTimesTwo == 4 ? QStringLiteral("2")
                                                      : QStringLiteral("1");
    return QStringLiteral("%1,%2,%3,%4")
        .arg(line.baud)
        .arg(QLatin1Char(line.parity))
        .arg(line.dataBits)
        .arg(stop);
}

} // namespace platform
