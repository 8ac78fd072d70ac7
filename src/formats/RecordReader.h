#pragma once

#include "ImageFormat.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace core {

// Where an Intel HEX file took the upper part of its addresses from.
enum class HexAddressing {
    None,    // no extended address records: 16-bit addresses
    Segment, // extended segment address records (02)
    Linear,  // extended linear address records (04); wins when a file has both kinds
};

// What a records file held besides its data, so that it can be written back alike.
struct RecordLayout {
    ImageFormat format = ImageFormat::IntelHex;
    QByteArray lineEnd = "\n";                      // "\r\n" when the file's first line ended so
    HexAddressing addressing = HexAddressing::None; // Intel HEX
    int dataType = 1; // S-records: the widest data record used, 1, 2 or 3 (S1, S2, S3)
    std::optional<QByteArray> header; // S-records: the first S0 record's data
    bool counted = false;             // S-records: a count record (S5, S6) was there
    // The start address record, type 0 for none (the last when there are several): Intel HEX
    // 3 (CS:IP) or 5 (EIP), its four bytes as one big-endian word; S-records 7, 8 or 9.
    int startType = 0;
    quint32 start = 0;
};

// Why a records text was refused: the line (from 1; 0 for the text as a whole) and the
// reason in words without the line number.
struct RecordFault {
    qint64 line = 0;
    QString why;
};

// Reads an Intel HEX or S-record text piece by piece, as it comes, holding no more than one
// line of it: checks each line and the text as a whole, and hands each data record with
// bytes, at its full address, to a sink; notes the layout as it goes. Refuses a malformed
// record, a checksum error, an unknown or reserved type, an S-record count that disagrees
// with the data records before it, anything after the end (Intel HEX's end-of-file record,
// an S7, S8 or S9), and a text whose last record does not end (or, for S-records, count) the
// data, and one without data.
class RecordReader {
public:
    // Told the bytes of each data record; false stops the reading (the sink has what it
    // wanted, or a fault of its own).
    using Sink = std::function<bool(quint32 address, const QByteArray& data, qint64 line)>;

    // maxLine > 0: a line longer than that many characters is refused (so memory stays
    // bounded whatever the text holds); 0 takes lines of any length.
    RecordReader(ImageFormat format, Sink sink, qint64 maxLine = 0);

    // The text's next piece; false once the reading has stopped.
    bool Feed(const char* data, qint64 size);
    // The text has ended: the last line, then the checks of the whole; false when it stopped.
    bool Finish();

    // Set when the text was refused (the reading then stopped).
    const std::optional<RecordFault>& Fault() const { return fault_; }
    const RecordLayout& Layout() const { return layout_; }

private:
    // One line, ended by a line feed or by the end of the text.
    void Line(const char* begin, const char* end, bool ended);
    void HexLine(const QByteArray& line);
    void SRecordLine(const QByteArray& line);
    void Hand(quint32 address, const QByteArray& data);
    void TooLong(qint64 line);
    bool Refuse(qint64 line, const QString& why); // false

    ImageFormat format_;
    Sink sink_;
    qint64 maxLine_;
    RecordLayout layout_;
    std::vector<char> kept_; // an unfinished line
    qint64 number_ = 0;      // the lines begun so far
    bool stopped_ = false;
    std::optional<RecordFault> fault_;
    bool lineEndSeen_ = false;
    quint32 base_ = 0; // Intel HEX: what the last extended address record gave
    bool segment_ = false;
    bool linear_ = false;
    bool closed_ = false; // S-records: the last record counts or ends the data
    bool anyRecord_ = false;
    bool anyData_ = false;
    qint64 endLine_ = 0;
    quint32 dataRecords_ = 0;
};

// The block of size bytes that a records text describes: at the EEPROM's own addresses (from
// first on) or at offsets from 0 within the block (the first data record decides which),
// bytes no record gives FFh. Nothing, with why (naming the line), when the text is refused,
// or when data lies outside the block or is given twice.
std::optional<QByteArray> ReadBlock(const QByteArray& text, ImageFormat format, quint32 first,
                                    int size, QString* why);

} // namespace core
