#pragma once

#include "DeviceCatalogue.h"
#include "formats/ImageFormat.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class QSaveFile;

namespace core {

// The largest file PROGRAM takes as a raw image: a block is 512 bytes at most, so anything
// much larger is not an image of this chip.
constexpr qint64 MaxRawImageSize = 64 * 1024;
// A text image of a 512-byte block is under 2 KiB; this leaves room for comments and a
// toolchain's whole output, whose data outside the block is then named by line.
constexpr qint64 MaxTextImageSize = 1024 * 1024;

// The whole of a file that must be a regular file (or a link to one) of at most maxSize
// bytes. Never blocks: a FIFO or a device is refused without waiting for a writer. On
// failure error says why, in words that follow the file's name.
std::optional<QByteArray> ReadImageFile(const QString& path, qint64 maxSize, QString* error);

// Whether a file may be replaced by an image: absent, or a regular file or a link to one.
bool IsReplaceableFile(const QString& path, QString* error);

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

// The block content gives in format, by the rules LoadImageFile applies to a file's.
LoadedImage DecodeImage(const QByteArray& content, ImageFormat format, const Family& family,
                        bool pad);

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
