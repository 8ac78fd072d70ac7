// The language file's records as the editor reads them for its captions: whatever the file
// holds, a record is printable text of at most 100 characters or nothing.
#include "FuzzSupport.h"
#include "editor/LangFile.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer file(&content);
    file.open(QIODevice::ReadOnly);
    const int records = int(size / Module1::LangRecordLength);
    for (int n = -1; n <= records + 1; ++n) {
        const std::optional<QString> text = Module1::ReadLangRecord(file, n);
        if (n < 1 || n > records) {
            fuzz::Check(!text, "a record the file does not hold whole is none");
            continue;
        }
        if (text) {
            fuzz::Check(text->size() <= Module1::LangTextLength, "a record is 100 characters");
            for (const QChar c : *text) {
                fuzz::Check(c.category() != QChar::Other_Control, "a record holds no control code");
            }
        }
    }
    return 0;
}
