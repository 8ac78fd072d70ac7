#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The typed values an engineer reads in an EEPROM image: a gain as a little-endian i16, a
// serial number in BCD, a MAC address as bytes. Shown by the editor's data inspector and held
// by a recipe's named fields.
namespace core {

enum class ValueType {
    U8,
    I8,
    U16Le,
    U16Be,
    I16Le,
    I16Be,
    U32Le,
    U32Be,
    I32Le,
    I32Be,
    U64Le,
    U64Be,
    I64Le,
    I64Be,
    F32Le,
    F32Be,
    F64Le,
    F64Be,
    Binary,   // one byte as 8 binary digits, "0101 1010"
    Bcd,      // packed BCD, length bytes, most significant first: 12 34h is "1234"
    Char1252, // one byte as its Windows-1252 character
    Bytes,    // length bytes as hex, "00 1A 2B"
    Ascii,    // length bytes as text, NUL-padded
};

struct ValueFormat {
    ValueType type = ValueType::U8;
    int length = 1; // bytes of Bcd, Bytes and Ascii; 1 for every other type
    bool operator==(const ValueFormat&) const = default;
};

// The longest Bcd, Bytes or Ascii value.
inline constexpr int MaxValueLength = 4096;

// "u8", "i16le", "f32be", "binary", "char", "bcd:4", "bytes:6", "ascii:8".
QString ValueFormatName(ValueFormat f);
// The inverse, lowercase names only; nothing for anything else (a length of 0, "bytes" alone).
std::optional<ValueFormat> ParseValueFormat(const QString& text);
// Bytes the value takes.
int ValueWidth(ValueFormat f);

// The rows a data inspector shows at the cursor, in order: the integers and floats in both byte
// orders, binary, bcd:4 (an eight-digit serial number or date), char.
QList<ValueFormat> CursorFormats();

// bytes.size() == ValueWidth(f). Decimal for integers; the shortest text that reads back
// the same float ("nan", "-inf" too); "0101 1010" for binary; the BCD digits, or "not BCD:
// 12 3A" when a nibble is over 9; the character, or the name of a control character ("NUL",
// "LF", "DEL", "SP" for the blank, "81h" for a code the code page leaves undefined); hex for
// bytes; the text for ascii, trailing NULs left off and other bytes outside 20h..7Eh as
// "\x0A" (a backslash as "\\").
QString DecodeValue(ValueFormat f, const QByteArray& bytes);

// The bytes for text typed by a user; nothing, with why, when it is not a value of f.
// Integers: decimal, 0x1F or 1Fh hex, a minus sign for the signed ones; hex without a sign
// gives a signed type's bit pattern (FFFFh is -1 as i16). Floats: decimal or exponent form,
// nan, inf. Binary: up to 8 binary digits, blanks ignored. Bcd: up to twice length decimal
// digits, zeros put in front. Char: one character of the code page or a control's name.
// Bytes: exactly length bytes of hex, blanks ignored. Ascii: up to length characters
// (with \xNN and \\ as DecodeValue writes them), the rest filled with NULs. Every text
// DecodeValue gives reads back to its bytes, but for "not BCD" and a NaN's payload.
std::optional<QByteArray> EncodeValue(ValueFormat f, const QString& text, QString* why);

} // namespace core
