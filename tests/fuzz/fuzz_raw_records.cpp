// The look into a raw-named image (.hex, .bin, ...) for text records, which PROGRAM does not
// send to the chip as raw bytes: Intel HEX or S-records, each line well-formed.
#include "FuzzSupport.h"
#include "core/ImageFile.h"
#include "formats/ImageRecords.h"
#include "formats/IntelHex.h"
#include "formats/SRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<core::ImageFormat> found = core::RecordsFormatOf(text);
    const bool intelHex = core::IsIntelHexText(text);
    const bool sRecords = core::IsSRecordText(text);
    // A text with no line that is not blank holds no records.
    bool anyLine = false;
    for (const QByteArray& line : core::TextLines(text)) {
        anyLine = anyLine || !line.isEmpty();
    }
    fuzz::Check(!(intelHex || sRecords) || anyLine, "a blank text holds no records");
    fuzz::Check(!(intelHex && sRecords), "no line is both an Intel HEX record and an S-record");
    fuzz::Check(found.has_value() == (intelHex || sRecords), "records are found where they are");
    fuzz::Check(!found || *found != core::ImageFormat::Raw, "records are never raw");
    // What is plainly records decodes or is refused with the line, never silently.
    if (found) {
        QString why;
        const auto block =
            core::DecodeRecords(text, *found, *core::FindFamily(QStringLiteral("y")), &why);
        fuzz::Check(block.has_value() || !why.isEmpty(), "a refusal says why");
    }
    return 0;
}
