#pragma once

#include "DeviceCatalogue.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class QSaveFile;

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

// The family's block that a text image's records describe; nothing, with why (naming the
// line), when a record is malformed or lies outside the block.
std::optional<QByteArray> DecodeRecords(const QByteArray& content, ImageFormat format,
                                        const Family& family, QString* why);

// What went wrong with an image file.
enum class ImageFault {
    None,
    Unreadable,      // missing, not a regular file, too large, or a read failed
    Malformed,       // a text image with a bad line (the message names it)
    RawSize,         // a raw image that is not one block long
    LooksLikeRecords // a file taken as raw by its name whose content is plainly records
};

struct LoadedImage {
    QByteArray block; // one block, when fault is None
    ImageFault fault = ImageFault::None;
    QString message;                         // why, in words that follow the file's name
    qint64 size = 0;                         // RawSize: the file's length
    ImageFormat detected = ImageFormat::Raw; // LooksLikeRecords: what the content is
};

// The block a PROGRAM or a host-side compare takes from an image file. format nothing means
// by the file's name; then a file taken as raw whose content is plainly Intel HEX or
// S-records is refused, since its text would go to the chip as bytes. A raw image must be one block
// long; with pad a shorter one is filled up with FFh (a longer one is always refused: bytes would
// be lost).
LoadedImage LoadImageFile(const QString& path, std::optional<ImageFormat> format,
                          const Family& family, bool pad);

// The block in format: text images at the family's EEPROM addresses, recordBytes data bytes
// a line; S-records with header naming the device.
QByteArray EncodeImage(const QByteArray& block, ImageFormat format, const Family& family,
                       const QString& header, int recordBytes = 16);

// A file replaced as a whole: opened before the work that fills it, so a file that cannot be
// written is known first; the old file (if any) stays as it was until Commit succeeds, and
// what replaces it keeps its mode (and owner where allowed). A read-only file is refused
// ("it is read-only") unless replaceReadOnly.
class ImageTarget {
public:
    ImageTarget();
    ~ImageTarget(); // discards what was not committed

    bool Open(const QString& path, QString* error, bool replaceReadOnly = false);
    bool Commit(const QByteArray& content, QString* error);
    void Discard();

private:
    std::unique_ptr<QSaveFile> file_;
};

} // namespace core
