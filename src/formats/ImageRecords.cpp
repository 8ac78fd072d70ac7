#include "ImageRecords.h"

namespace core {

namespace {

int Nibble(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

QString HexAddress(quint32 address) {
    return QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0')).toUpper() + u'h';
}

QString HexByte(int value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper() + u'h';
}

QList<QByteArray> TextLines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().trimmed().isEmpty()) {
        lines.removeLast(); // the end of the last line, not a line of its own
    }
    for (QByteArray& line : lines) {
        line = line.trimmed();
    }
    return lines;
}

std::optional<QByteArray> HexBytes(const QByteArray& line, int skip) {
    const qsizetype digits = line.size() - skip;
    if (digits < 0 || digits % 2 != 0) {
        return std::nullopt;
    }
    QByteArray bytes;
    bytes.reserve(digits / 2);
    for (qsizetype i = skip; i < line.size(); i += 2) {
        const int high = Nibble(line[i]);
        const int low = Nibble(line[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.append(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

void AppendHexDigits(QByteArray& text, const char* bytes, qsizetype size) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    const qsizetype at = text.size();
    text.resize(at + 2 * size);
    char* out = text.data() + at;
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        *out++ = Digits[b >> 4];
        *out++ = Digits[b & 0x0F];
    }
}

} // namespace core
