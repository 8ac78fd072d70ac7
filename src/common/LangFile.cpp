#include "LangFile.h"

#include "platform/Windows1252.h"

#include <QIODevice>

namespace Module1 {

std::optional<QString> ReadLangRecord(QIODevice& file, int n) {
    if (n < 1 || !file.seek(static_cast<qint64>(n - 1) * LangRecordLength)) {
        return std::nullopt;
    }
    const QByteArray record = file.read(LangRecordLength);
    if (record.size() != LangRecordLength) {
        return std::nullopt;
    }
    // Spaces pad the text; zero bytes are treated as padding too, as some editors write them.
    QByteArray text = record.mid(LangRecordLength - LangTextLength);
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto isPad = [&text](qsizetype i) { return text[i] == ' ' || text[i] == '\0'; };
    while (begin < end && isPad(begin)) {
        ++begin;
    }
    while (end > begin && isPad(end - 1)) {
        --end;
    }
    return platform::DecodeWindows1252(text.mid(begin, end - begin), QLatin1Char('?'));
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
