// Intel HEX text as PROGRAM and a host-side VERIFY read it: the records, then the block of
// each family built from them.
#include "FuzzSupport.h"
#include "formats/ImageRecords.h"
#include "formats/IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto records = core::ParseIntelHex(text, &error);
    const bool looksLikeHex = core::IsIntelHexText(text);
    if (!records) {
        fuzz::Check(!error.isEmpty(), "a refused text says why");
        return 0;
    }
    // Every line of an accepted text is a record, so a raw-named copy of it is caught too.
    fuzz::Check(looksLikeHex, "an accepted Intel HEX text is recognised as Intel HEX");
    const qsizetype lines = core::TextLines(text).size();
    for (const core::DataRecord& record : *records) {
        fuzz::Check(record.line >= 1 && record.line <= lines, "a record names a line of the text");
        fuzz::Check(record.bytes.size() <= 255, "a record holds at most 255 bytes");
    }
    for (const core::Family& family : core::Families) {
        QString why;
        const auto block = core::PlaceRecords(*records, family, &why);
        fuzz::Check(block ? block->size() == family.blockSize : !why.isEmpty(),
                    "records give one block or a reason");
    }
    return 0;
}
