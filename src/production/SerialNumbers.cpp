#include "SerialNumbers.h"

#include "formats/ImageRecords.h"

#include <QStringList>
#include <algorithm>
#include <limits>

namespace core {

namespace {

quint64 PowerOfTen(int exponent) {
    quint64 value = 1;
    for (int i = 0; i < exponent; ++i) {
        value *= 10;
    }
    return value;
}

} // namespace

std::optional<int> ParseHexAddress(const QString& given) {
    const QString text = given.trimmed();
    bool ok = false;
    int value = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        value = text.mid(2).toInt(&ok, 16);
    } else if (text.endsWith(QLatin1Char('h'), Qt::CaseInsensitive)) {
        value = text.chopped(1).toInt(&ok, 16);
    }
    if (!ok || value < 0 || value > 0xFFFF) {
        return std::nullopt;
    }
    return value;
}

QString SerialFormatName(SerialFormat format) {
    switch (format) {
    case SerialFormat::LittleEndian:
        return QStringLiteral("le");
    case SerialFormat::Bcd:
        return QStringLiteral("bcd");
    case SerialFormat::Ascii:
        return QStringLiteral("ascii");
    default:
        return QStringLiteral("be");
    }
}

std::optional<SerialFormat> ParseSerialFormat(const QString& name) {
    for (SerialFormat format : {SerialFormat::BigEndian, SerialFormat::LittleEndian,
                                SerialFormat::Bcd, SerialFormat::Ascii}) {
        if (name.compare(SerialFormatName(format), Qt::CaseInsensitive) == 0) {
            return format;
        }
    }
    return std::nullopt;
}

std::optional<SerialField> ParseSerialField(const QString& text, QString* why) {
    const QStringList parts = text.split(QLatin1Char(':'));
    SerialField field;
    if (parts.size() < 2 || parts.size() > 3) {
        *why = QStringLiteral("--serial takes ADDR:BYTES[:FORMAT], as 1FFCh:4 or 0x1FFC:4:bcd");
        return std::nullopt;
    }
    const std::optional<int> address = ParseHexAddress(parts[0]);
    if (!address) {
        *why = QStringLiteral("--serial: '%1' is no address; give hex as 1FFCh or 0x1FFC")
                   .arg(parts[0]);
        return std::nullopt;
    }
    field.address = *address;
    bool ok = false;
    field.bytes = parts[1].toInt(&ok);
    if (!ok || field.bytes < 1 || field.bytes > 8) {
        *why = QStringLiteral("--serial: BYTES is 1 to 8, not '%1'").arg(parts[1]);
        return std::nullopt;
    }
    if (parts.size() == 3) {
        const std::optional<SerialFormat> format = ParseSerialFormat(parts[2]);
        if (!format) {
            *why = QStringLiteral("--serial: unknown format '%1'; give be, le, bcd or ascii")
                       .arg(parts[2]);
            return std::nullopt;
        }
        field.format = *format;
    }
    return field;
}

quint64 LargestSerial(int bytes, SerialFormat format) {
    switch (format) {
    case SerialFormat::Bcd:
        return PowerOfTen(2 * bytes) - 1;
    case SerialFormat::Ascii:
        return PowerOfTen(bytes) - 1;
    default:
        return bytes >= 8 ? std::numeric_limits<quint64>::max() : (quint64(1) << (8 * bytes)) - 1;
    }
}

std::optional<QByteArray> EncodeSerial(quint64 number, int bytes, SerialFormat format) {
    if (bytes < 1 || bytes > 8 || number > LargestSerial(bytes, format)) {
        return std::nullopt;
    }
    QByteArray field(bytes, '\0');
    switch (format) {
    case SerialFormat::BigEndian:
    case SerialFormat::LittleEndian:
        for (int i = 0; i < bytes; ++i) {
            field[bytes - 1 - i] = char((number >> (8 * i)) & 0xFF);
        }
        if (format == SerialFormat::LittleEndian) {
            std::reverse(field.begin(), field.end());
        }
        break;
    case SerialFormat::Bcd:
        for (int i = bytes - 1; i >= 0; --i) {
            const int low = int(number % 10);
            number /= 10;
            const int high = int(number % 10);
            number /= 10;
            field[i] = char(high << 4 | low);
        }
        break;
    case SerialFormat::Ascii:
        field = QByteArray::number(number).rightJustified(bytes, '0');
        break;
    }
    return field;
}

std::optional<quint64> DecodeSerial(const QByteArray& field, SerialFormat format) {
    quint64 number = 0;
    for (int i = 0; i < field.size(); ++i) {
        const auto byte =
            quint8(field[format == SerialFormat::LittleEndian ? field.size() - 1 - i : i]);
        if (format == SerialFormat::Bcd) {
            number = number * 100 + (byte >> 4) * 10 + (byte & 0x0F);
        } else if (format == SerialFormat::Ascii) {
            number = number * 10 + (byte - '0');
        } else {
            number = number << 8 | byte;
        }
    }
    // Only bytes the number is written as hold it: that rules out stray digits and overflow.
    if (EncodeSerial(number, int(field.size()), format) != field) {
        return std::nullopt;
    }
    return number;
}

QString FieldOutsideEeprom(const SerialField& field, const Family& family) {
    const int last = field.address + field.bytes - 1;
    if (field.address >= family.eepromFirst && last <= family.EepromLast()) {
        return QString();
    }
    return QStringLiteral("--serial: %1 to %2 lies outside the EEPROM (%3 to %4)")
        .arg(HexAddress(quint32(field.address)), HexAddress(quint32(last)),
             HexAddress(quint32(family.eepromFirst)), HexAddress(quint32(family.EepromLast())));
}

QByteArray PatchSerial(const QByteArray& block, const SerialField& field, const Family& family,
                       quint64 number) {
    QByteArray patched = block;
    const QByteArray bytes = EncodeSerial(number, field.bytes, field.format).value_or(QByteArray());
    patched.replace(field.address - family.eepromFirst, bytes.size(), bytes);
    return patched;
}

QString WrittenSerial(const SerialField& field, quint64 number) {
    const QByteArray bytes = EncodeSerial(number, field.bytes, field.format).value_or(QByteArray());
    return QStringLiteral("%1h at %2")
        .arg(QString::fromLatin1(bytes.toHex().toUpper()), HexAddress(quint32(field.address)));
}

std::optional<qint64> ParseSerialNumber(const QString& text) {
    bool ok = false;
    qint64 value = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        value = text.mid(2).toLongLong(&ok, 16);
    } else {
        value = text.toLongLong(&ok, 10);
    }
    if (!ok || value < 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace core
