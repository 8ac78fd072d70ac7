#pragma once

#include "formats/RecordReader.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

class QFileDevice;
class WorkImage;

// Intel HEX and S-record files in the editor: the image their records describe is written to
// the working image, and written back as records laid out as the file had them. Both go
// piece by piece, so memory stays bounded whatever the span (up to the 4 GiB that 32-bit
// addresses reach). Failures throw platform::RuntimeError.
namespace RecordImage {

using HexAddressing = core::HexAddressing;

// A records file's span and what it held besides its data, so it is written back alike.
struct Layout : core::RecordLayout {
    quint32 base = 0;  // the lowest address a data record covers: the image's offset 0
    qint64 length = 0; // bytes from base to the highest address a data record covers
};

// Told the share done after each piece; false stops the work (a CancelError).
using Progress = std::function<bool(int percent)>;

// The file is read in pieces of ReadSize; the image is built through a window of WindowSize
// bytes of it. No well-formed line comes near MaxLine characters.
constexpr qint64 ReadSize = qint64(1) << 20;
constexpr qint64 WindowSize = qint64(4) << 20;
constexpr qint64 MaxLine = 4096;

// Reads the records of source (open for reading; format IntelHex or SRecord) and writes the
// image they describe to target (open for reading and writing; emptied first): the span from
// the lowest address a data record covers to the highest, the byte at address A at offset
// A - base, bytes that no record gives FFh. A byte given twice with the same value is taken;
// given two values, the file is refused, naming both lines. A refusal names the file and,
// for a fault in a line, the line. On failure target is left empty.
Layout Load(QFileDevice& source, core::ImageFormat format, QFileDevice& target,
            const Progress& progress, qint64 windowSize = WindowSize);

// Writes bytes 1 .. layout.length of image to the file target as records of layout's format:
// 16 data bytes a record from layout.base on, with the original's kind of addressing, header
// and start records and line ends. target is replaced only once everything is written.
void Save(WorkImage& image, const Layout& layout, const QString& target, const Progress& progress);

} // namespace RecordImage
