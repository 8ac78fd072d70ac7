#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

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

// The checksums a firmware keeps over its EEPROM data in a field of the block.
enum class ChecksumKind {
    Sum8,    // byte sum mod 256
    Sum16,   // 16-bit byte sum, most significant byte first
    Sum16Le, // the same, least significant byte first
    Crc16,   // CRC-16/CCITT-FALSE (1021h, from FFFFh, not reflected), MSB first
    Crc32,   // zlib's CRC-32, MSB first
    Crc32Le, // the same, LSB first
};
// "sum8", "sum16", "sum16le", "crc16", "crc32", "crc32le".
QString ChecksumKindName(ChecksumKind kind);
std::optional<ChecksumKind> ParseChecksumKind(const QString& name);
// Bytes the field takes: 1, 2 or 4.
int ChecksumWidth(ChecksumKind kind);
quint32 ChecksumOf(ChecksumKind kind, const QByteArray& bytes);
// The field's bytes in address order.
QByteArray ChecksumBytes(ChecksumKind kind, quint32 value);
// "3A5Fh", as many digits as the field holds.
QString ChecksumValueText(ChecksumKind kind, quint32 value);
quint16 Crc16CcittFalse(const QByteArray& bytes);

} // namespace core
