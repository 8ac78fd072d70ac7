#include "CodePage.h"

namespace CodePage {

namespace {

// 80h..9Fh; 0 marks the bytes without a character. Every other byte is its Latin-1 code.
constexpr char16_t High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

bool IsDefined(unsigned char b) {
    return b < 0x80 || b > 0x9F || High[b - 0x80] != 0;
}

QChar ToUnicode(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F) {
        const char16_t u = High[b - 0x80];
        return u == 0 ? QChar(0xFFFD) : QChar(u);
    }
    return QChar(b);
}

int FromUnicode(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
        return u;
    }
    for (int i = 0; i < 32; ++i) {
        if (High[i] != 0 && High[i] == u) {
            return 0x80 + i;
        }
    }
    return -1;
}

QString Decode(const QByteArray& bytes, QChar replacement) {
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text.append(IsDefined(b) ? ToUnicode(b) : replacement);
    }
    return text;
}

} // namespace CodePage
