#pragma once

#include <QByteArray>
#include <QString>

namespace core {

// The two figures programmer users compare with their build's: the CRC-32 of IEEE 802.3 (as
// zlib's crc32 and most toolchains give it) and the 16-bit sum of the bytes.
quint32 Crc32(const QByteArray& block);
// The CRC-32 of bytes that follow those whose CRC-32 is crc (0 before the first): a long
// run is figured piece by piece.
quint32 Crc32Update(quint32 crc, const char* data, qsizetype size);
quint16 ByteSum(const QByteArray& block);

// "CRC-32 1A2B3C4D, sum 3F2Ah".
QString ChecksumText(const QByteArray& block);

} // namespace core
