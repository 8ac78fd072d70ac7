// Go To's offset text: decimal or hex (1F40h, 0x1F40, $1F40), as the user types it.
#include "FuzzSupport.h"
#include "editor/model/CellText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzz::Input(data, size).Text();
    const std::optional<qint64> offset = CellText::ParseOffset(text);
    if (offset) {
        // The editor moves to offset + 1 and compares it with the file's length.
        fuzz::Check(*offset >= 0, "an offset is never negative");
        // Written back as the editor shows it, the offset reads the same.
        fuzz::Check(CellText::ParseOffset(CellText::FormatOffset(*offset, false)) == offset,
                    "a decimal offset reads back");
        fuzz::Check(CellText::ParseOffset(CellText::FormatOffset(*offset, true) + u'h') == offset,
                    "a hex offset reads back");
    }
    return 0;
}
