#include "Checksums.h"

#include <zlib.h>

#include <array>

namespace core {

quint32 Crc32(const QByteArray& block) {
    return Crc32Update(0, block.constData(), block.size());
}

quint32 Crc32Update(quint32 crc, const char* data, qsizetype size) {
    uLong value = crc;
    const auto* bytes = reinterpret_cast<const Bytef*>(data);
    qsizetype left = size;
    // zlib takes a length of 32 bits at a time.
    while (left > 0) {
        const uInt piece = uInt(std::min<qsizetype>(left, 1 << 30));
        value = crc32(value, bytes, piece);
        bytes += piece;
        left -= piece;
    }
    return quint32(value);
}

quint16 ByteSum(const QByteArray& block) {
    quint32 sum = 0;
    for (const char c : block) {
        sum += static_cast<unsigned char>(c);
    }
    return quint16(sum & 0xFFFF);
}

QString ChecksumText(const QByteArray& block) {
    return QStringLiteral("CRC-32 %1, sum %2h")
        .arg(QStringLiteral("%1").arg(Crc32(block), 8, 16, QLatin1Char('0')).toUpper(),
             QStringLiteral("%1").arg(ByteSum(block), 4, 16, QLatin1Char('0')).toUpper());
}

namespace {

struct KindRow {
    ChecksumKind kind;
    const char* name;
    int width;
    bool littleEndian;
};

constexpr std::array<KindRow, 6> Kinds{{
    {ChecksumKind::Sum8, "sum8", 1, false},
    {ChecksumKind::Sum16, "sum16", 2, false},
    {ChecksumKind::Sum16Le, "sum16le", 2, true},
    {ChecksumKind::Crc16, "crc16", 2, false},
    {ChecksumKind::Crc32, "crc32", 4, false},
    {ChecksumKind::Crc32Le, "crc32le", 4, true},
}};

const KindRow& RowOf(ChecksumKind kind) {
    return Kinds[std::size_t(kind)];
}

} // namespace

QString ChecksumKindName(ChecksumKind kind) {
    return QLatin1String(RowOf(kind).name);
}

std::optional<ChecksumKind> ParseChecksumKind(const QString& name) {
    for (const KindRow& row : Kinds) {
        if (name.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0) {
            return row.kind;
        }
    }
    return std::nullopt;
}

int ChecksumWidth(ChecksumKind kind) {
    return RowOf(kind).width;
}

quint16 Crc16CcittFalse(const QByteArray& bytes) {
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint16(quint8(c) << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? quint16(crc << 1 ^ 0x1021) : quint16(crc << 1);
        }
    }
    return crc;
}

quint32 ChecksumOf(ChecksumKind kind, const QByteArray& bytes) {
    switch (kind) {
    case ChecksumKind::Sum8:
        return ByteSum(bytes) & 0xFF;
    case ChecksumKind::Sum16:
    case ChecksumKind::Sum16Le:
        return ByteSum(bytes);
    case ChecksumKind::Crc16:
        return Crc16CcittFalse(bytes);
    default:
        return Crc32(bytes);
    }
}

QByteArray ChecksumBytes(ChecksumKind kind, quint32 value) {
    const KindRow& row = RowOf(kind);
    QByteArray field(row.width, '\0');
    for (int i = 0; i < row.width; ++i) {
        field[row.littleEndian ? i : row.width - 1 - i] = char(value >> (8 * i) & 0xFF);
    }
    return field;
}

QString ChecksumValueText(ChecksumKind kind, quint32 value) {
    return QStringLiteral("%1")
               .arg(value, 2 * ChecksumWidth(kind), 16, QLatin1Char('0'))
               .toUpper() +
           QLatin1Char('h');
}

} // namespace core
