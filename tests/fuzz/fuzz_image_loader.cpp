// An image file as the program reads it: PROGRAM and a host-side VERIFY take a block by the
// name's extension or a format given, for a family, padded or not; a raw-named file is looked
// into for records; the editor opens records files as a working image of their span (cut at
// 4 MiB, the stop the user has, so one input cannot ask for a 4 GiB fill), writes them back
// and reads them again. Both take the same records alike.
#include "FuzzSupport.h"
#include "core/ImageFile.h"
#include "editor/model/RecordImage.h"
#include "editor/model/WorkImage.h"
#include "formats/IntelHex.h"
#include "formats/SRecord.h"
#include "platform/RuntimeError.h"

#include <QFile>
#include <optional>

using core::ImageFormat;

namespace {

constexpr qint64 MaxSpan = qint64(4) << 20;

// Reads path's records into a working image; none when refused or stopped.
std::optional<RecordImage::Layout> Open(WorkImage& image, const QString& path, ImageFormat format) {
    QFile source(path);
    fuzz::Check(source.open(QIODevice::ReadOnly), "the file opens");
    const QString target = image.Path();
    try {
        return image.LoadRecords(source, format,
                                 [&](int) { return QFile(target).size() <= MaxSpan; });
    } catch (const platform::RuntimeError& error) {
        fuzz::Check(!error.Description().isEmpty(), "a refusal says why");
        return std::nullopt;
    }
}

QByteArray Bytes(WorkImage& image) {
    QByteArray bytes(image.Length(), '\0');
    fuzz::Check(image.ReadAt(1, bytes.data(), bytes.size()) == bytes.size(),
                "the image reads back whole");
    return bytes;
}

// What is plainly records is recognised as one format only, never in a blank text.
void CheckRecognition(const QByteArray& text) {
    const std::optional<ImageFormat> found = core::RecordsFormatOf(text);
    const bool intelHex = core::IsIntelHexText(text);
    const bool sRecords = core::IsSRecordText(text);
    fuzz::Check(!(intelHex || sRecords) || !text.trimmed().isEmpty(),
                "a blank text holds no records");
    fuzz::Check(!(intelHex && sRecords), "no line is both an Intel HEX record and an S-record");
    fuzz::Check(found.has_value() == (intelHex || sRecords), "records are found where they are");
    fuzz::Check(!found || *found != ImageFormat::Raw, "records are never raw");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const names[] = {"image.bin",  "image.hex",  "image.HEX", "image.ihx",
                                        "image.ihex", "image.srec", "image.s19", "image.s28",
                                        "image.s37",  "image.mot",  "image"};
    static const std::optional<ImageFormat> formats[] = {
        std::nullopt, ImageFormat::Raw, ImageFormat::IntelHex, ImageFormat::SRecord};
    fuzz::Input input(data, size);
    const QString path = fuzz::ScratchPath(QLatin1String(names[input.Below(std::size(names))]));
    const std::optional<ImageFormat> format = formats[input.Below(std::size(formats))];
    const core::Family& family = core::Families[input.Below(int(core::Families.size()))];
    const bool pad = input.Flag();
    const QByteArray text = input.Rest();
    fuzz::WriteFile(path, text);
    CheckRecognition(text);

    const core::LoadedImage loaded = core::LoadImageFile(path, format, family, pad);
    fuzz::Check(loaded.fault == core::ImageFault::None ? loaded.block.size() == family.blockSize
                                                       : !loaded.message.isEmpty(),
                "a loaded image is one block; a refused one says why");
    const ImageFormat used = format.value_or(core::ImageFormatOfPath(path));
    if (used == ImageFormat::Raw) {
        return 0;
    }

    WorkImage first(fuzz::ScratchPath(QStringLiteral("first.tmp")));
    const std::optional<RecordImage::Layout> layout = Open(first, path, used);
    if (!layout) {
        // The block takes no byte twice and nothing past its end: what it takes, the editor does.
        fuzz::Check(loaded.fault != core::ImageFault::None || text.size() > RecordImage::MaxLine,
                    "the editor opens what PROGRAM takes");
        return 0;
    }
    const QByteArray bytes = Bytes(first);
    fuzz::Check(layout->length == bytes.size() && layout->length > 0, "the span is the image");
    if (loaded.fault == core::ImageFault::None) {
        fuzz::Check(used == ImageFormat::IntelHex ? core::IsIntelHexText(text)
                                                  : core::IsSRecordText(text),
                    "records taken are recognised as their format");
        // The block lies at the EEPROM's addresses or from 0, as its first record placed it;
        // the span lies within it, the same bytes at the same places.
        const quint32 origin = layout->base >= quint32(family.eepromFirst) ? family.eepromFirst : 0;
        const qint64 at = qint64(layout->base) - origin;
        fuzz::Check(at >= 0 && at + layout->length <= family.blockSize &&
                        loaded.block.mid(at, layout->length) == bytes,
                    "PROGRAM's block holds the editor's image");
    }
    const QString written = fuzz::ScratchPath(QStringLiteral("written.txt"));
    RecordImage::Save(first, *layout, written, {});
    WorkImage second(fuzz::ScratchPath(QStringLiteral("second.tmp")));
    const std::optional<RecordImage::Layout> again = Open(second, written, used);
    fuzz::Check(again.has_value(), "what the editor writes, it reads");
    fuzz::Check(again->base == layout->base && Bytes(second) == bytes,
                "the records written back describe the same bytes at the same addresses");
    first.Remove();
    second.Remove();
    return 0;
}
