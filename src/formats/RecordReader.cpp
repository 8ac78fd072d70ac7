#include "RecordReader.h"

#include "ImageRecords.h"
#include "IntelHex.h"
#include "SRecord.h"

#include <algorithm>
#include <cstring>

namespace core {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

RecordReader::RecordReader(ImageFormat format, Sink sink, qint64 maxLine)
    : format_(format), sink_(std::move(sink)), maxLine_(maxLine) {
    layout_.format = format;
}

bool RecordReader::Refuse(qint64 line, const QString& why) {
    fault_ = RecordFault{line, why};
    stopped_ = true;
    return false;
}

bool RecordReader::Feed(const char* data, qint64 size) {
    const char* p = data;
    const char* const end = data + size;
    while (!stopped_ && p < end) {
        const char* n = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        if (n == nullptr) {
            kept_.insert(kept_.end(), p, end);
            // Lines are held whole while they are read: one too long is refused, whether or
            // not it ends in the piece read.
            if (maxLine_ > 0 && qint64(kept_.size()) > maxLine_) {
                TooLong(number_ + 1);
            }
            break;
        }
        if (kept_.empty()) {
            Line(p, n, true);
        } else { // the line began in an earlier piece
            kept_.insert(kept_.end(), p, n);
            Line(kept_.data(), kept_.data() + kept_.size(), true);
            kept_.clear();
        }
        p = n + 1;
    }
    return !stopped_;
}

bool RecordReader::Finish() {
    if (!stopped_ && !kept_.empty()) {
        Line(kept_.data(), kept_.data() + kept_.size(), false);
        kept_.clear();
    }
    if (stopped_) {
        return false;
    }
    if (format_ == ImageFormat::IntelHex) {
        if (!anyRecord_) {
            return Refuse(0, QStringLiteral("it holds no Intel HEX records"));
        }
        if (endLine_ == 0) {
            return Refuse(number_, QStringLiteral("the file ends without an end-of-file record "
                                                  "(:00000001FF); it may be cut short"));
        }
        layout_.addressing = linear_    ? HexAddressing::Linear
                             : segment_ ? HexAddressing::Segment
                                        : HexAddressing::None;
    } else {
        if (!anyRecord_) {
            return Refuse(0, QStringLiteral("it holds no S-records"));
        }
        if (!closed_) {
            return Refuse(number_,
                          QStringLiteral("the file ends without a count record (S5, S6) or a "
                                         "termination record (S7, S8, S9); it may be cut short"));
        }
    }
    if (!anyData_) {
        return Refuse(0, QStringLiteral("it holds no data records"));
    }
    return true;
}

void RecordReader::TooLong(qint64 line) {
    Refuse(line, QStringLiteral("longer than any record (over %1 characters)").arg(maxLine_));
}

void RecordReader::Line(const char* begin, const char* end, bool ended) {
    ++number_;
    if (ended && !lineEndSeen_) {
        lineEndSeen_ = true;
        layout_.lineEnd = end > begin && end[-1] == '\r' ? "\r\n" : "\n";
    }
    if (maxLine_ > 0 && end - begin > maxLine_) {
        TooLong(number_);
        return;
    }
    while (begin < end && IsBlank(*begin)) {
        ++begin;
    }
    while (end > begin && IsBlank(end[-1])) {
        --end;
    }
    if (begin == end) {
        return;
    }
    if (endLine_ > 0) {
        Refuse(number_, (format_ == ImageFormat::IntelHex
                             ? QStringLiteral("more follows the end-of-file record of line %1")
                             : QStringLiteral("more follows the termination record of line %1"))
                            .arg(endLine_));
        return;
    }
    anyRecord_ = true;
    const QByteArray line = QByteArray::fromRawData(begin, end - begin);
    if (format_ == ImageFormat::IntelHex) {
        HexLine(line);
    } else {
        SRecordLine(line);
    }
}

void RecordReader::Hand(quint32 address, const QByteArray& data) {
    if (!data.isEmpty()) {
        anyData_ = true;
        if (!sink_(address, data, number_)) {
            stopped_ = true;
        }
    }
}

void RecordReader::HexLine(const QByteArray& line) {
    using namespace IntelHexType;
    QString why;
    const std::optional<IntelHexRecord> record = ParseIntelHexRecord(line, &why);
    if (!record) {
        Refuse(number_, why);
        return;
    }
    const auto byte = [&](int i) { return quint32(static_cast<unsigned char>(record->data[i])); };
    switch (record->type) {
    case Data:
        // Addresses run on past the end of the 64 KiB that the offset counts in.
        Hand(base_ + record->offset, record->data);
        break;
    case EndOfFile:
        endLine_ = number_;
        break;
    case ExtSegment:
        base_ = (byte(0) << 8 | byte(1)) << 4;
        segment_ = true;
        break;
    case ExtLinear:
        base_ = (byte(0) << 8 | byte(1)) << 16;
        linear_ = true;
        break;
    default: // StartSegment, StartLinear
        layout_.startType = record->type;
        layout_.start = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        break;
    }
}

void RecordReader::SRecordLine(const QByteArray& line) {
    QString why;
    const std::optional<SRecordFields> record = ParseSRecordLine(line, &why);
    if (!record) {
        Refuse(number_, why);
        return;
    }
    const int type = record->type;
    closed_ = type >= 5;
    switch (type) {
    case 0: // the header names the image
        if (!layout_.header) {
            layout_.header = record->data;
        }
        break;
    case 1:
    case 2:
    case 3:
        layout_.dataType = std::max(layout_.dataType, type);
        ++dataRecords_;
        Hand(record->address, record->data);
        break;
    case 5:
    case 6:
        if (!record->data.isEmpty()) {
            Refuse(number_, QStringLiteral("a count record holds no data"));
            break;
        }
        // A count that disagrees tells of lines lost or added.
        if (record->address != dataRecords_) {
            Refuse(number_, QStringLiteral("the count record says %1 data records, the file has "
                                           "%2 before it")
                                .arg(record->address)
                                .arg(dataRecords_));
            break;
        }
        layout_.counted = true;
        break;
    default: // 7, 8, 9
        endLine_ = number_;
        layout_.startType = type;
        layout_.start = record->address;
        break;
    }
}

std::optional<QByteArray> ReadBlock(const QByteArray& text, ImageFormat format, quint32 first,
                                    int size, QString* why) {
    const quint32 last = first + quint32(size) - 1;
    const QString range = QStringLiteral("%1-%2").arg(HexAddress(first), HexAddress(last));
    const QString offsets = QStringLiteral("%1-%2").arg(HexAddress(0), HexAddress(size - 1));
    qint64 base = -1;
    QByteArray block(size, char(0xFF));
    std::vector<qint64> lineOf(std::size_t(size), 0); // the line that gave each byte
    // A fault of the text wins over one of placing its data: placing stops at its first fault
    // and the reading goes on to the end.
    std::optional<QString> misplaced;
    const auto place = [&](quint32 address, const QByteArray& data, qint64 line) {
        if (misplaced) {
            return true;
        }
        if (base < 0) {
            if (address >= first && address <= last) {
                base = first;
            } else if (address < quint32(size)) {
                base = 0;
            } else {
                misplaced = QStringLiteral("line %1: data at %2 lies outside the EEPROM (%3) and "
                                           "outside a %4-byte block counted from 0")
                                .arg(line)
                                .arg(HexAddress(address), range)
                                .arg(size);
                return true;
            }
        }
        for (qsizetype i = 0; i < data.size(); ++i) {
            const qint64 at = qint64(address) + i;
            const qint64 offset = at - base;
            if (offset < 0 || offset >= size) {
                misplaced = QStringLiteral("line %1: data at %2 lies outside the block (%3, as "
                                           "the file's first data record places it)")
                                .arg(line)
                                .arg(HexAddress(quint32(at)), base == 0 ? offsets : range);
                return true;
            }
            if (lineOf[std::size_t(offset)] != 0) {
                misplaced = QStringLiteral("line %1: data at %2 overlaps the data of line %3")
                                .arg(line)
                                .arg(HexAddress(quint32(at)))
                                .arg(lineOf[std::size_t(offset)]);
                return true;
            }
            lineOf[std::size_t(offset)] = line;
            block[offset] = data[i];
        }
        return true;
    };
    RecordReader reader(format, place);
    if (!reader.Feed(text.constData(), text.size()) || !reader.Finish()) {
        const RecordFault& fault = *reader.Fault();
        *why = fault.line > 0 ? QStringLiteral("line %1: %2").arg(fault.line).arg(fault.why)
                              : fault.why;
        return std::nullopt;
    }
    if (misplaced) {
        *why = *misplaced;
        return std::nullopt;
    }
    return block;
}

} // namespace core
