#pragma once

#include "DeviceCatalogue.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace core {

// A run of data bytes from one line of a text image (Intel HEX, S-record).
struct DataRecord {
    quint32 address; // of the first byte, as the file gives it
    QByteArray bytes;
    int line; // from 1
};

// The family's block built from records: at the EEPROM's own addresses or at offsets from 0
// within the block (the first record decides which), bytes no record gives FFh. Data outside
// the block or given twice is refused with the line that gives it.
std::optional<QByteArray> PlaceRecords(const QList<DataRecord>& records, const Family& family,
                                       QString* error);

// "1F00h", and "3Ah" for a byte.
QString HexAddress(quint32 address);
QString HexByte(int value);

// The lines of a text file, with line endings and surrounding blanks taken off.
QList<QByteArray> TextLines(const QByteArray& text);

// The bytes that a line's hex digits after its first `skip` characters spell, or nothing
// when a character is not a hex digit or one is missing.
std::optional<QByteArray> HexBytes(const QByteArray& line, int skip);

// Appends size bytes to text as hex digits, two a byte, upper case.
void AppendHexDigits(QByteArray& text, const char* bytes, qsizetype size);

} // namespace core
