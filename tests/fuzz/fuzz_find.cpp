// Find's patterns as the user types them: hex bytes ("DE AD BE EF") and text in the text
// pane's code page, with and without regard to case.
#include "FuzzSupport.h"
#include "editor/model/SearchPattern.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzz::Input(data, size).Text();
    QString error;
    const std::optional<SearchPattern> hex = SearchPattern::FromHex(text, &error);
    fuzz::Check(hex ? !hex->bytes.isEmpty() && hex->bytes.size() <= SearchPattern::MaxBytes
                    : !error.isEmpty(),
                "a hex pattern holds 1 to 1024 bytes, or its refusal says why");
    for (const bool matchCase : {true, false}) {
        error.clear();
        const std::optional<SearchPattern> pattern =
            SearchPattern::FromText(text, matchCase, &error);
        if (!pattern) {
            fuzz::Check(!error.isEmpty(), "a refused text pattern says why");
            continue;
        }
        fuzz::Check(pattern->bytes.size() == text.size(), "a character is one byte");
        if (!matchCase) {
            const auto& fold = CaseFold();
            for (const char b : pattern->bytes) {
                const auto code = static_cast<unsigned char>(b);
                fuzz::Check(fold[code] == code, "an any-case pattern is folded");
            }
        }
    }
    return 0;
}
