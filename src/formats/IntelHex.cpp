#include "IntelHex.h"

#include <algorithm>

namespace core {

using namespace IntelHexType;

std::optional<IntelHexRecord> ParseIntelHexRecord(const QByteArray& line, QString* why) {
    if (!line.startsWith(':')) {
        *why = QStringLiteral("not an Intel HEX record (it does not start with ':')");
        return std::nullopt;
    }
    const std::optional<QByteArray> bytes = HexBytes(line, 1);
    if (!bytes) {
        *why = QStringLiteral("not an Intel HEX record (only pairs of hex digits may follow "
                              "the ':')");
        return std::nullopt;
    }
    if (bytes->size() < 5) {
        *why = QStringLiteral("too short for an Intel HEX record");
        return std::nullopt;
    }
    const auto byte = [&](int i) { return static_cast<unsigned char>(bytes->at(i)); };
    const int count = byte(0);
    if (bytes->size() != count + 5) {
        *why = QStringLiteral("the record says %1 data bytes but holds %2")
                   .arg(count)
                   .arg(bytes->size() - 5);
        return std::nullopt;
    }
    int sum = 0;
    for (qsizetype i = 0; i + 1 < bytes->size(); ++i) {
        sum += byte(int(i));
    }
    const int wanted = (0x100 - (sum & 0xFF)) & 0xFF;
    const int given = byte(int(bytes->size()) - 1);
    if (given != wanted) {
        *why = QStringLiteral("checksum error (the record's checksum is %1, its bytes call "
                              "for %2)")
                   .arg(HexByte(given), HexByte(wanted));
        return std::nullopt;
    }
    IntelHexRecord record{byte(3), quint16(byte(1) << 8 | byte(2)), bytes->mid(4, count)};
    int length = -1; // what the type requires; -1 for any
    switch (record.type) {
    case Data:
        break;
    case EndOfFile:
        length = 0;
        break;
    case ExtSegment:
    case ExtLinear:
        length = 2;
        break;
    case StartSegment:
    case StartLinear:
        length = 4;
        break;
    default:
        *why = QStringLiteral("unknown record type %1").arg(HexByte(record.type));
        return std::nullopt;
    }
    if (length >= 0 && count != length) {
        *why = QStringLiteral("a record of type %1 holds %2 bytes, this one %3")
                   .arg(HexByte(record.type))
                   .arg(length)
                   .arg(count);
        return std::nullopt;
    }
    return record;
}

void AppendIntelHexRecord(QByteArray& text, int type, quint16 offset, const char* data, int size,
                          const char* lineEnd) {
    const char head[4] = {static_cast<char>(size), static_cast<char>(offset >> 8),
                          static_cast<char>(offset & 0xFF), static_cast<char>(type)};
    int sum = 0;
    for (const char c : head) {
        sum += static_cast<unsigned char>(c);
    }
    for (int i = 0; i < size; ++i) {
        sum += static_cast<unsigned char>(data[i]);
    }
    const char checksum = static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF);
    text.append(':');
    AppendHexDigits(text, head, 4);
    AppendHexDigits(text, data, size);
    AppendHexDigits(text, &checksum, 1);
    text.append(lineEnd);
}

namespace {

QByteArray Record(int type, quint16 offset, const QByteArray& data) {
    QByteArray text;
    AppendIntelHexRecord(text, type, offset, data.constData(), int(data.size()));
    return text;
}

} // namespace

bool IsIntelHexText(const QByteArray& text) {
    bool any = false;
    for (const QByteArray& line : TextLines(text)) {
        if (line.isEmpty()) {
            continue;
        }
        QString why;
        if (!ParseIntelHexRecord(line, &why)) {
            return false;
        }
        any = true;
    }
    return any;
}

QByteArray WriteIntelHex(const QByteArray& data, quint32 address, int recordBytes) {
    QByteArray text;
    quint32 upper = 0;
    qsizetype i = 0;
    while (i < data.size()) {
        const quint32 at = address + quint32(i);
        // A record never crosses a 64 KiB boundary.
        const qsizetype room = 0x10000 - (at & 0xFFFF);
        const qsizetype length = std::min<qsizetype>({recordBytes, data.size() - i, room});
        if ((at >> 16) != upper) {
            upper = at >> 16;
            text += Record(ExtLinear, 0,
                           QByteArray().append(char(upper >> 8)).append(char(upper & 0xFF)));
        }
        text += Record(Data, quint16(at & 0xFFFF), data.mid(i, length));
        i += length;
    }
    text += Record(EndOfFile, 0, QByteArray());
    return text;
}

} // namespace core
