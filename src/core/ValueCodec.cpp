#include "ValueCodec.h"

#include "platform/Windows1252.h"

#include <QRegularExpression>
#include <array>
#include <bit>
#include <charconv>
#include <limits>
#include <string>

namespace core {

namespace {

// The integer and float types, in ValueType order.
struct Fixed {
    const char* name;
    int width;
    bool isSigned;
    bool bigEndian;
    bool isFloat;
};
constexpr std::array<Fixed, 18> FixedTypes{{
    {"u8", 1, false, false, false},
    {"i8", 1, true, false, false},
    {"u16le", 2, false, false, false},
    {"u16be", 2, false, true, false},
    {"i16le", 2, true, false, false},
    {"i16be", 2, true, true, false},
    {"u32le", 4, false, false, false},
    {"u32be", 4, false, true, false},
    {"i32le", 4, true, false, false},
    {"i32be", 4, true, true, false},
    {"u64le", 8, false, false, false},
    {"u64be", 8, false, true, false},
    {"i64le", 8, true, false, false},
    {"i64be", 8, true, true, false},
    {"f32le", 4, true, false, true},
    {"f32be", 4, true, true, true},
    {"f64le", 8, true, false, true},
    {"f64be", 8, true, true, true},
}};

// The types that take a length, with their names.
constexpr std::array<std::pair<ValueType, const char*>, 3> SizedTypes{{
    {ValueType::Bcd, "bcd"},
    {ValueType::Bytes, "bytes"},
    {ValueType::Ascii, "ascii"},
}};

const Fixed* FixedOf(ValueType type) {
    const auto index = static_cast<size_t>(type);
    return index < FixedTypes.size() ? &FixedTypes[index] : nullptr;
}

bool Sized(ValueType type) {
    return type == ValueType::Bcd || type == ValueType::Bytes || type == ValueType::Ascii;
}

// The names a control character is shown by; typed back, they give its code.
constexpr std::array<const char*, 32> ControlNames{
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "TAB", "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

QString CharName(unsigned char code) {
    if (code < 0x20) {
        return QLatin1String(ControlNames[code]);
    }
    switch (code) {
    case 0x20:
        return QStringLiteral("SP");
    case 0x7F:
        return QStringLiteral("DEL");
    case 0xA0:
        return QStringLiteral("NBSP");
    case 0xAD:
        return QStringLiteral("SHY");
    default:
        break;
    }
    if (!platform::IsDefinedWindows1252(code)) {
        return QString::number(code, 16).toUpper() + QLatin1Char('h');
    }
    return QString(platform::FromWindows1252(code));
}

quint64 ReadUnsigned(const QByteArray& bytes, bool bigEndian) {
    quint64 value = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const qsizetype at = bigEndian ? i : bytes.size() - 1 - i;
        value = value << 8 | static_cast<unsigned char>(bytes[at]);
    }
    return value;
}

QByteArray WriteUnsigned(quint64 value, int width, bool bigEndian) {
    QByteArray bytes(width, '\0');
    for (int i = 0; i < width; ++i) {
        bytes[bigEndian ? width - 1 - i : i] = char(value >> (8 * i) & 0xFF);
    }
    return bytes;
}

template <typename T> QString ShortestText(T value) {
    char text[64];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    return QString::fromLatin1(text, end.ptr - text);
}

QString DecodeFixed(const Fixed& type, const QByteArray& bytes) {
    const quint64 raw = ReadUnsigned(bytes, type.bigEndian);
    if (type.isFloat) {
        return type.width == 4 ? ShortestText(std::bit_cast<float>(quint32(raw)))
                               : ShortestText(std::bit_cast<double>(raw));
    }
    if (!type.isSigned) {
        return QString::number(raw);
    }
    const int unused = 64 - 8 * type.width;
    return QString::number(qint64(raw << unused) >> unused);
}

QString Range(const Fixed& type) {
    const int bits = 8 * type.width;
    if (type.isSigned) {
        return QStringLiteral("%1 to %2")
            .arg(QString::number(-qint64((quint64(1) << (bits - 1)) - 1) - 1),
                 QString::number((quint64(1) << (bits - 1)) - 1));
    }
    return QStringLiteral("0 to %1").arg(bits == 64 ? ~quint64(0) : (quint64(1) << bits) - 1);
}

std::optional<QByteArray> EncodeInteger(const Fixed& type, const QString& text, QString* why) {
    static const QRegularExpression form(
        QStringLiteral("^([-+]?)(?:0[xX]([0-9A-Fa-f]+)|([0-9A-Fa-f]+)[hH]|([0-9]+))$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        *why = QStringLiteral("%1 is not a number: give decimal, or hex as 0x1F or 1Fh").arg(text);
        return std::nullopt;
    }
    const bool negative = match.captured(1) == QLatin1String("-");
    const bool hex = match.captured(4).isEmpty();
    bool ok = false;
    const quint64 magnitude = hex ? (match.captured(2) + match.captured(3)).toULongLong(&ok, 16)
                                  : match.captured(4).toULongLong(&ok, 10);
    const int bits = 8 * type.width;
    const quint64 all = bits == 64 ? ~quint64(0) : (quint64(1) << bits) - 1;
    const quint64 half = quint64(1) << (bits - 1); // the magnitude of a signed type's least
    // A hex value without a sign is the bit pattern, so a signed type takes all of it.
    const quint64 most = negative                ? (type.isSigned ? half : 0)
                         : type.isSigned && !hex ? half - 1
                                                 : all;
    if (!ok || magnitude > most) {
        *why = QStringLiteral("%1 does not fit in %2: %3")
                   .arg(text, QLatin1String(type.name), Range(type));
        return std::nullopt;
    }
    return WriteUnsigned(negative ? quint64(0) - magnitude : magnitude, type.width, type.bigEndian);
}

template <typename T>
std::optional<QByteArray> EncodeFloat(const Fixed& type, const QString& text, QString* why) {
    std::string chars = text.toStdString();
    if (!chars.empty() && chars.front() == '+') {
        chars.erase(0, 1);
    }
    T value = 0;
    const std::from_chars_result end =
        std::from_chars(chars.data(), chars.data() + chars.size(), value);
    if (end.ec == std::errc::result_out_of_range) {
        *why =
            QStringLiteral("%1 does not fit in %2: its largest is %3")
                .arg(text, QLatin1String(type.name), ShortestText(std::numeric_limits<T>::max()));
        return std::nullopt;
    }
    if (end.ec != std::errc() || end.ptr != chars.data() + chars.size() || chars.empty()) {
        *why = QStringLiteral("%1 is not a number: give one as 2.5, -1e-3, nan or inf").arg(text);
        return std::nullopt;
    }
    using Bits = std::conditional_t<sizeof(T) == 4, quint32, quint64>;
    return WriteUnsigned(std::bit_cast<Bits>(value), type.width, type.bigEndian);
}

QString DecodeBcd(const QByteArray& bytes) {
    QString digits;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >> 4 > 9 || (code & 0x0F) > 9) {
            return QStringLiteral("not BCD: ") + QString::fromLatin1(bytes.toHex(' ').toUpper());
        }
        digits += QLatin1Char(char('0' + (code >> 4)));
        digits += QLatin1Char(char('0' + (code & 0x0F)));
    }
    return digits;
}

std::optional<QByteArray> EncodeBcd(ValueFormat f, const QString& text, QString* why) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (!digits.match(text).hasMatch()) {
        *why = QStringLiteral("%1 is not a BCD number: give decimal digits").arg(text);
        return std::nullopt;
    }
    if (text.size() > 2 * f.length) {
        *why = QStringLiteral("%1 does not fit in %2: at most %3 digits")
                   .arg(text, ValueFormatName(f))
                   .arg(2 * f.length);
        return std::nullopt;
    }
    const QString padded = text.rightJustified(2 * f.length, QLatin1Char('0'));
    QByteArray bytes(f.length, '\0');
    for (int i = 0; i < f.length; ++i) {
        bytes[i] = char((padded[2 * i].unicode() - '0') << 4 | (padded[2 * i + 1].unicode() - '0'));
    }
    return bytes;
}

std::optional<QByteArray> EncodeChar(const QString& text, QString* why) {
    // A blank is a character; around another one blanks are slips of the hand.
    const QString one = text.size() == 1 ? text : text.trimmed();
    if (one.size() == 1) {
        const int code = platform::ToWindows1252(one[0]);
        if (code != 0 || one[0] == QChar(0)) {
            return QByteArray(1, char(code));
        }
        *why = QStringLiteral("%1 is not a Windows-1252 character").arg(one);
        return std::nullopt;
    }
    // The names DecodeValue shows, and any code as 41h.
    const QString name = one.toUpper();
    for (int code = 0; code < 256; ++code) {
        const QString shown = CharName(static_cast<unsigned char>(code));
        if (shown.size() > 1 && shown.toUpper() == name) {
            return QByteArray(1, char(code));
        }
    }
    static const QRegularExpression hexCode(QStringLiteral("^([0-9A-F]{2})H$"));
    const QRegularExpressionMatch match = hexCode.match(name);
    if (match.hasMatch()) {
        return QByteArray(1, char(match.captured(1).toInt(nullptr, 16)));
    }
    *why = QStringLiteral("%1 is not a character: type one, or a name as NUL, LF or 81h").arg(text);
    return std::nullopt;
}

std::optional<QByteArray> EncodeBinary(const QString& text, QString* why) {
    QString digits = text;
    digits.remove(QLatin1Char(' ')).remove(QLatin1Char('_'));
    if (digits.startsWith(QLatin1String("0b"), Qt::CaseInsensitive)) {
        digits.remove(0, 2);
    }
    bool ok = false;
    const uint value = digits.toUInt(&ok, 2);
    if (!ok || digits.size() > 8) {
        *why = QStringLiteral("%1 is not a byte in binary: give up to 8 digits 0 or 1, as "
                              "0101 1010")
                   .arg(text);
        return std::nullopt;
    }
    return QByteArray(1, char(value));
}

std::optional<QByteArray> EncodeBytes(ValueFormat f, const QString& text, QString* why) {
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("\\s")));
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
    if (!hex.match(digits).hasMatch()) {
        *why = QStringLiteral("%1 is not hex bytes: give two digits a byte, as 00 1A 2B").arg(text);
        return std::nullopt;
    }
    if (digits.size() != 2 * f.length) {
        *why = QStringLiteral("%1 gives %2 bytes; %3 takes %4")
                   .arg(text)
                   .arg(digits.size() / 2)
                   .arg(ValueFormatName(f))
                   .arg(f.length);
        return std::nullopt;
    }
    return QByteArray::fromHex(digits.toLatin1());
}

QString DecodeAscii(QByteArray bytes) {
    while (!bytes.isEmpty() && bytes.back() == '\0') {
        bytes.chop(1);
    }
    QString text;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code == '\\') {
            text += QLatin1String("\\\\");
        } else if (code >= 0x20 && code < 0x7F) {
            text += QLatin1Char(char(code));
        } else {
            text += QStringLiteral("\\x") +
                    QString::number(code, 16).rightJustified(2, QLatin1Char('0')).toUpper();
        }
    }
    return text;
}

std::optional<QByteArray> EncodeAscii(ValueFormat f, const QString& text, QString* why) {
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        if (ch == '\\') {
            static const QRegularExpression hexByte(QStringLiteral("^x[0-9A-Fa-f]{2}"));
            if (text.mid(i + 1, 1) == QLatin1String("\\")) {
                bytes += '\\';
                i += 1;
            } else if (hexByte.match(text.mid(i + 1, 3)).hasMatch()) {
                bytes += char(text.mid(i + 2, 2).toInt(nullptr, 16));
                i += 3;
            } else {
                *why = QStringLiteral("%1: a backslash starts \\xNN (a byte in hex) or \\\\")
                           .arg(text);
                return std::nullopt;
            }
        } else if (ch >= 0x20 && ch < 0x7F) {
            bytes += char(ch);
        } else {
            *why = QStringLiteral("%1 is not ASCII: write the byte as \\xNN").arg(text[i]);
            return std::nullopt;
        }
    }
    if (bytes.size() > f.length) {
        *why = QStringLiteral("%1 is %2 characters; %3 holds %4")
                   .arg(text)
                   .arg(bytes.size())
                   .arg(ValueFormatName(f))
                   .arg(f.length);
        return std::nullopt;
    }
    return bytes.leftJustified(f.length, '\0');
}

} // namespace

QString ValueFormatName(ValueFormat f) {
    if (const Fixed* fixed = FixedOf(f.type)) {
        return QLatin1String(fixed->name);
    }
    for (const auto& [type, name] : SizedTypes) {
        if (type == f.type) {
            return QStringLiteral("%1:%2").arg(QLatin1String(name)).arg(f.length);
        }
    }
    return f.type == ValueType::Binary ? QStringLiteral("binary") : QStringLiteral("char");
}

std::optional<ValueFormat> ParseValueFormat(const QString& text) {
    for (size_t i = 0; i < FixedTypes.size(); ++i) {
        if (text == QLatin1String(FixedTypes[i].name)) {
            return ValueFormat{static_cast<ValueType>(i), 1};
        }
    }
    if (text == QLatin1String("binary")) {
        return ValueFormat{ValueType::Binary, 1};
    }
    if (text == QLatin1String("char")) {
        return ValueFormat{ValueType::Char1252, 1};
    }
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    static const QRegularExpression count(QStringLiteral("^[1-9][0-9]{0,3}$"));
    if (colon < 0 || !count.match(text.mid(colon + 1)).hasMatch()) {
        return std::nullopt;
    }
    const int length = text.mid(colon + 1).toInt();
    for (const auto& [type, name] : SizedTypes) {
        if (text.left(colon) == QLatin1String(name) && length <= MaxValueLength) {
            return ValueFormat{type, length};
        }
    }
    return std::nullopt;
}

int ValueWidth(ValueFormat f) {
    if (const Fixed* fixed = FixedOf(f.type)) {
        return fixed->width;
    }
    return Sized(f.type) ? f.length : 1;
}

QList<ValueFormat> CursorFormats() {
    QList<ValueFormat> formats;
    for (size_t i = 0; i < FixedTypes.size(); ++i) {
        formats.append({static_cast<ValueType>(i), 1});
    }
    formats.append({ValueType::Binary, 1});
    formats.append({ValueType::Bcd, 4});
    formats.append({ValueType::Char1252, 1});
    return formats;
}

QString DecodeValue(ValueFormat f, const QByteArray& bytes) {
    if (bytes.size() != ValueWidth(f)) {
        return QString();
    }
    if (const Fixed* fixed = FixedOf(f.type)) {
        return DecodeFixed(*fixed, bytes);
    }
    const auto first = static_cast<unsigned char>(bytes[0]);
    switch (f.type) {
    case ValueType::Binary: {
        const QString bits = QStringLiteral("%1").arg(first, 8, 2, QLatin1Char('0'));
        return bits.left(4) + QLatin1Char(' ') + bits.mid(4);
    }
    case ValueType::Bcd:
        return DecodeBcd(bytes);
    case ValueType::Char1252:
        return CharName(first);
    case ValueType::Bytes:
        return QString::fromLatin1(bytes.toHex(' ').toUpper());
    case ValueType::Ascii:
        return DecodeAscii(bytes);
    default:
        return QString();
    }
}

std::optional<QByteArray> EncodeValue(ValueFormat f, const QString& text, QString* why) {
    // A single blank is a character; around anything else blanks are slips of the hand.
    const QString given =
        f.type == ValueType::Char1252 || f.type == ValueType::Ascii ? text : text.trimmed();
    if (given.isEmpty() && f.type != ValueType::Ascii) {
        *why = QStringLiteral("give a value for %1").arg(ValueFormatName(f));
        return std::nullopt;
    }
    if (const Fixed* fixed = FixedOf(f.type)) {
        if (!fixed->isFloat) {
            return EncodeInteger(*fixed, given, why);
        }
        return fixed->width == 4 ? EncodeFloat<float>(*fixed, given, why)
                                 : EncodeFloat<double>(*fixed, given, why);
    }
    switch (f.type) {
    case ValueType::Binary:
        return EncodeBinary(given, why);
    case ValueType::Bcd:
        return EncodeBcd(f, given, why);
    case ValueType::Char1252:
        return EncodeChar(given, why);
    case ValueType::Bytes:
        return EncodeBytes(f, given, why);
    default:
        return EncodeAscii(f, given, why);
    }
}

} // namespace core
