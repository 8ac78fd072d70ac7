#include "ResultJson.h"

#include "ExitCode.h"
#include "core/Checksums.h"

#include <QJsonArray>

namespace cli {

namespace {

QJsonValue TextOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

} // namespace

QJsonObject ResultJson(const ResultFacts& facts) {
    QJsonArray differences;
    for (const core::Difference& d : facts.differences) {
        differences.append(QJsonObject{{"address", qint64(facts.firstAddress) + d.offset},
                                       {"expected", d.expected},
                                       {"found", d.found}});
    }
    if (facts.markedAt) {
        // The adapter tells only where: neither byte is known here.
        differences.append(QJsonObject{{"address", qint64(facts.firstAddress) + *facts.markedAt},
                                       {"expected", QJsonValue::Null},
                                       {"found", QJsonValue::Null}});
    }
    const auto hex = [&](quint32 value, int digits) {
        return facts.block
                   ? QJsonValue(
                         QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper())
                   : QJsonValue(QJsonValue::Null);
    };
    const QByteArray block = facts.block.value_or(QByteArray());
    return QJsonObject{
        {"operation", facts.operation},
        {"device", TextOrNull(facts.device)},
        {"chip", TextOrNull(facts.chip)},
        {"port", TextOrNull(facts.port)},
        {"result", facts.result},
        {"exit_code", facts.exitCode},
        {"bytes", facts.block ? int(block.size()) : facts.bytes},
        {"crc32", hex(core::Crc32(block), 8)},
        {"sum16", hex(core::ByteSum(block), 4)},
        {"file", TextOrNull(facts.file)},
        {"format", facts.format && !facts.file.isEmpty()
                       ? QJsonValue(core::ImageFormatName(*facts.format))
                       : QJsonValue(QJsonValue::Null)},
        {"serial", facts.serial ? QJsonValue(*facts.serial) : QJsonValue(QJsonValue::Null)},
        {"differences", differences},
        {"differences_total", facts.differencesTotal},
        {"duration_ms", facts.durationMs},
        {"message", facts.message},
    };
}

QString ResultWordOf(int exitCode) {
    switch (exitCode) {
    case UsageError:
        return QStringLiteral("usage");
    case FileFailed:
        return QStringLiteral("file error");
    case StoreFailed:
        return QStringLiteral("journal error");
    case Success:
        return QStringLiteral("ok");
    case VerifyMismatch:
        return QStringLiteral("mismatch");
    case AdapterSilent:
        return QStringLiteral("no answer");
    case PortFailed:
        return QStringLiteral("port error");
    default:
        return QStringLiteral("cancelled"); // 129, 130, 143: a signal
    }
}

} // namespace cli
