#include "SearchPattern.h"

#include "platform/Windows1252.h"

#include <QCoreApplication>

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("SearchPattern", text);
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return -1;
}

std::optional<SearchPattern> Checked(SearchPattern pattern, QString* error) {
    if (pattern.bytes.isEmpty()) {
        *error = Tr("Enter the bytes or the text to find.");
        return std::nullopt;
    }
    if (pattern.bytes.size() > SearchPattern::MaxBytes) {
        *error = Tr("At most %1 bytes can be looked for at once.").arg(SearchPattern::MaxBytes);
        return std::nullopt;
    }
    return pattern;
}

} // namespace

std::optional<QByteArray> SearchPattern::HexBytes(const QString& text, QString* error) {
    QByteArray bytes;
    int high = -1;
    for (const QChar c : text) {
        if (c.isSpace()) {
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0) {
            *error = Tr("\"%1\" is not a hex digit. Enter bytes as pairs of hex digits, "
                        "for example DE AD BE EF.")
                         .arg(c);
            return std::nullopt;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.append(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) {
        *error = Tr("The last byte has one hex digit only. Enter bytes as pairs of hex digits, "
                    "for example DE AD BE EF.");
        return std::nullopt;
    }
    return bytes;
}

std::optional<QByteArray> SearchPattern::TextBytes(const QString& text, QString* error) {
    QByteArray bytes;
    for (const QChar c : text) {
        const int code = platform::ToWindows1252(c);
        if (code == 0 && !c.isNull()) {
            *error = Tr("\"%1\" is not in the code page of the text pane (Windows-1252), so no "
                        "byte can match it.")
                         .arg(c);
            return std::nullopt;
        }
        bytes.append(static_cast<char>(code));
    }
    return bytes;
}

std::optional<SearchPattern> SearchPattern::FromHex(const QString& text, QString* error) {
    std::optional<QByteArray> bytes = HexBytes(text, error);
    if (!bytes) {
        return std::nullopt;
    }
    SearchPattern pattern;
    pattern.shown = text.simplified();
    pattern.bytes = *bytes;
    return Checked(pattern, error);
}

std::optional<SearchPattern> SearchPattern::FromText(const QString& text, bool matchCase,
                                                     QString* error) {
    std::optional<QByteArray> bytes = TextBytes(text, error);
    if (!bytes) {
        return std::nullopt;
    }
    SearchPattern pattern;
    pattern.shown = text;
    pattern.matchCase = matchCase;
    pattern.bytes = *bytes;
    if (!matchCase) {
        const auto& fold = CaseFold();
        for (char& b : pattern.bytes) {
            b = static_cast<char>(fold[static_cast<unsigned char>(b)]);
        }
    }
    return Checked(pattern, error);
}

const std::array<unsigned char, 256>& CaseFold() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (int code = 0; code < 256; ++code) {
            const QChar lower =
                platform::FromWindows1252(static_cast<unsigned char>(code)).toLower();
            const int folded = platform::ToWindows1252(lower);
            t[code] = static_cast<unsigned char>(folded != 0 ? folded : code);
        }
        return t;
    }();
    return table;
}
