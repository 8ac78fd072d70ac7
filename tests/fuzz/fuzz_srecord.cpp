// Motorola S-records as PROGRAM and a host-side VERIFY read them: the records, then the
// block of each family built from them.
#include "FuzzSupport.h"
#include "formats/ImageRecords.h"
#include "formats/SRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto records = core::ParseSRecord(text, &error);
    if (!records) {
        fuzz::Check(!error.isEmpty(), "a refused text says why");
        return 0;
    }
    const qsizetype lines = core::TextLines(text).size();
    for (const core::DataRecord& record : *records) {
        fuzz::Check(record.line >= 1 && record.line <= lines, "a record names a line of the text");
        fuzz::Check(record.bytes.size() <= 252, "a record holds at most 252 data bytes");
    }
    for (const core::Family& family : core::Families) {
        QString why;
        const auto block = core::PlaceRecords(*records, family, &why);
        fuzz::Check(block ? block->size() == family.blockSize : !why.isEmpty(),
                    "records give one block or a reason");
    }
    return 0;
}
