#include "SRecord.h"

#include <algorithm>

namespace core {

namespace {

// Address bytes of each record type S0..S9; 0 for the reserved S4.
constexpr int AddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

} // namespace

int SRecordAddressBytes(int type) {
    return type >= 0 && type <= 9 ? AddressBytes[type] : 0;
}

void AppendSRecord(QByteArray& text, int type, quint32 address, const char* data, int size,
                   const char* lineEnd) {
    const int addressBytes = AddressBytes[type];
    char head[5] = {static_cast<char>(addressBytes + size + 1)};
    for (int k = 0; k < addressBytes; ++k) {
        head[1 + k] = static_cast<char>((address >> (8 * (addressBytes - 1 - k))) & 0xFF);
    }
    int sum = 0;
    for (int k = 0; k <= addressBytes; ++k) {
        sum += static_cast<unsigned char>(head[k]);
    }
    for (int i = 0; i < size; ++i) {
        sum += static_cast<unsigned char>(data[i]);
    }
    const char checksum = static_cast<char>(0xFF - (sum & 0xFF));
    text.append('S');
    text.append(static_cast<char>('0' + type));
    AppendHexDigits(text, head, 1 + addressBytes);
    AppendHexDigits(text, data, size);
    AppendHexDigits(text, &checksum, 1);
    text.append(lineEnd);
}

std::optional<SRecordFields> ParseSRecordLine(const QByteArray& line, QString* why) {
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
        *why = QStringLiteral("not an S-record (it does not start with S0 to S9)");
        return std::nullopt;
    }
    const int type = line[1] - '0';
    if (type == 4) {
        *why = QStringLiteral("S4 is a reserved record type");
        return std::nullopt;
    }
    const std::optional<QByteArray> bytes = HexBytes(line, 2);
    if (!bytes) {
        *why = QStringLiteral("not an S-record (only pairs of hex digits may follow the type)");
        return std::nullopt;
    }
    const auto byte = [&](int k) { return static_cast<unsigned char>(bytes->at(k)); };
    const int addressBytes = AddressBytes[type];
    if (bytes->size() < addressBytes + 2) {
        *why = QStringLiteral("too short for an S%1 record").arg(type);
        return std::nullopt;
    }
    const int count = byte(0);
    if (bytes->size() != count + 1) {
        *why = QStringLiteral("the record's count says %1 bytes follow, %2 do")
                   .arg(count)
                   .arg(bytes->size() - 1);
        return std::nullopt;
    }
    int sum = 0;
    for (qsizetype k = 0; k + 1 < bytes->size(); ++k) {
        sum += byte(int(k));
    }
    const int wanted = 0xFF - (sum & 0xFF);
    const int given = byte(int(bytes->size()) - 1);
    if (given != wanted) {
        *why = QStringLiteral("checksum error (the record's checksum is %1, its bytes call for %2)")
                   .arg(HexByte(given), HexByte(wanted));
        return std::nullopt;
    }
    quint32 address = 0;
    for (int k = 1; k <= addressBytes; ++k) {
        address = address << 8 | byte(k);
    }
    return SRecordFields{type, address, bytes->mid(1 + addressBytes, count - addressBytes - 1)};
}

namespace {

QByteArray Record(int type, quint32 address, const QByteArray& data) {
    QByteArray text;
    AppendSRecord(text, type, address, data.constData(), int(data.size()));
    return text;
}

} // namespace

bool IsSRecordText(const QByteArray& text) {
    bool any = false;
    for (const QByteArray& line : TextLines(text)) {
        if (line.isEmpty()) {
            continue;
        }
        QString why;
        if (!ParseSRecordLine(line, &why)) {
            return false;
        }
        any = true;
    }
    return any;
}

QByteArray WriteSRecord(const QByteArray& data, quint32 address, const QByteArray& header,
                        int recordBytes) {
    const quint32 end = address + quint32(std::max<qsizetype>(data.size(), 1)) - 1;
    const int type = end <= 0xFFFF ? 1 : end <= 0xFFFFFF ? 2 : 3;
    QByteArray text = Record(0, 0, header);
    int count = 0;
    for (qsizetype i = 0; i < data.size(); i += recordBytes) {
        text += Record(type, address + quint32(i), data.mid(i, recordBytes));
        ++count;
    }
    if (count <= 0xFFFF) {
        text += Record(5, quint32(count), QByteArray());
    }
    text += Record(10 - type, 0, QByteArray()); // S9 ends S1 data, S8 S2, S7 S3
    return text;
}

} // namespace core
