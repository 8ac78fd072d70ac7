#include "CodePage.h"

#include "platform/Windows1252.h"

namespace CodePage {

bool IsDefined(unsigned char b) {
    return b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D;
}

QChar ToUnicode(unsigned char b) {
    return platform::FromWindows1252(b);
}

int FromUnicode(QChar c) {
    const int b = platform::ToWindows1252(c);
    return (b == 0 && !c.isNull()) ? -1 : b;
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
