#include "Checksums.h"

#include <zlib.h>

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

} // namespace core
