#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace core {

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
