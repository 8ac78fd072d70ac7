#include "RecordImage.h"

#include "WorkImage.h"
#include "core/FileErrors.h"
#include "core/FileReplace.h"
#include "formats/ImageRecords.h"
#include "formats/IntelHex.h"
#include "formats/SRecord.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <QSaveFile>
#include <QTemporaryFile>
#include <algorithm>
#include <cstring>
#include <vector>

using core::HexAddress;
using core::HexByte;
using core::ImageFormat;
using platform::RuntimeError;
namespace ErrorNumber = platform::ErrorNumber;

namespace RecordImage {

namespace {

constexpr qint64 LastAddress = 0xFFFFFFFF;
constexpr int RecordBytes = 16;

QString Tr(const char* text) {
    return QCoreApplication::translate("RecordImage", text);
}

[[noreturn]] void Refuse(const QString& name, const QString& why) {
    throw RuntimeError(ErrorNumber::PathFileAccess, Tr("\"%1\": %2").arg(name, why));
}

[[noreturn]] void RefuseLine(const QString& name, qint64 line, const QString& why) {
    throw RuntimeError(ErrorNumber::PathFileAccess,
                       Tr("\"%1\", line %2: %3").arg(name).arg(line).arg(why));
}

[[noreturn]] void FileError(const QString& what, const QFileDevice& file) {
    const QString why = core::FileErrorReason(file); // errno as the failed call left it
    throw RuntimeError(ErrorNumber::PathFileAccess, what.arg(file.fileName(), why));
}

// The share of the work done, told after each piece; a false answer stops it. The share
// never falls, though the total may grow once it is known.
class Work {
public:
    Work(Progress progress, qint64 total, QString stopped)
        : progress_(std::move(progress)), total_(std::max<qint64>(total, 1)),
          stopped_(std::move(stopped)) {}

    void SetTotal(qint64 total) { total_ = std::max<qint64>(total, 1); }

    void Add(qint64 bytes) {
        done_ += bytes;
        percent_ = std::max(percent_, int(std::min(done_, total_) * 100 / total_));
        if (progress_ && !progress_(percent_)) {
            throw RuntimeError(ErrorNumber::CancelError, stopped_);
        }
    }

private:
    Progress progress_;
    qint64 total_;
    qint64 done_ = 0;
    int percent_ = 0;
    QString stopped_;
};

// Data records of a records file at their full addresses, with their lines; false when the
// caller has what it wanted.
using OnData = std::function<bool(quint32 address, const QByteArray& data, qint64 line)>;

// Reads a records file from its start, a piece at a time, through the formats' reader and
// hands its data records on; the layout, but for base and length. A refusal names the file.
Layout Read(QFileDevice& file, ImageFormat format, Work& work, const OnData& onData) {
    const QString name = file.fileName();
    const auto hand = [&](quint32 address, const QByteArray& data, qint64 line) {
        if (qint64(address) + data.size() - 1 > LastAddress) {
            RefuseLine(name, line,
                       Tr("data at %1 runs past FFFFFFFFh, the last 32-bit address")
                           .arg(HexAddress(address)));
        }
        return onData(address, data, line);
    };
    core::RecordReader reader(format, hand, MaxLine);
    if (!file.seek(0)) {
        FileError(Tr("Cannot read \"%1\": %2"), file);
    }
    std::vector<char> buffer(static_cast<std::size_t>(ReadSize));
    for (;;) {
        const qint64 got = file.read(buffer.data(), ReadSize);
        if (got < 0) {
            FileError(Tr("Cannot read \"%1\": %2"), file);
        }
        if (got == 0) {
            reader.Finish();
            break;
        }
        if (!reader.Feed(buffer.data(), got)) {
            break; // refused, or the caller has what it wanted
        }
        work.Add(got);
    }
    if (const std::optional<core::RecordFault>& fault = reader.Fault()) {
        if (fault->line > 0) {
            RefuseLine(name, fault->line, fault->why);
        }
        Refuse(name, fault->why);
    }
    Layout layout;
    static_cast<core::RecordLayout&>(layout) = reader.Layout();
    return layout;
}

// A byte given again with another value.
struct Clash {
    qint64 offset;
    unsigned char given;
    unsigned char earlier;
};

// Writes the image into the target through a window over part of it: bytes go to the window
// and the window to the file when another part is wanted, so records land with a few large
// writes however many there are. Everything before the frontier is on the file (data or
// FFh); the file is filled with FFh up to a window that lies beyond it. When records do not
// come in rising order, a bitmap in a temporary file marks the bytes given, so a byte given
// again is checked against the first.
class Placer {
public:
    Placer(QFileDevice& target, qint64 length, qint64 windowSize, bool marking, Work& work)
        : target_(target), length_(length), windowSize_(windowSize), marking_(marking), work_(work),
          window_(std::size_t(windowSize)) {
        if (marking_) {
            bits_.resize(std::size_t(windowSize / 8));
            if (!marks_.open()) {
                FileError(Tr("Cannot create \"%1\": %2"), marks_);
            }
        }
    }

    std::optional<Clash> Place(qint64 offset, const QByteArray& data) {
        for (qsizetype i = 0; i < data.size();) {
            const qint64 at = offset + i;
            if (at < start_ || at >= start_ + size_) {
                MoveTo(at);
            }
            const qsizetype n = std::min<qsizetype>(data.size() - i, start_ + size_ - at);
            char* window = window_.data() + (at - start_);
            if (marking_) {
                for (qsizetype k = 0; k < n; ++k) {
                    const qint64 bit = at - start_ + k;
                    unsigned char& mark = bits_[std::size_t(bit / 8)];
                    const unsigned char mask = static_cast<unsigned char>(1u << (bit % 8));
                    if ((mark & mask) != 0 && window[k] != data[i + k]) {
                        return Clash{at + k, static_cast<unsigned char>(data[i + k]),
                                     static_cast<unsigned char>(window[k])};
                    }
                    mark |= mask;
                }
            }
            std::memcpy(window, data.constData() + i, std::size_t(n));
            i += n;
        }
        return std::nullopt;
    }

    void Finish() {
        Flush();
        Fill(frontier_, length_);
    }

private:
    void MoveTo(qint64 offset) {
        Flush();
        start_ = offset / windowSize_ * windowSize_;
        size_ = std::min(windowSize_, length_ - start_);
        if (start_ >= frontier_) {
            Fill(frontier_, start_);
            std::memset(window_.data(), 0xFF, std::size_t(size_));
            std::fill(bits_.begin(), bits_.end(), 0);
            return;
        }
        // Back to a part already written: it is read back, marks and all.
        const qint64 written = std::min(size_, frontier_ - start_);
        ReadFrom(target_, start_, window_.data(), written, written);
        std::memset(window_.data() + written, 0xFF, std::size_t(size_ - written));
        if (marking_) {
            std::fill(bits_.begin(), bits_.end(), 0);
            // Parts the fill went over were never marked: the bitmap reads short or as zeros.
            ReadFrom(marks_, start_ / 8, reinterpret_cast<char*>(bits_.data()),
                     qint64(bits_.size()), 0);
        }
    }

    void Flush() {
        if (start_ < 0) {
            return;
        }
        WriteTo(target_, start_, window_.data(), size_);
        if (marking_) {
            WriteTo(marks_, start_ / 8, reinterpret_cast<const char*>(bits_.data()),
                    (size_ + 7) / 8);
        }
        frontier_ = std::max(frontier_, start_ + size_);
        work_.Add(size_);
        start_ = -1;
        size_ = 0;
    }

    // FFh over [from, to), through the window's memory (it holds nothing at the time).
    void Fill(qint64 from, qint64 to) {
        if (from >= to) {
            return;
        }
        std::memset(window_.data(), 0xFF, window_.size());
        for (qint64 at = from; at < to;) {
            const qint64 n = std::min(windowSize_, to - at);
            WriteTo(target_, at, window_.data(), n);
            at += n;
            work_.Add(n);
        }
        frontier_ = std::max(frontier_, to);
    }

    static void WriteTo(QFileDevice& file, qint64 at, const char* data, qint64 size) {
        if (!file.seek(at) || file.write(data, size) != size) {
            FileError(Tr("Cannot write \"%1\": %2"), file);
        }
    }

    // Reads up to size bytes; fewer than least is a fault.
    static void ReadFrom(QFileDevice& file, qint64 at, char* data, qint64 size, qint64 least) {
        if (!file.seek(at)) {
            FileError(Tr("Cannot read \"%1\": %2"), file);
        }
        qint64 got = 0;
        while (got < size) {
            const qint64 n = file.read(data + got, size - got);
            if (n < 0) {
                FileError(Tr("Cannot read \"%1\": %2"), file);
            }
            if (n == 0) {
                break;
            }
            got += n;
        }
        if (got < least) {
            throw RuntimeError(
                ErrorNumber::PathFileAccess,
                Tr("\"%1\" became shorter while it was being written.").arg(file.fileName()));
        }
    }

    QFileDevice& target_;
    qint64 length_;
    qint64 windowSize_;
    bool marking_;
    Work& work_;
    std::vector<char> window_;
    std::vector<unsigned char> bits_;
    QTemporaryFile marks_;
    qint64 start_ = -1; // the window's offset in the image, -1 for none
    qint64 size_ = 0;
    qint64 frontier_ = 0;
};

Layout LoadInto(QFileDevice& source, ImageFormat format, QFileDevice& target,
                const Progress& progress, qint64 windowSize) {
    const QString name = source.fileName();
    if (format != ImageFormat::IntelHex && format != ImageFormat::SRecord) {
        throw RuntimeError(ErrorNumber::IllegalCall,
                           Tr("\"%1\" is not read as records.").arg(name));
    }
    // First the span, then the image: the file is read twice.
    qint64 lowest = LastAddress + 1;
    qint64 highest = -1;
    bool rising = true; // no record starts at or below a byte given before it
    const auto span = [&](quint32 address, const QByteArray& data, qint64) {
        rising = rising && qint64(address) > highest;
        lowest = std::min<qint64>(lowest, address);
        highest = std::max<qint64>(highest, qint64(address) + data.size() - 1);
        return true;
    };
    const qint64 sourceSize = source.size();
    // Reading the file twice and writing the span; the span is known after the first reading,
    // till then it is taken as long as a file without gaps makes it.
    Work work(progress, 2 * sourceSize + sourceSize * 4 / 11,
              Tr("Opening \"%1\" was stopped.").arg(name));
    Layout layout = Read(source, format, work, span);
    layout.base = quint32(lowest);
    layout.length = highest - lowest + 1;
    work.SetTotal(2 * sourceSize + layout.length);

    if (!target.resize(0)) {
        FileError(Tr("Cannot write \"%1\": %2"), target);
    }
    // The window holds whole bytes of the bitmap, and no more than the image.
    windowSize = (std::max<qint64>(1, std::min(windowSize, layout.length)) + 7) / 8 * 8;
    Placer placer(target, layout.length, windowSize, !rising, work);
    std::optional<Clash> clash;
    qint64 placedEnd = -1;
    qint64 clashLine = 0;
    const auto place = [&](quint32 address, const QByteArray& data, qint64 line) {
        // The second reading must find what the first did; data outside the span, or given
        // out of order where the first saw none, mean the file changed in between.
        if (address < lowest || address + data.size() - 1 > highest ||
            (rising && address <= placedEnd)) {
            throw RuntimeError(ErrorNumber::PathFileAccess,
                               Tr("\"%1\" changed while it was being read.").arg(name));
        }
        placedEnd = address + data.size() - 1;
        clash = placer.Place(qint64(address) - lowest, data);
        clashLine = line;
        return !clash;
    };
    Read(source, format, work, place);
    if (clash) {
        // The first line that gave the byte gave what it holds: found by reading up to it.
        const qint64 address = lowest + clash->offset;
        qint64 earlierLine = 0;
        const auto find = [&](quint32 at, const QByteArray& data, qint64 line) {
            if (at <= address && address < qint64(at) + data.size()) {
                earlierLine = line;
            }
            return earlierLine == 0;
        };
        Work none({}, 1, QString());
        Read(source, format, none, find);
        RefuseLine(name, clashLine,
                   Tr("data at %1 (%2) disagrees with line %3 (%4)")
                       .arg(HexAddress(quint32(address)), HexByte(clash->given))
                       .arg(earlierLine)
                       .arg(HexByte(clash->earlier)));
    }
    placer.Finish();
    return layout;
}

// Records built in a buffer and written to the file a large piece at a time.
class Text {
public:
    Text(QSaveFile& file, const QByteArray& lineEnd) : file_(file), lineEnd_(lineEnd) {
        text_.reserve(ReadSize + 1024);
    }

    void Hex(int type, quint16 offset, const char* data, int size) {
        core::AppendIntelHexRecord(text_, type, offset, data, size, lineEnd_.constData());
        Spill();
    }

    void S(int type, quint32 address, const char* data, int size) {
        core::AppendSRecord(text_, type, address, data, size, lineEnd_.constData());
        Spill();
    }

    void Flush() {
        if (!text_.isEmpty() && file_.write(text_) != text_.size()) {
            FileError(Tr("Cannot write \"%1\": %2"), file_);
        }
        text_.clear();
    }

private:
    void Spill() {
        if (text_.size() >= ReadSize) {
            Flush();
        }
    }

    QSaveFile& file_;
    QByteArray lineEnd_;
    QByteArray text_;
};

// The image's bytes, read a large piece at a time; progress after each piece.
class Bytes {
public:
    Bytes(WorkImage& image, qint64 length, Work& work, QString name)
        : image_(image), length_(length), work_(work), name_(std::move(name)),
          buffer_(std::size_t(ReadSize)) {}

    // size bytes from offset on (size at most a record's).
    const char* At(qint64 offset, qint64 size) {
        if (offset + size > start_ + got_) {
            if (start_ >= 0) {
                work_.Add(offset - done_);
                done_ = offset;
            }
            start_ = offset;
            const qint64 want = std::min(ReadSize, length_ - offset);
            got_ = image_.ReadAt(offset + 1, buffer_.data(), want);
            if (got_ < std::min(want, size)) {
                throw RuntimeError(
                    ErrorNumber::PathFileAccess,
                    Tr("The working copy of \"%1\" holds fewer than the %2 bytes to be written.")
                        .arg(name_)
                        .arg(length_));
            }
        }
        return buffer_.data() + (offset - start_);
    }

    void Done() { work_.Add(length_ - done_); }

private:
    WorkImage& image_;
    qint64 length_;
    Work& work_;
    QString name_;
    std::vector<char> buffer_;
    qint64 start_ = -1;
    qint64 got_ = 0;
    qint64 done_ = 0;
};

void WriteHex(const Layout& layout, Bytes& bytes, Text& text) {
    using namespace core::IntelHexType;
    int extType = -1; // the extended address record in force, none at first
    quint16 extValue = 0;
    const auto extend = [&](int type, quint16 value) {
        if (type != extType || value != extValue) {
            extType = type;
            extValue = value;
            const char word[2] = {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
            text.Hex(type, 0, word, 2);
        }
    };
    for (qint64 offset = 0; offset < layout.length;) {
        const quint32 address = layout.base + quint32(offset);
        qint64 size = std::min<qint64>(RecordBytes, layout.length - offset);
        quint16 field = 0;
        // A record never runs past the 64 KiB its offset counts in. Addresses the file's own
        // kind of addressing cannot reach take extended linear records.
        const HexAddressing mode =
            (layout.addressing == HexAddressing::None && address > 0xFFFF) ||
                    (layout.addressing == HexAddressing::Segment && address > 0x10FFEF)
                ? HexAddressing::Linear
                : layout.addressing;
        if (mode == HexAddressing::Linear) {
            size = std::min<qint64>(size, 0x10000 - (address & 0xFFFF));
            extend(ExtLinear, quint16(address >> 16));
            field = quint16(address & 0xFFFF);
        } else if (mode == HexAddressing::Segment) {
            const quint32 segment = address < 0x100000 ? (address >> 4) & 0xF000 : 0xFFFF;
            const quint32 segmentBase = segment << 4;
            size = std::min<qint64>(size, qint64(segmentBase) + 0x10000 - address);
            extend(ExtSegment, quint16(segment));
            field = quint16(address - segmentBase);
        } else {
            size = std::min<qint64>(size, 0x10000 - qint64(address));
            field = quint16(address);
        }
        text.Hex(Data, field, bytes.At(offset, size), int(size));
        offset += size;
    }
    if (layout.startType == StartSegment || layout.startType == StartLinear) {
        const char start[4] = {
            static_cast<char>(layout.start >> 24), static_cast<char>(layout.start >> 16),
            static_cast<char>(layout.start >> 8), static_cast<char>(layout.start)};
        text.Hex(layout.startType, 0, start, 4);
    }
    text.Hex(EndOfFile, 0, nullptr, 0);
}

void WriteSRecords(const Layout& layout, Bytes& bytes, Text& text) {
    if (layout.header) {
        text.S(0, 0, layout.header->constData(), int(layout.header->size()));
    }
    qint64 records = 0;
    int widest = 1;
    for (qint64 offset = 0; offset < layout.length; ++records) {
        const quint32 address = layout.base + quint32(offset);
        const qint64 size = std::min<qint64>(RecordBytes, layout.length - offset);
        // The file's width, or a wider one where the address needs it.
        const quint32 last = address + quint32(size - 1);
        const int type = std::max(layout.dataType, last <= 0xFFFF ? 1 : last <= 0xFFFFFF ? 2 : 3);
        widest = std::max(widest, type);
        text.S(type, address, bytes.At(offset, size), int(size));
        offset += size;
    }
    // The count is of the records written; one too large for S6 is left out.
    const bool counted = layout.counted && records <= 0xFFFFFF;
    if (counted) {
        text.S(records <= 0xFFFF ? 5 : 6, quint32(records), nullptr, 0);
    }
    if (layout.startType >= 7 && layout.startType <= 9) {
        text.S(layout.startType, layout.start, nullptr, 0);
    } else if (!counted) {
        // Without a count or a termination record the file would read as cut short.
        text.S(10 - widest, 0, nullptr, 0);
    }
}

} // namespace

Layout Load(QFileDevice& source, ImageFormat format, QFileDevice& target, const Progress& progress,
            qint64 windowSize) {
    try {
        return LoadInto(source, format, target, progress, windowSize);
    } catch (...) {
        target.resize(0);
        throw;
    }
}

void Save(WorkImage& image, const Layout& layout, const QString& target, const Progress& progress) {
    if ((layout.format != ImageFormat::IntelHex && layout.format != ImageFormat::SRecord) ||
        layout.length < 1 || qint64(layout.base) + layout.length - 1 > LastAddress) {
        throw RuntimeError(ErrorNumber::IllegalCall,
                           Tr("\"%1\" cannot be written as records.").arg(target));
    }
    // The file keeps its mode and owner; a read-only one was asked about before.
    QSaveFile out;
    QString why;
    if (!core::OpenReplacement(out, core::InspectTarget(target), true, &why)) {
        throw RuntimeError(ErrorNumber::PathFileAccess,
                           Tr("Cannot write \"%1\": %2").arg(target, why));
    }
    // Every byte is written, the FFh that filled gaps too: the bytes read back as they are
    // shown, whatever was edited into a gap.
    Work work(progress, layout.length, Tr("Writing \"%1\" was stopped.").arg(target));
    Bytes bytes(image, layout.length, work, target);
    Text text(out, layout.lineEnd);
    if (layout.format == ImageFormat::IntelHex) {
        WriteHex(layout, bytes, text);
    } else {
        WriteSRecords(layout, bytes, text);
    }
    text.Flush();
    bytes.Done();
    if (!out.commit()) {
        FileError(Tr("Cannot write \"%1\": %2"), out);
    }
}

} // namespace RecordImage
