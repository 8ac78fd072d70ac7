#include "LangFile.h"

#include "platform/Windows1252.h"

#include <QIODevice>

namespace Module1 {

namespace {

// A character of the code page that shows as itself: no control code, none of the codes
// the code page leaves undefined.
bool IsPrintable(unsigned char code) {
    return code >= 0x20 && code != 0x7F && platform::IsDefinedWindows1252(code);
}

} // namespace

std::optional<QString> ReadLangRecord(QIODevice& file, int n) {
    if (n < 1 || !file.seek(static_cast<qint64>(n - 1) * LangRecordLength)) {
        return std::nullopt;
    }
    const QByteArray record = file.read(LangRecordLength);
    if (record.size() != LangRecordLength) {
        return std::nullopt;
    }
    // Spaces pad the text; some editors pad with zero bytes instead.
    const QByteArray text = record.mid(LangRecordLength - LangTextLength);
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == ' ') {
        ++begin;
    }
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\0')) {
        --end;
    }
    for (qsizetype i = begin; i < end; ++i) {
        if (!IsPrintable(static_cast<unsigned char>(text[i]))) {
            return std::nullopt;
        }
    }
    return platform::DecodeWindows1252(text.mid(begin, end - begin));
}

QByteArray MakeLangRecord(const QString& text) {
    QByteArray record(LangRecordLength, ' ');
    for (int i = 0; i < 4; ++i) {
        record[i] = '\0';
    }
    const qsizetype length = std::min<qsizetype>(text.size(), LangTextLength);
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text[i];
        const int b = platform::ToWindows1252(c);
        const bool missing = b == 0 && !c.isNull();
        record[LangRecordLength - LangTextLength + i] = static_cast<char>(missing ? '?' : b);
    }
    return record;
}

} // namespace Module1
