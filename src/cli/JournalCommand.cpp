#include "Commands.h"

#include "ExitCode.h"
#include "platform/SettingsStore.h"
#include "production/Journal.h"
#include "production/ProductionSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTextStream>

namespace cli {

namespace {

QString FieldText(const QJsonValue& value) {
    if (value.isNull()) {
        return QString();
    }
    if (value.isDouble()) {
        return QString::number(qint64(value.toDouble()));
    }
    return value.toString();
}

} // namespace

void WriteTable(QTextStream& out, const QStringList& header, const QList<QStringList>& lines) {
    QList<qsizetype> widths;
    for (const QString& name : header) {
        widths << name.size();
    }
    for (const QStringList& line : lines) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            widths[i] = std::max(widths[i], line[i].size());
        }
    }
    auto write = [&](const QStringList& line) {
        QString text;
        for (qsizetype i = 0; i < line.size(); ++i) {
            text += i + 1 < line.size() ? line[i].leftJustified(widths[i] + 2) : line[i];
        }
        out << text << '\n';
    };
    write(header);
    for (const QStringList& line : lines) {
        write(line);
    }
}

namespace {

QString Optional(const std::optional<qint64>& value) {
    return value ? QString::number(*value) : QStringLiteral("-");
}

void WriteLines(QTextStream& out, const QString& format, const QStringList& header,
                const QList<QStringList>& lines) {
    if (format == QLatin1String("csv")) {
        out << header.join(QLatin1Char(',')) << '\n';
        for (const QStringList& line : lines) {
            out << line.join(QLatin1Char(',')) << '\n';
        }
    } else {
        WriteTable(out, header, lines);
    }
    out.flush();
}

} // namespace

int ListJournal(const Request& request, ToolServices& services) {
    const QString store =
        request.journal.isEmpty()
            ? services.settings.GetSetting(QStringLiteral("Production"), QStringLiteral("Journal"))
            : request.journal;
    auto fail = [&](const QString& why, int code) {
        services.err << "tms370: journal: " << why << '\n';
        services.err.flush();
        return code;
    };
    if (store.isEmpty()) {
        return fail(QStringLiteral("give --journal STORE"), UsageError);
    }
    QString why;
    bool usage = false;
    const int timeout = request.storeTimeout > 0
                            ? request.storeTimeout
                            : core::ProductionSettings::Load(services.settings).storeTimeoutSeconds;
    const std::unique_ptr<core::Journal> journal =
        core::Journal::Open(store, &why, &usage, true, timeout);
    if (!journal) {
        return fail(why, usage ? UsageError : StoreFailed);
    }
    QTextStream& out = services.out;
    if (request.settleNumber) {
        const QString series =
            request.seriesFilter.isEmpty() ? QStringLiteral("default") : request.seriesFilter;
        if (!journal->SettleByHand(series, *request.settleNumber, request.settleUsed,
                                   QSysInfo::machineHostName(), &why, &usage)) {
            return fail(why, usage ? UsageError : StoreFailed);
        }
        out << "serial " << *request.settleNumber << " of series '" << series
            << "' settled: " << (request.settleUsed ? "used" : "given back") << '\n';
        out.flush();
        return Success;
    }
    if (request.held) {
        const auto waiting = journal->Waiting(&why);
        if (!waiting) {
            return fail(why, StoreFailed);
        }
        QList<QStringList> lines;
        for (const core::WaitingNumber& n : *waiting) {
            if (request.seriesFilter.isEmpty() || n.series == request.seriesFilter) {
                lines << QStringList{n.series,
                                     QString::number(n.number),
                                     n.twice ? QStringLiteral("two chips") : QStringLiteral("held"),
                                     n.bench.isEmpty() ? QStringLiteral("-") : n.bench,
                                     n.port.isEmpty() ? QStringLiteral("-") : n.port,
                                     n.leaseUntil ? core::JournalTime(*n.leaseUntil)
                                                  : QStringLiteral("-")};
            }
        }
        WriteLines(out, request.listFormat,
                   {"series", "serial", "state", "bench", "port", "lease until"}, lines);
        return Success;
    }
    if (request.summary) {
        const auto summary = journal->Summary(&why);
        if (!summary) {
            return fail(why, StoreFailed);
        }
        const QStringList header = {"series", "start",      "step", "last",     "next",
                                    "used",   "given back", "held", "two chips"};
        QList<QStringList> lines;
        for (const core::SeriesSummary& s : *summary) {
            if (!request.seriesFilter.isEmpty() && s.name != request.seriesFilter) {
                continue;
            }
            lines << QStringList{s.name,
                                 QString::number(s.start),
                                 QString::number(s.step),
                                 Optional(s.last),
                                 s.next ? QString::number(*s.next) : QStringLiteral("used up"),
                                 QString::number(s.used),
                                 QString::number(s.givenBack),
                                 QString::number(s.held),
                                 QString::number(s.twice)};
        }
        WriteLines(out, request.listFormat, header, lines);
        return Success;
    }
    const auto rows = journal->Rows(request.seriesFilter, request.since, &why);
    if (!rows) {
        return fail(why, StoreFailed);
    }
    if (request.listFormat == QLatin1String("json")) {
        QJsonArray array;
        for (const core::JournalRow& row : *rows) {
            array.append(core::JournalRowJson(row));
        }
        out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    } else if (request.listFormat == QLatin1String("csv")) {
        out << core::JournalCsv(*rows);
    } else {
        const QStringList shown = {"time",   "bench",  "port",   "chip",  "operation",
                                   "series", "serial", "result", "crc32", "duration_ms"};
        QList<QStringList> lines;
        for (const core::JournalRow& row : *rows) {
            const QJsonObject o = core::JournalRowJson(row);
            QStringList fields;
            for (const QString& column : shown) {
                fields << FieldText(o[column]);
            }
            lines << fields;
        }
        WriteTable(out, shown, lines);
    }
    out.flush();
    return Success;
}

} // namespace cli
