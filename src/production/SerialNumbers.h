#pragma once

#include "core/DeviceCatalogue.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Serial numbers in the EEPROM: where a number goes in the block and how its bytes are laid out.
namespace core {

enum class SerialFormat {
    BigEndian,    // "be": most significant byte first
    LittleEndian, // "le": least significant byte first
    Bcd,          // "bcd": packed BCD, two digits a byte, most significant digits first
    Ascii,        // "ascii": decimal digits, zero-padded to the field's width
};

// Where a number is written: ADDR:BYTES[:FORMAT] on the command line.
struct SerialField {
    int address = 0; // of the field's first byte
    int bytes = 4;   // 1..8
    SerialFormat format = SerialFormat::BigEndian;
};

// A chip address as the command line gives it: "1FFCh" or "0x1FFC", 0 to FFFFh.
std::optional<int> ParseHexAddress(const QString& text);

// "1FFCh:4", "0x1FFC:4:bcd"; nothing, with why, for anything else.
std::optional<SerialField> ParseSerialField(const QString& text, QString* why);
QString SerialFormatName(SerialFormat format);
// "be", "le", "bcd", "ascii" (any case).
std::optional<SerialFormat> ParseSerialFormat(const QString& name);

// The largest number a field of bytes holds in format.
quint64 LargestSerial(int bytes, SerialFormat format);

// The field's bytes in address order; nothing when number does not fit.
std::optional<QByteArray> EncodeSerial(quint64 number, int bytes, SerialFormat format);

// The number a field's bytes hold; nothing when they hold none in format (a blank field, a
// digit out of place).
std::optional<quint64> DecodeSerial(const QByteArray& field, SerialFormat format);

// Why the field does not lie wholly in the family's EEPROM; "" when it does.
QString FieldOutsideEeprom(const SerialField& field, const Family& family);

// block with the field's bytes replaced by number (the field lies in the EEPROM and the number
// fits: both checked before).
QByteArray PatchSerial(const QByteArray& block, const SerialField& field, const Family& family,
                       quint64 number);

// The number as written: "00000412h at 1FFCh".
QString WrittenSerial(const SerialField& field, quint64 number);

// A number as the command line gives it: decimal, or hex with 0x; nothing for anything else or
// one beyond what a journal holds (2^63 - 1).
std::optional<qint64> ParseSerialNumber(const QString& text);

} // namespace core
