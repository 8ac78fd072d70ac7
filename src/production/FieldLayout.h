#pragma once

#include "core/DeviceCatalogue.h"
#include "core/ValueCodec.h"
#include "production/Recipe.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <optional>

// Named places in the EEPROM, as a recipe's [fields] section (or a layout file holding only
// that section) gives them:
//
//   [fields]
//   gain   = 1E10h:i16le
//   serial = 1FFCh:u32be
//   mac    = 1FF0h:bytes:6
//   crc    = 1FFEh:crc16:1E00h-1FFDh   ; a checksum the firmware tests, over FROM-TO
//
// A value field takes any type of ValueCodec.h; a checksum field one of the algorithms of
// program --checksum, over a range that must be given. The editor shows and edits them and
// keeps the checksums right; tms370 fields prints them.
namespace production {

struct Field {
    QString name;
    int line = 0;                          // in the file, to name it
    int address = 0;                       // of the first byte, as the image's addresses count
    QString type;                          // as written: "i16le", "crc16:1E00h-1FFDh"
    core::ValueFormat format;              // a value field's type
    std::optional<ChecksumField> checksum; // a checksum field: its algorithm and range

    int Width() const;
    qint64 Last() const { return qint64(address) + Width() - 1; }
};

struct FieldLayout {
    QString path;
    QList<Field> fields; // in the file's order
    // The checksum fields in the order they are figured: one whose range holds another's
    // field after that one. Indexes into fields.
    QList<int> checksumOrder;
};

// The [fields] of a recipe or a layout file. Nothing, with why naming the file and the line,
// for a file that cannot be read or holds no [fields], a name given twice or not a name, an
// unknown type, two fields that overlap, a checksum over its own bytes, a range backwards,
// checksums that cover each other's fields.
std::optional<FieldLayout> ReadFieldLayout(const QString& path, QString* why);
// The same from a recipe already read (its fields).
std::optional<FieldLayout> FieldLayoutOf(const QString& path, const QList<RecipeEntry>& fields,
                                         QString* why);

// The image the fields are read from: bytes from origin on. read(offset, data, size) copies
// the bytes at offset (from origin) and returns how many it gave, -1 on a failure.
struct FieldImage {
    qint64 origin = 0;
    qint64 length = 0;
    std::function<qint64(qint64 offset, char* data, qint64 size)> read;
};

// The address of an image's first byte: a records image's lowest record address; a raw image
// one block of family long counts from family's EEPROM start; any other raw image from 0.
qint64 FieldOrigin(bool records, qint64 recordsBase, qint64 rawLength, const core::Family* family);

// An image in memory at origin.
FieldImage FieldImageOf(const QByteArray& bytes, qint64 origin);

struct FieldState {
    bool inside = false; // the field (and a checksum's range) lies in the image
    QString value;       // decoded; for a checksum the stored value; or why not
    bool isChecksum = false;
    bool matches = false;
    quint32 stored = 0, expected = 0;
};
FieldState Evaluate(const Field& field, const FieldImage& image);

// A checksum's state without its name: "3A5Fh ✓" / "3A5Fh, should be 91C2h ✗"; else value.
QString FieldValueText(const Field& field, const FieldState& state);
// "crc 3A5Fh ✓" / "crc 3A5Fh, should be 91C2h ✗"; "gain -12"; "mac outside the image".
QString FieldStateText(const Field& field, const FieldState& state);

// The bytes to write (address, bytes) to make every checksum field inside the image right, in
// the order they must be written; a field that is right already is left out.
QList<QPair<qint64, QByteArray>> ChecksumUpdates(const FieldLayout& layout,
                                                 const FieldImage& image);

} // namespace production
