#pragma once

#include "core/Outcome.h"
#include "formats/ImageFormat.h"

#include <QJsonObject>
#include <QString>
#include <optional>

namespace cli {

// What a device command's JSON result says: one object, whatever way the run ended, so that a
// program wrapping the tool reads one thing rather than prose.
struct ResultFacts {
    QString operation; // as the journal names it: "READ", "BULK ERASE", ...
    QString port;      // as given
    QString device;    // the system device the port opens, "" when not known
    QString chip;      // the chip, or "family y"
    QString result;    // the journal's result word, or what ended the run before the chip
    int exitCode = 0;
    std::optional<QByteArray> block; // what the chip holds, when known
    int bytes = 0;                   // the block's size, or how many bytes came or went
    QString file;                    // "" for none, "-" for stdin or stdout
    std::optional<core::ImageFormat> format;
    std::optional<qint64> serial;
    quint32 firstAddress = 0; // the EEPROM's first, for the differences' addresses
    QList<core::Difference> differences;
    int differencesTotal = 0;
    std::optional<int> markedAt; // the byte the adapter's own VERIFY marked
    qint64 durationMs = 0;
    QString message;
};

// The object: operation, device, chip, port, result, exit_code, bytes, crc32 and sum16 (hex
// text, null when no block is known), file, format, serial, differences (address, expected,
// found), differences_total, duration_ms, message.
QJsonObject ResultJson(const ResultFacts& facts);

// The result word of a run that ended before the chip gave one, by its exit code.
QString ResultWordOf(int exitCode);

// How many differences the object lists at most.
inline constexpr int ListedDifferences = 16;

} // namespace cli
