#include "CellText.h"

#include "PageGeometry.h"
#include "platform/Windows1252.h"

#include <algorithm>

namespace CellText {

namespace {

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
    if (byte <= 32 || byte == 0x7F || !platform::IsDefinedWindows1252(byte)) {
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

std::optional<qint64> ParseOffset(const QString& text) {
    QString digits = text.trimmed();
    int base = 10;
    if (digits.endsWith(QLatin1Char('h'), Qt::CaseInsensitive)) {
        digits.chop(1);
        base = 16;
    } else if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        digits.remove(0, 2);
        base = 16;
    } else if (digits.startsWith(QLatin1Char('$'))) {
        digits.remove(0, 1);
        base = 16;
    }
    const auto isDigit = [base](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
               (base == 16 && ((c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
                               (c >= QLatin1Char('A') && c <= QLatin1Char('F'))));
    };
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), isDigit)) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok, base);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QString PageLabel(qint64 length, qint64 pageStart, const QString& word) {
    const qint64 pages = FloorDiv(length - 1, PageGeometry::BytesPerPage) + 1;
    const qint64 page = pages - FloorDiv(length - pageStart, PageGeometry::BytesPerPage);
    return QStringLiteral("%1 %2 %3").arg(page).arg(word).arg(pages);
}

} // namespace CellText
