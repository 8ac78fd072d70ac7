// The look into a raw-named image (.hex) for text records, which PROGRAM refuses rather
// than send a record text to the chip as raw bytes.
#include "FuzzSupport.h"
#include "core/ImageRecords.h"
#include "core/IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const bool records = core::IsIntelHexText(text);
    // A text with no line that is not blank holds no records.
    bool anyLine = false;
    for (const QByteArray& line : core::TextLines(text)) {
        anyLine = anyLine || !line.isEmpty();
    }
    fuzz::Check(!records || anyLine, "a blank text holds no records");
    return 0;
}
