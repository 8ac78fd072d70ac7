#include "Windows1252.h"

namespace platform {

namespace {

// Codes 80h..9Fh, where the code page differs from Latin-1; 0 marks an undefined code.
constexpr char16_t HighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

int ToWindows1252(QChar ch) {
    const char16_t u = ch.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
        return u;
    }
    for (int i = 0; i < 32; ++i) {
        if (HighControls[i] != 0 && HighControls[i] == u) {
            return 0x80 + i;
        }
    }
    return 0;
}

QChar FromWindows1252(unsigned char code) {
    if (code >= 0x80 && code < 0xA0 && HighControls[code - 0x80] != 0) {
        return QChar(HighControls[code - 0x80]);
    }
    return QChar(code);
}

bool IsDefinedWindows1252(unsigned char code) {
    return code < 0x80 || code >= 0xA0 || HighControls[code - 0x80] != 0;
}

QString DecodeWindows1252(const QByteArray& bytes, QChar replacement) {
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        text.append(IsDefinedWindows1252(code) ? FromWindows1252(code) : replacement);
    }
    return text;
}

} // namespace platform
