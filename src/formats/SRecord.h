#pragma once

#include "ImageRecords.h"

namespace core {

// One S-record's fields.
struct SRecordFields {
    int type; // 0 to 9, never the reserved 4
    quint32 address;
    QByteArray data;
};

// The address bytes of records of type (0 to 9): 2, 3 or 4; 0 for the reserved S4.
int SRecordAddressBytes(int type);

// One line, its end and surrounding blanks taken off, as a record checked on its own: the
// type, the count and the checksum. Nothing, with why (in words without the line number),
// when it is malformed.
std::optional<SRecordFields> ParseSRecordLine(const QByteArray& line, QString* why);

// Appends one record of type with size data bytes to text, ended by lineEnd. size is at most
// 254 less the address bytes, so the count fits its byte.
void AppendSRecord(QByteArray& text, int type, quint32 address, const char* data, int size,
                   const char* lineEnd = "\n");

// Whether every line of text that is not blank is a well-formed S-record with a correct
// checksum (and there is at least one).
bool IsSRecordText(const QByteArray& text);

// data from address on as S-records: an S0 header holding header, S1 records of recordBytes
// data bytes (S2 or S3 where the address needs them), an S5 count and the termination record
// that goes with the address size.
QByteArray WriteSRecord(const QByteArray& data, quint32 address, const QByteArray& header,
                        int recordBytes);

} // namespace core
