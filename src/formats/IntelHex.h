#pragma once

#include "ImageRecords.h"

namespace core {

// The record types of Intel HEX.
namespace IntelHexType {
enum : int {
    Data = 0,
    EndOfFile = 1,
    ExtSegment = 2,   // the next data lie in the 16-byte paragraph given, 20-bit addresses
    StartSegment = 3, // CS:IP
    ExtLinear = 4,    // the upper 16 bits of the next data's 32-bit addresses
    StartLinear = 5   // EIP
};
} // namespace IntelHexType

// One Intel HEX record's fields.
struct IntelHexRecord {
    int type;
    quint16 offset;
    QByteArray data;
};

// One line, its end and surrounding blanks taken off, as a record checked on its own: the
// count, the checksum, a known type and the length that type requires. Nothing, with why
// (in words without the line number), when it is malformed.
std::optional<IntelHexRecord> ParseIntelHexRecord(const QByteArray& line, QString* why);

// Appends one record of size data bytes (at most 255) to text, ended by lineEnd.
void AppendIntelHexRecord(QByteArray& text, int type, quint16 offset, const char* data, int size,
                          const char* lineEnd = "\n");

// Whether every line of text that is not blank is a well-formed Intel HEX record with a
// correct checksum (and there is at least one).
bool IsIntelHexText(const QByteArray& text);

// data from address on as Intel HEX: recordBytes data bytes a record, an extended linear
// address record where the upper 16 bits change, and the end-of-file record.
QByteArray WriteIntelHex(const QByteArray& data, quint32 address, int recordBytes);

} // namespace core
