#include "Journal.h"

#include "Checksums.h"
#include "FileErrors.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <QVariant>
#include <atomic>
#include <sqlite3.h>

namespace core {

namespace {

// How long a bench waits for another to finish its change of an SQLite store.
constexpr int BusyTimeoutMs = 5000;
// How long a bench waits for a PostgreSQL server to answer at all.
constexpr int ConnectTimeoutS = 5;
// Held by the one connection that makes or upgrades a PostgreSQL schema.
constexpr qint64 SchemaLockKey = 370022;

std::atomic<int> connectionCount{0};

// A bound value that may be missing, typed so PostgreSQL takes it as a number.
QVariant OptionalNumber(const std::optional<qint64>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<qint64>());
}

std::optional<qint64> NumberOrNothing(const QVariant& value) {
    if (value.isNull()) {
        return std::nullopt;
    }
    return value.toLongLong();
}

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// Text columns hold "" rather than NULL for what is not there.
QVariant Text(const QString& text) {
    return text.isNull() ? QVariant(QStringLiteral("")) : text;
}

// Each step takes the schema from the version before it to its own; a store is brought up to
// date in place, step by step, the first time a newer tms370 opens it.
struct SchemaStep {
    int version;
    QList<const char*> statements; // "%ID%" is the driver's auto-numbered key
};

const QList<SchemaStep> SchemaSteps = {
    {1,
     {"CREATE TABLE series (name TEXT PRIMARY KEY, start_number BIGINT NOT NULL, "
      "step BIGINT NOT NULL, last_number BIGINT, next_number BIGINT NOT NULL, "
      "created TEXT NOT NULL)",
      // state: held (on a bench until lease_until), used (in a verified chip) or returned
      // (given back, handed out again first).
      "CREATE TABLE serials (series TEXT NOT NULL, number BIGINT NOT NULL, "
      "state TEXT NOT NULL, bench TEXT, port TEXT, token TEXT, lease_until BIGINT, "
      "PRIMARY KEY (series, number))",
      "CREATE INDEX serials_state ON serials (series, state, number)",
      "CREATE TABLE journal (id %ID%, time TEXT NOT NULL, bench TEXT NOT NULL, "
      "port TEXT NOT NULL, device TEXT NOT NULL, chip TEXT NOT NULL, "
      "operation TEXT NOT NULL, image TEXT NOT NULL, image_sha256 TEXT NOT NULL, "
      "series TEXT NOT NULL, serial BIGINT, result TEXT NOT NULL, crc32 TEXT NOT NULL, "
      "duration_ms BIGINT NOT NULL, tool_version TEXT NOT NULL)",
      "CREATE INDEX journal_time ON journal (time)"}},
};

} // namespace

QJsonObject JournalRowJson(const JournalRow& row) {
    QJsonObject o;
    o[QStringLiteral("time")] = JournalTime(row.time);
    o[QStringLiteral("bench")] = row.bench;
    o[QStringLiteral("port")] = row.port;
    o[QStringLiteral("device")] = row.device;
    o[QStringLiteral("chip")] = row.chip;
    o[QStringLiteral("operation")] = row.operation;
    o[QStringLiteral("image")] = row.image;
    o[QStringLiteral("image_sha256")] = row.imageSha256;
    o[QStringLiteral("series")] = row.series;
    o[QStringLiteral("serial")] = row.serial ? QJsonValue(double(*row.serial)) : QJsonValue();
    o[QStringLiteral("result")] = row.result;
    o[QStringLiteral("crc32")] = row.crc32;
    o[QStringLiteral("duration_ms")] = double(row.durationMs);
    o[QStringLiteral("version")] = row.version;
    return o;
}

namespace {

JournalRow RowFromJson(const QJsonObject& o) {
    JournalRow row;
    row.time = QDateTime::fromString(o[QStringLiteral("time")].toString(), Qt::ISODateWithMs);
    row.bench = o[QStringLiteral("bench")].toString();
    row.port = o[QStringLiteral("port")].toString();
    row.device = o[QStringLiteral("device")].toString();
    row.chip = o[QStringLiteral("chip")].toString();
    row.operation = o[QStringLiteral("operation")].toString();
    row.image = o[QStringLiteral("image")].toString();
    row.imageSha256 = o[QStringLiteral("image_sha256")].toString();
    row.series = o[QStringLiteral("series")].toString();
    if (!o[QStringLiteral("serial")].isNull()) {
        row.serial = qint64(o[QStringLiteral("serial")].toDouble());
    }
    row.result = o[QStringLiteral("result")].toString();
    row.crc32 = o[QStringLiteral("crc32")].toString();
    row.durationMs = qint64(o[QStringLiteral("duration_ms")].toDouble());
    row.version = o[QStringLiteral("version")].toString();
    return row;
}

} // namespace

QString JournalResult(Status status) {
    switch (status) {
    case Status::Done:
        return QStringLiteral("ok");
    case Status::Mismatch:
        return QStringLiteral("mismatch");
    case Status::NoAnswer:
        return QStringLiteral("no answer");
    case Status::ShortAnswer:
        return QStringLiteral("short");
    case Status::Cancelled:
    case Status::Aborted:
        return QStringLiteral("cancelled");
    case Status::FileError:
        return QStringLiteral("file error");
    case Status::Refused:
        return QStringLiteral("refused");
    default:
        return QStringLiteral("port error");
    }
}

QString FileSha256(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

QString Crc32Text(const QByteArray& block) {
    return QStringLiteral("%1").arg(Crc32(block), 8, 16, QLatin1Char('0')).toUpper();
}

QString PendingFileFor(const QString& store, const QString& device) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(folder);
    const QByteArray key = QCryptographicHash::hash((store + QLatin1Char('\n') + device).toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .left(16);
    return QDir(folder).filePath(
        QStringLiteral("journal-pending-%1.jsonl").arg(QLatin1String(key)));
}

const QStringList JournalColumns = {"time",      "bench", "port",         "device", "chip",
                                    "operation", "image", "image_sha256", "series", "serial",
                                    "result",    "crc32", "duration_ms",  "version"};

QString JournalCsv(const QList<JournalRow>& rows) {
    auto field = [](const QJsonValue& value) {
        QString text = value.isNull()     ? QString()
                       : value.isDouble() ? QString::number(qint64(value.toDouble()))
                                          : value.toString();
        if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
            text.contains(QLatin1Char('\n'))) {
            text = QLatin1Char('"') + text.replace(QLatin1String("\""), QLatin1String("\"\"")) +
                   QLatin1Char('"');
        }
        return text;
    };
    QString csv = JournalColumns.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const JournalRow& row : rows) {
        const QJsonObject o = JournalRowJson(row);
        QStringList fields;
        for (const QString& column : JournalColumns) {
            fields << field(o[column]);
        }
        csv += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return csv;
}

QString JournalTime(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

struct Journal::Private {
    QString connection;
    bool server = false; // PostgreSQL
    QString pendingFile;

    QSqlDatabase Db() const { return QSqlDatabase::database(connection, false); }
    QSqlQuery Query() const { return QSqlQuery(Db()); }
};

Journal::Journal(std::unique_ptr<Private> p) : d(std::move(p)) {}

Journal::~Journal() {
    {
        QSqlDatabase db = d->Db();
        db.close();
    }
    QSqlDatabase::removeDatabase(d->connection);
}

bool Journal::IsServerAddress(const QString& store) {
    return store.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           store.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool Journal::ParseServerAddress(const QString& store, QUrl* url, QString* why) {
    *url = QUrl(store, QUrl::StrictMode);
    const QString database = url->path().mid(1);
    if (!url->isValid() || database.isEmpty() || database.contains(QLatin1Char('/')) ||
        url->hasQuery() || url->hasFragment()) {
        // A text that does not parse may hold a password where the parser did not see one
        // ("u:p#ss@host" is user u, password p, and the rest a fragment): it is not repeated.
        const bool safe = !store.contains(QLatin1Char('@')) ||
                          (url->isValid() && !url->hasFragment() && url->password().isEmpty());
        *why = QStringLiteral("%1 is no PostgreSQL address; give "
                              "postgresql://USER@HOST[:PORT]/DB")
                   .arg(safe ? QStringLiteral("'%1'").arg(url->toDisplayString())
                             : QStringLiteral("the address given"));
        return false;
    }
    if (!url->password().isEmpty()) {
        *why = QStringLiteral("a password is never given on the command line: put it in "
                              "PGPASSWORD or ~/.pgpass");
        return false;
    }
    return true;
}

std::unique_ptr<Journal> Journal::Open(const QString& store, QString* why, bool* usage,
                                       bool toRead) {
    bool usageFault = false;
    if (!usage) {
        usage = &usageFault;
    }
    *usage = false;
    auto p = std::make_unique<Private>();
    p->connection = QStringLiteral("tms370-journal-%1").arg(connectionCount++);
    p->server = IsServerAddress(store);
    const QString driver = p->server ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        *why = p->server ? QStringLiteral("the PostgreSQL driver of Qt is not installed "
                                          "(Debian: libqt6sql6-psql)")
                         : QStringLiteral("the SQLite driver of Qt is not installed (Debian: "
                                          "libqt6sql6-sqlite)");
        return nullptr;
    }
    if (store.isEmpty()) {
        *why = QStringLiteral("no journal named");
        *usage = true;
        return nullptr;
    }
    if (!p->server && toRead && !QFileInfo(store).isFile()) {
        *why = QStringLiteral("there is no journal at %1").arg(store);
        return nullptr;
    }
    QUrl url;
    if (p->server && !ParseServerAddress(store, &url, why)) {
        *usage = true;
        return nullptr;
    }
    std::unique_ptr<Journal> journal(new Journal(std::move(p)));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, journal->d->connection);
        if (journal->d->server) {
            db.setHostName(url.host());
            if (url.port() > 0) {
                db.setPort(url.port());
            }
            db.setUserName(url.userName());
            db.setDatabaseName(url.path().mid(1));
            db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(ConnectTimeoutS));
        } else {
            db.setDatabaseName(store);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
        }
        if (!db.open()) {
            *why = db.lastError().text().trimmed();
            return nullptr;
        }
        if (!journal->d->server) {
            // Each run is a process of its own: left to itself SQLite would copy the log into
            // the file and flush both at every close, twice the flushes of the chip itself.
            // The log is copied once it has grown instead (1000 pages).
            const QVariant handle = db.driver()->handle();
            if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
                if (sqlite3* connection = *static_cast<sqlite3* const*>(handle.data())) {
                    sqlite3_db_config(connection, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
                }
            }
            // Benches of one host share the file; readers never wait for a writer.
            // The journal mode stays with the file: it is set once, by the run that makes it.
            QSqlQuery pragma(db);
            const bool wal =
                pragma.exec(QStringLiteral("PRAGMA journal_mode")) && pragma.next() &&
                pragma.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
            pragma.finish();
            if ((!wal && !pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) ||
                !pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))) {
                *why = pragma.lastError().text().trimmed();
                return nullptr;
            }
        }
    }
    if (!journal->Upgrade(why)) {
        return nullptr;
    }
    return journal;
}

bool Journal::Exec(QSqlQuery& query, QString* why) {
    if (query.exec()) {
        return true;
    }
    *why = query.lastError().text().trimmed();
    return false;
}

// A statement that takes no values (PostgreSQL prepares no CREATE).
bool Journal::Exec(const QString& statement, QString* why) {
    QSqlQuery query = d->Query();
    if (query.exec(statement)) {
        return true;
    }
    *why = query.lastError().text().trimmed();
    return false;
}

bool Journal::Begin(QString* why, bool durable) {
    QSqlQuery query = d->Query();
    // SQLite: what ends a chip (a number used up, a row) reaches the disk before the chip is
    // reported, and with it every change before it; a number is never used twice after a power
    // cut. A hand-out may be lost with the power: all benches of the file lose their chips
    // with it, and the number is simply free again. One flush a chip instead of two.
    if (!d->server && !query.exec(durable ? QStringLiteral("PRAGMA synchronous=FULL")
                                          : QStringLiteral("PRAGMA synchronous=NORMAL"))) {
        *why = query.lastError().text().trimmed();
        return false;
    }
    // SQLite: take the write lock now, waiting for another bench's change, rather than
    // meeting a lock at the first write and failing.
    if (!query.exec(d->server ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"))) {
        *why = query.lastError().text().trimmed();
        return false;
    }
    return true;
}

bool Journal::Commit(QString* why) {
    QSqlQuery query = d->Query();
    if (!query.exec(QStringLiteral("COMMIT"))) {
        *why = query.lastError().text().trimmed();
        Rollback();
        return false;
    }
    return true;
}

void Journal::Rollback() {
    QSqlQuery query = d->Query();
    query.exec(QStringLiteral("ROLLBACK"));
}

bool Journal::Upgrade(QString* why) {
    {
        // Most opens find the schema as this build makes it: one read, no lock.
        QSqlQuery current = d->Query();
        if (current.exec(QStringLiteral("SELECT version FROM schema_version")) && current.next() &&
            current.value(0).toInt() == SchemaVersion) {
            return true;
        }
    }
    if (!Begin(why)) {
        return false;
    }
    QSqlQuery query = d->Query();
    if (d->server) {
        // Two benches that meet a new database at once: one makes the tables, the other
        // waits and finds them.
        query.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
        query.addBindValue(SchemaLockKey);
        if (!Exec(query, why)) {
            Rollback();
            return false;
        }
    }
    int version = 0;
    if (d->Db().tables().contains(QStringLiteral("schema_version"))) {
        if (!query.exec(QStringLiteral("SELECT version FROM schema_version"))) {
            *why = query.lastError().text().trimmed();
            Rollback();
            return false;
        }
        version = query.next() ? query.value(0).toInt() : 0;
    } else {
        if (!Exec(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"), why) ||
            !Exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (0)"), why)) {
            Rollback();
            return false;
        }
    }
    if (version > SchemaVersion) {
        Rollback();
        *why = QStringLiteral("the journal was made by a newer tms370 (schema %1; this one "
                              "reads up to %2)")
                   .arg(version)
                   .arg(SchemaVersion);
        return false;
    }
    const QString id = d->server ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                 : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    for (const SchemaStep& step : SchemaSteps) {
        if (step.version <= version) {
            continue;
        }
        for (const char* statement : step.statements) {
            if (!Exec(QString::fromLatin1(statement).replace(QLatin1String("%ID%"), id), why)) {
                Rollback();
                return false;
            }
        }
        query.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
        query.addBindValue(step.version);
        if (!Exec(query, why)) {
            Rollback();
            return false;
        }
    }
    return Commit(why);
}

Journal::Taken Journal::Take(const SeriesRequest& series, const QString& bench, const QString& port,
                             int leaseSeconds) {
    Taken taken;
    auto fail = [&](Failure failure, const QString& why) {
        Rollback();
        taken.failure = failure;
        taken.why = why;
        return taken;
    };
    QString why;
    if (!Begin(&why, false)) {
        taken.failure = Failure::Store;
        taken.why = why;
        return taken;
    }
    QSqlQuery query = d->Query();
    if (series.start) {
        query.prepare(QStringLiteral(
            "INSERT INTO series (name, start_number, step, last_number, next_number, created) "
            "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (name) DO NOTHING"));
        query.addBindValue(series.name);
        query.addBindValue(*series.start);
        query.addBindValue(series.step.value_or(1));
        query.addBindValue(OptionalNumber(series.last));
        query.addBindValue(*series.start);
        query.addBindValue(JournalTime(QDateTime::currentDateTimeUtc()));
        if (!Exec(query, &why)) {
            return fail(Failure::Store, why);
        }
    }
    // The series' row is the lock every hand-out of the series goes through.
    query.prepare(QStringLiteral("SELECT start_number, step, last_number, next_number FROM "
                                 "series WHERE name = ?") +
                  (d->server ? QStringLiteral(" FOR UPDATE") : QString()));
    query.addBindValue(series.name);
    if (!Exec(query, &why)) {
        return fail(Failure::Store, why);
    }
    if (!query.next()) {
        return fail(Failure::Usage, QStringLiteral("series '%1' does not exist yet: give "
                                                   "--serial-start to begin it")
                                        .arg(series.name));
    }
    const qint64 start = query.value(0).toLongLong();
    const qint64 step = query.value(1).toLongLong();
    const std::optional<qint64> last = NumberOrNothing(query.value(2));
    const qint64 next = query.value(3).toLongLong();
    if (series.start && *series.start != start) {
        return fail(Failure::Usage,
                    QStringLiteral("series '%1' began at %2, not %3: leave --serial-start out "
                                   "to continue it, or name another --series")
                        .arg(series.name)
                        .arg(start)
                        .arg(*series.start));
    }
    if (series.step && *series.step != step) {
        return fail(Failure::Usage, QStringLiteral("series '%1' steps by %2, not %3")
                                        .arg(series.name)
                                        .arg(step)
                                        .arg(*series.step));
    }
    if (series.last && series.last != last) {
        return fail(Failure::Usage, QStringLiteral("series '%1' ends at %2, not %3")
                                        .arg(series.name, last ? QString::number(*last)
                                                               : QStringLiteral("no set number"))
                                        .arg(*series.last));
    }
    const qint64 now = NowMs();
    // What this bench and port held from a run that died, and leases that ran out, go back.
    query.prepare(QStringLiteral(
        "UPDATE serials SET state = 'returned', bench = NULL, port = NULL, token = NULL, "
        "lease_until = NULL WHERE series = ? AND state = 'held' AND ((bench = ? AND port = ?) "
        "OR lease_until < ?)"));
    query.addBindValue(series.name);
    query.addBindValue(bench);
    query.addBindValue(port);
    query.addBindValue(now);
    if (!Exec(query, &why)) {
        return fail(Failure::Store, why);
    }
    HeldNumber held;
    held.series = series.name;
    held.token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    query.prepare(
        QStringLiteral("SELECT MIN(number) FROM serials WHERE series = ? AND state = 'returned'"));
    query.addBindValue(series.name);
    if (!Exec(query, &why)) {
        return fail(Failure::Store, why);
    }
    const std::optional<qint64> givenBack =
        query.next() ? NumberOrNothing(query.value(0)) : std::nullopt;
    if (givenBack) {
        held.number = *givenBack;
        query.prepare(QStringLiteral("UPDATE serials SET state = 'held', bench = ?, port = ?, "
                                     "token = ?, lease_until = ? WHERE series = ? AND number = ?"));
    } else {
        if (last && next > *last) {
            return fail(Failure::UsedUp, QStringLiteral("series '%1' is used up: its last "
                                                        "number, %2, is given out")
                                             .arg(series.name)
                                             .arg(*last));
        }
        held.number = next;
        QSqlQuery advance = d->Query();
        advance.prepare(QStringLiteral("UPDATE series SET next_number = ? WHERE name = ?"));
        advance.addBindValue(next + step);
        advance.addBindValue(series.name);
        if (!Exec(advance, &why)) {
            return fail(Failure::Store, why);
        }
        query.prepare(QStringLiteral("INSERT INTO serials (bench, port, token, lease_until, "
                                     "series, number, state) VALUES (?, ?, ?, ?, ?, ?, 'held')"));
    }
    query.addBindValue(bench);
    query.addBindValue(port);
    query.addBindValue(held.token);
    query.addBindValue(now + qint64(leaseSeconds) * 1000);
    query.addBindValue(series.name);
    query.addBindValue(held.number);
    if (!Exec(query, &why)) {
        return fail(Failure::Store, why);
    }
    if (!Commit(&why)) {
        taken.failure = Failure::Store;
        taken.why = why;
        return taken;
    }
    taken.number = held;
    return taken;
}

bool Journal::InsertRow(const JournalRow& row, QString* why) {
    QSqlQuery query = d->Query();
    query.prepare(QStringLiteral(
        "INSERT INTO journal (time, bench, port, device, chip, operation, image, image_sha256, "
        "series, serial, result, crc32, duration_ms, tool_version) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(JournalTime(row.time));
    query.addBindValue(Text(row.bench));
    query.addBindValue(Text(row.port));
    query.addBindValue(Text(row.device));
    query.addBindValue(Text(row.chip));
    query.addBindValue(Text(row.operation));
    query.addBindValue(Text(row.image));
    query.addBindValue(Text(row.imageSha256));
    query.addBindValue(Text(row.series));
    query.addBindValue(OptionalNumber(row.serial));
    query.addBindValue(Text(row.result));
    query.addBindValue(Text(row.crc32));
    query.addBindValue(row.durationMs);
    query.addBindValue(Text(row.version));
    return Exec(query, why);
}

bool Journal::Settle(const HeldNumber& held, bool used, const JournalRow& row, QString* why) {
    bool reached = Begin(why);
    bool kept = false;
    if (reached) {
        QSqlQuery query = d->Query();
        query.prepare(QStringLiteral(
            "UPDATE serials SET state = ?, lease_until = NULL, token = NULL, bench = ?, port = ? "
            "WHERE series = ? AND number = ? AND token = ? AND state = 'held'"));
        query.addBindValue(used ? QStringLiteral("used") : QStringLiteral("returned"));
        query.addBindValue(used ? QVariant(row.bench) : QVariant(QMetaType::fromType<QString>()));
        query.addBindValue(used ? QVariant(row.port) : QVariant(QMetaType::fromType<QString>()));
        query.addBindValue(held.series);
        query.addBindValue(held.number);
        query.addBindValue(held.token);
        reached = Exec(query, why);
        kept = reached && query.numRowsAffected() == 1;
        reached = reached && InsertRow(row, why) && Commit(why);
        if (!reached) {
            Rollback();
        }
    }
    if (!reached) {
        QJsonObject entry;
        entry[QStringLiteral("series")] = held.series;
        entry[QStringLiteral("number")] = double(held.number);
        entry[QStringLiteral("token")] = held.token;
        entry[QStringLiteral("used")] = used;
        entry[QStringLiteral("row")] = JournalRowJson(row);
        KeepPending(entry);
        return false;
    }
    if (!kept) {
        *why = QStringLiteral("serial %1 of series '%2' was no longer held by this bench (its "
                              "lease ran out); check the journal for another chip with it")
                   .arg(held.number)
                   .arg(held.series);
        return false;
    }
    return true;
}

bool Journal::Add(const JournalRow& row, QString* why) {
    if (Begin(why) && InsertRow(row, why) && Commit(why)) {
        return true;
    }
    Rollback();
    QJsonObject entry;
    entry[QStringLiteral("row")] = JournalRowJson(row);
    KeepPending(entry);
    return false;
}

void Journal::SetPendingFile(const QString& path) {
    d->pendingFile = path;
}

void Journal::KeepPending(const QJsonObject& entry) {
    if (d->pendingFile.isEmpty()) {
        return;
    }
    QFile file(d->pendingFile);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
        file.flush();
    }
}

bool Journal::ApplyPending(QString* why) {
    if (d->pendingFile.isEmpty() || !QFile::exists(d->pendingFile)) {
        return true;
    }
    QFile file(d->pendingFile);
    const auto open = [&] { return file.open(QIODevice::ReadOnly); };
    if (!FileCall(file, open, why)) {
        return false;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    const QString pendingFile = d->pendingFile;
    d->pendingFile.clear(); // what fails now is kept below, once
    QList<QByteArray> left;
    for (const QByteArray& line : lines) {
        if (line.trimmed().isEmpty()) {
            continue;
        }
        if (!left.isEmpty()) {
            left << line;
            continue;
        }
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        const JournalRow row = RowFromJson(entry[QStringLiteral("row")].toObject());
        if (!Begin(why)) {
            left << line; // still out of reach: kept for the next run
            continue;
        }
        // Reached, the entry is applied or, when the store refuses it, dropped: an entry that
        // can never be written must not block every run after it.
        bool reached = true;
        if (entry.contains(QStringLiteral("token"))) {
            QSqlQuery query = d->Query();
            query.prepare(QStringLiteral(
                "UPDATE serials SET state = ?, lease_until = NULL, token = NULL WHERE "
                "series = ? AND number = ? AND token = ? AND state = 'held'"));
            query.addBindValue(entry[QStringLiteral("used")].toBool() ? QStringLiteral("used")
                                                                      : QStringLiteral("returned"));
            query.addBindValue(entry[QStringLiteral("series")].toString());
            query.addBindValue(qint64(entry[QStringLiteral("number")].toDouble()));
            query.addBindValue(entry[QStringLiteral("token")].toString());
            reached = Exec(query, why);
        }
        reached = reached && InsertRow(row, why) && Commit(why);
        if (!reached) {
            Rollback();
        }
    }
    d->pendingFile = pendingFile;
    if (left.isEmpty()) {
        QFile::remove(pendingFile);
        return true;
    }
    QFile rest(pendingFile);
    if (rest.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        rest.write(left.join('\n') + '\n');
    }
    return false;
}

std::optional<QList<JournalRow>> Journal::Rows(const QString& series, const QDateTime& since,
                                               QString* why) {
    QString sql = QStringLiteral(
        "SELECT time, bench, port, device, chip, operation, image, image_sha256, series, serial, "
        "result, crc32, duration_ms, tool_version FROM journal WHERE 1 = 1");
    if (!series.isEmpty()) {
        sql += QStringLiteral(" AND series = ?");
    }
    if (since.isValid()) {
        sql += QStringLiteral(" AND time >= ?");
    }
    QSqlQuery query = d->Query();
    query.setForwardOnly(true);
    query.prepare(sql + QStringLiteral(" ORDER BY id"));
    if (!series.isEmpty()) {
        query.addBindValue(series);
    }
    if (since.isValid()) {
        query.addBindValue(JournalTime(since));
    }
    if (!Exec(query, why)) {
        return std::nullopt;
    }
    QList<JournalRow> rows;
    while (query.next()) {
        JournalRow row;
        row.time = QDateTime::fromString(query.value(0).toString(), Qt::ISODateWithMs);
        row.bench = query.value(1).toString();
        row.port = query.value(2).toString();
        row.device = query.value(3).toString();
        row.chip = query.value(4).toString();
        row.operation = query.value(5).toString();
        row.image = query.value(6).toString();
        row.imageSha256 = query.value(7).toString();
        row.series = query.value(8).toString();
        row.serial = NumberOrNothing(query.value(9));
        row.result = query.value(10).toString();
        row.crc32 = query.value(11).toString();
        row.durationMs = query.value(12).toLongLong();
        row.version = query.value(13).toString();
        rows << row;
    }
    return rows;
}

std::optional<QList<SeriesSummary>> Journal::Summary(QString* why) {
    QSqlQuery query = d->Query();
    query.prepare(QStringLiteral(
        "SELECT name, start_number, step, last_number, next_number FROM series ORDER BY name"));
    if (!Exec(query, why)) {
        return std::nullopt;
    }
    QList<SeriesSummary> list;
    while (query.next()) {
        SeriesSummary s;
        s.name = query.value(0).toString();
        s.start = query.value(1).toLongLong();
        s.step = query.value(2).toLongLong();
        s.last = NumberOrNothing(query.value(3));
        const qint64 next = query.value(4).toLongLong();
        if (!s.last || next <= *s.last) {
            s.next = next;
        }
        list << s;
    }
    for (SeriesSummary& s : list) {
        query.prepare(QStringLiteral("SELECT state, COUNT(*), MIN(number) FROM serials WHERE "
                                     "series = ? GROUP BY state"));
        query.addBindValue(s.name);
        if (!Exec(query, why)) {
            return std::nullopt;
        }
        while (query.next()) {
            const QString state = query.value(0).toString();
            const qint64 count = query.value(1).toLongLong();
            if (state == QLatin1String("used")) {
                s.used = count;
            } else if (state == QLatin1String("held")) {
                s.held = count;
            } else {
                s.givenBack = count;
                s.next = query.value(2).toLongLong(); // given back numbers go first
            }
        }
    }
    return list;
}

} // namespace core
