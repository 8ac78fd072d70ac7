#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace core {

// How an image file holds the block.
enum class ImageFormat {
    Raw,      // the block's bytes, nothing else, as the window writes them
    IntelHex, // records at the EEPROM's addresses
    SRecord,  // Motorola S-records, likewise
};

// "raw", "ihex", "srec" (any case); nothing for another name.
std::optional<ImageFormat> ParseImageFormat(const QString& name);
QString ImageFormatName(ImageFormat format);

// The format a file's name calls for: .ihx and .ihex Intel HEX; .srec, .s19, .s28, .s37 and
// .mot S-records; anything else (.bin, .hex, ...) raw, as the window treats every file.
ImageFormat ImageFormatOfPath(const QString& path);

// "Intel HEX", "S-records", "raw bytes": the format as the user reads it.
QString FormatWords(ImageFormat format);

// The text format a file's content plainly is (every line a well-formed record with a right
// checksum), whatever its name; nothing for anything else.
std::optional<ImageFormat> RecordsFormatOf(const QByteArray& content);

// "Intel HEX records", "S-records": what a file holds, for a question or a refusal.
QString RecordsWords(ImageFormat format);

} // namespace core
