#include "CellText.h"

#include "platform/Windows1252.h"

namespace CellText {

namespace {

constexpr qint64 BytesPerPage = 320;

// Floor division; the page arithmetic never sees a negative numerator, but it stays sound.
qint64 FloorDiv(qint64 a, qint64 b) {
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

QString ByteToHex(int value) {
    if (value == -1) {
        return QStringLiteral("0");
    }
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QString ByteToText(int value) {
    if (value == -1) {
        return QString();
    }
    const auto byte = static_cast<unsigned char>(value);
    if (byte <= 32 || !platform::IsDefinedWindows1252(byte)) {
        return QStringLiteral(".");
    }
    return QString(platform::FromWindows1252(byte));
}

int HexToByte(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1String("-1")) {
        return 0;
    }
    bool ok = false;
    const int value = trimmed.toInt(&ok, 16);
    return ok ? (value & 0xFF) : 0;
}

QString FormatOffset(qint64 offset, bool hex) {
    return QString::number(offset, hex ? 16 : 10).toUpper().rightJustified(10, QLatin1Char('0'));
}

QString PageLabel(qint64 length, qint64 pageStart, const QString& word) {
    const qint64 pages = FloorDiv(length - 1, BytesPerPage) + 1;
    const qint64 page = pages - FloorDiv(length - pageStart, BytesPerPage);
    return QStringLiteral("%1 %2 %3").arg(page).arg(word).arg(pages);
}

} // namespace CellText
