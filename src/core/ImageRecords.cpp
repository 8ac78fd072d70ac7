#include "ImageRecords.h"

#include <vector>

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

std::optional<QByteArray> PlaceRecords(const QList<DataRecord>& records, const Family& family,
                                       QString* error) {
    const int n = family.blockSize;
    const quint32 first = quint32(family.eepromFirst);
    const quint32 last = quint32(family.EepromLast());
    const QString range = QStringLiteral("%1-%2").arg(HexAddress(first), HexAddress(last));
    const QString offsets = QStringLiteral("%1-%2").arg(HexAddress(0), HexAddress(n - 1));

    qint64 base = -1;
    QByteArray block(n, char(0xFF));
    std::vector<int> lineOf(n, 0); // the line that gave each byte
    for (const DataRecord& record : records) {
        if (record.bytes.isEmpty()) {
            continue;
        }
        if (base < 0) {
            if (record.address >= first && record.address <= last) {
                base = first;
            } else if (record.address < quint32(n)) {
                base = 0;
            } else {
                *error = QStringLiteral("line %1: data at %2 lies outside the EEPROM (%3) and "
                                        "outside a %4-byte block counted from 0")
                             .arg(record.line)
                             .arg(HexAddress(record.address), range)
                             .arg(n);
                return std::nullopt;
            }
        }
        for (qsizetype i = 0; i < record.bytes.size(); ++i) {
            const qint64 address = qint64(record.address) + i;
            const qint64 offset = address - base;
            if (offset < 0 || offset >= n) {
                *error = QStringLiteral("line %1: data at %2 lies outside the block (%3, as the "
                                        "file's first data record places it)")
                             .arg(record.line)
                             .arg(HexAddress(quint32(address)), base == 0 ? offsets : range);
                return std::nullopt;
            }
            if (lineOf[offset] != 0) {
                *error = QStringLiteral("line %1: data at %2 overlaps the data of line %3")
                             .arg(record.line)
                             .arg(HexAddress(quint32(address)))
                             .arg(lineOf[offset]);
                return std::nullopt;
            }
            lineOf[offset] = record.line;
            block[offset] = record.bytes[i];
        }
    }
    if (base < 0) {
        *error = QStringLiteral("it holds no data records");
        return std::nullopt;
    }
    return block;
}

} // namespace core
