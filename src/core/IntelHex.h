#pragma once

#include "ImageRecords.h"

namespace core {

// The data records of an Intel HEX text in file order, with extended segment and linear
// addresses applied. Refuses, naming the line, a malformed record, a checksum error, an
// unknown record type, anything after the end-of-file record and a text without one.
std::optional<QList<DataRecord>> ParseIntelHex(const QByteArray& text, QString* error);

// Whether every line of text that is not blank is a well-formed Intel HEX record with a
// correct checksum (and there is at least one).
bool IsIntelHexText(const QByteArray& text);

// data from address on as Intel HEX: recordBytes data bytes a record, an extended linear
// address record where the upper 16 bits change, and the end-of-file record.
QByteArray WriteIntelHex(const QByteArray& data, quint32 address, int recordBytes);

} // namespace core
