#include "Journal.h"

#include "core/Checksums.h"
#include "core/FileErrors.h"
#include "core/StopRequest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <libpq-fe.h>
#include <mutex>
#include <sqlite3.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace core {

namespace {

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

// Ends a call to the server that outlasts its deadline, or that a stop request interrupts, by
// shutting the connection's socket: libpq's wait ends at once and the call fails as for a lost
// server. A frozen server answers nothing while its system keeps the connection up, so neither
// the server's own timeouts nor TCP's end that wait.
class CallWatch {
public:
    enum Ended { No, Deadline, Stopped };

    ~CallWatch() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    void Arm(int socket, int timeoutMs, const StopRequest* stop, int stopLevel) {
        {
            std::lock_guard lock(mutex_);
            if (!thread_.joinable()) {
                thread_ = std::thread([this] { Loop(); });
            }
            socket_ = socket;
            deadline_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
            stop_ = stop;
            stopLevel_ = stopLevel;
            ended_ = No;
            armed_ = true;
        }
        wake_.notify_all();
    }

    Ended Disarm() {
        std::lock_guard lock(mutex_);
        armed_ = false;
        return ended_;
    }

private:
    using Clock = std::chrono::steady_clock;

    void Loop() {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (!armed_ || ended_ != No) {
                wake_.wait(lock);
                continue;
            }
            // A stop request is a flag a signal handler raises: looked at every 20 ms.
            const auto until =
                stop_ ? std::min(deadline_, Clock::now() + std::chrono::milliseconds(20))
                      : deadline_;
            wake_.wait_until(lock, until);
            if (!armed_ || ended_ != No) {
                continue;
            }
            if (Clock::now() >= deadline_) {
                ended_ = Deadline;
            } else if (stop_ && stop_->Requested() > stopLevel_) {
                ended_ = Stopped;
            } else {
                continue;
            }
            ::shutdown(socket_, SHUT_RDWR); // the socket lives: its call waits on it
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    bool quit_ = false;
    bool armed_ = false;
    Ended ended_ = No;
    int socket_ = -1;
    Clock::time_point deadline_;
    const StopRequest* stop_ = nullptr;
    int stopLevel_ = 0;
};

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
    // A held number stays held until its bench or a person settles it, and a number found in
    // two chips is marked 'twice': a tool that still hands out numbers whose lease ran out
    // must not share the store.
    {2, {}},
    // What PROGRAM laid into the image besides the number (kept bytes, checksums), and the
    // recipe the run followed.
    {3,
     {"ALTER TABLE journal ADD COLUMN patches TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE journal ADD COLUMN recipe TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE journal ADD COLUMN recipe_sha256 TEXT NOT NULL DEFAULT ''"}},
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
    o[QStringLiteral("patches")] = row.patches;
    o[QStringLiteral("recipe")] = row.recipe;
    o[QStringLiteral("recipe_sha256")] = row.recipeSha256;
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
    // A number past 2^53 is kept as text: a JSON number would round it.
    const QJsonValue serial = o[QStringLiteral("serial")];
    if (serial.isString()) {
        row.serial = serial.toString().toLongLong();
    } else if (!serial.isNull()) {
        row.serial = qint64(serial.toDouble());
    }
    row.result = o[QStringLiteral("result")].toString();
    row.crc32 = o[QStringLiteral("crc32")].toString();
    row.durationMs = qint64(o[QStringLiteral("duration_ms")].toDouble());
    row.version = o[QStringLiteral("version")].toString();
    row.patches = o[QStringLiteral("patches")].toString();
    row.recipe = o[QStringLiteral("recipe")].toString();
    row.recipeSha256 = o[QStringLiteral("recipe_sha256")].toString();
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

const QStringList JournalColumns = {
    "time",        "bench",        "port",    "device", "chip",         "operation",
    "image",       "image_sha256", "series",  "serial", "result",       "crc32",
    "duration_ms", "version",      "patches", "recipe", "recipe_sha256"};

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
    int timeoutSeconds = DefaultTimeout;
    const StopRequest* stop = nullptr;
    int stopLevel = 0; // what stop held when it was named
    CallWatch watch;

    QSqlDatabase Db() const { return QSqlDatabase::database(connection, false); }
    QSqlQuery Query() const { return QSqlQuery(Db()); }

    // Runs call (one call to the server, true when it went well) within the deadline; the
    // deadline or a stop that ends it gives why.
    template <typename Call> bool Watched(Call call, QString* why) {
        const QVariant handle = server ? Db().driver()->handle() : QVariant();
        // Qt names the type by its struct ("pg_conn*") or by libpq's name for it.
        const char* type = handle.typeName();
        PGconn* connection =
            handle.isValid() && (qstrcmp(type, "PGconn*") == 0 || qstrcmp(type, "pg_conn*") == 0)
                ? *static_cast<PGconn* const*>(handle.data())
                : nullptr;
        const int socket = connection ? PQsocket(connection) : -1;
        if (socket < 0) {
            return call();
        }
        watch.Arm(socket, timeoutSeconds * 1000, stop, stopLevel);
        const bool done = call();
        const CallWatch::Ended ended = watch.Disarm();
        if (!done && ended != CallWatch::No && why) {
            *why = ended == CallWatch::Deadline
                       ? QStringLiteral("the journal's server did not answer within %1 s")
                             .arg(timeoutSeconds)
                       : QStringLiteral("a signal ended the wait for the journal's server");
        }
        return done;
    }
    // A statement run within the deadline ("" runs the query as prepared).
    bool Exec(QSqlQuery& query, const QString& statement, QString* why) {
        QString ended;
        const bool done = Watched(
            [&] { return statement.isEmpty() ? query.exec() : query.exec(statement); }, &ended);
        if (!done && why) {
            *why = ended.isEmpty() ? query.lastError().text().trimmed() : ended;
        }
        return done;
    }
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
        // ("u:p#ss@host" is user u, password p, and the rest a fragment), as may its query
        // ("?password=..."): neither is repeated.
        const bool plain = !store.contains(QLatin1Char('@')) && !store.contains(QLatin1Char('?')) &&
                           !store.contains(QLatin1Char('#'));
        const bool safe =
            plain || (url->isValid() && !url->hasFragment() && url->password().isEmpty());
        const QString shown =
            safe ? QStringLiteral("'%1'").arg(url->toDisplayString(
                       QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemovePassword))
                 : QStringLiteral("the address given");
        *why = url->isValid() && url->hasQuery()
                   ? QStringLiteral("%1 with options after '?' is no PostgreSQL address that "
                                    "tms370 takes (a password goes in PGPASSWORD or "
                                    "~/.pgpass); give postgresql://USER@HOST[:PORT]/DB")
                         .arg(shown)
                   : QStringLiteral("%1 is no PostgreSQL address; give "
                                    "postgresql://USER@HOST[:PORT]/DB")
                         .arg(shown);
        return false;
    }
    if (!url->password().isEmpty()) {
        *why = QStringLiteral("a password is never given on the command line: put it in "
                              "PGPASSWORD or ~/.pgpass");
        return false;
    }
    return true;
}

std::unique_ptr<Journal> Journal::Open(const QString& store, QString* why, bool* usage, bool toRead,
                                       int timeoutSeconds) {
    bool usageFault = false;
    if (!usage) {
        usage = &usageFault;
    }
    *usage = false;
    auto p = std::make_unique<Private>();
    p->connection = QStringLiteral("tms370-journal-%1").arg(connectionCount++);
    p->server = IsServerAddress(store);
    p->timeoutSeconds = std::max(1, timeoutSeconds);
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
            // The server ends a statement that waits too long (for another bench's lock), and
            // a bench's transaction left open (the bench frozen) so the others go on.
            const int ms = journal->d->timeoutSeconds * 1000;
            db.setConnectOptions(QStringLiteral("connect_timeout=%1;options='-c statement_timeout="
                                                "%2 -c idle_in_transaction_session_timeout=%2'")
                                     .arg(journal->d->timeoutSeconds)
                                     .arg(ms));
        } else {
            db.setDatabaseName(store);
            // The wait for another bench's change of the file.
            db.setConnectOptions(
                QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(journal->d->timeoutSeconds * 1000));
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
    return d->Exec(query, QString(), why);
}

// A statement that takes no values (PostgreSQL prepares no CREATE).
bool Journal::Exec(const QString& statement, QString* why) {
    QSqlQuery query = d->Query();
    return d->Exec(query, statement, why);
}

void Journal::WatchStop(const StopRequest* stop) {
    d->stop = stop;
    d->stopLevel = stop ? stop->Requested() : 0;
}

bool Journal::Begin(QString* why, bool durable) {
    QSqlQuery query = d->Query();
    // SQLite: what ends a chip (a number used up, a row) reaches the disk before the chip is
    // reported, and with it every change before it; a number is never used twice after a power
    // cut. A hand-out may be lost with the power: all benches of the file lose their chips
    // with it, and the number is simply free again. One flush a chip instead of two.
    if (!d->server && !d->Exec(query,
                               durable ? QStringLiteral("PRAGMA synchronous=FULL")
                                       : QStringLiteral("PRAGMA synchronous=NORMAL"),
                               why)) {
        return false;
    }
    // SQLite: take the write lock now, waiting for another bench's change, rather than
    // meeting a lock at the first write and failing.
    return d->Exec(query, d->server ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"),
                   why);
}

bool Journal::Commit(QString* why) {
    QSqlQuery query = d->Query();
    if (!d->Exec(query, QStringLiteral("COMMIT"), why)) {
        Rollback();
        return false;
    }
    return true;
}

void Journal::Rollback() {
    QSqlQuery query = d->Query();
    d->Exec(query, QStringLiteral("ROLLBACK"), nullptr);
}

bool Journal::Upgrade(QString* why) {
    {
        // Most opens find the schema as this build makes it: one read, no lock.
        QSqlQuery current = d->Query();
        if (d->Exec(current, QStringLiteral("SELECT version FROM schema_version"), nullptr) &&
            current.next() && current.value(0).toInt() == SchemaVersion) {
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
    bool found = false;
    d->Watched(
        [&] {
            found = d->Db().tables().contains(QStringLiteral("schema_version"));
            return true;
        },
        nullptr);
    if (found) {
        if (!d->Exec(query, QStringLiteral("SELECT version FROM schema_version"), why)) {
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
                             int leaseSeconds, quint64 largest) {
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
    // What a bench still holds, even one that died or lost the store, may be in a chip: it is
    // not handed out again here.
    HeldNumber held;
    held.series = series.name;
    held.token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const qint64 fits =
        qint64(std::min<quint64>(largest, quint64(std::numeric_limits<qint64>::max())));
    query.prepare(QStringLiteral("SELECT MIN(number) FROM serials WHERE series = ? AND "
                                 "state = 'returned' AND number <= ?"));
    query.addBindValue(series.name);
    query.addBindValue(fits);
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
        // next is -1 once the series has run past the largest number a journal holds.
        if (next < 0 || (last && next > *last)) {
            return fail(Failure::UsedUp,
                        QStringLiteral("series '%1' is used up: its last number, %2, is given out")
                            .arg(series.name)
                            .arg(last ? *last : std::numeric_limits<qint64>::max()));
        }
        if (next > fits) {
            return fail(Failure::UsedUp,
                        QStringLiteral("series '%1' is used up for this field: its next number, "
                                       "%2, does not fit (the field holds up to %3)")
                            .arg(series.name)
                            .arg(next)
                            .arg(largest));
        }
        held.number = next;
        QSqlQuery advance = d->Query();
        advance.prepare(QStringLiteral("UPDATE series SET next_number = ? WHERE name = ?"));
        advance.addBindValue(next > std::numeric_limits<qint64>::max() - step ? qint64(-1)
                                                                              : next + step);
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
        "series, serial, result, crc32, duration_ms, tool_version, patches, recipe, "
        "recipe_sha256) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
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
    query.addBindValue(Text(row.patches));
    query.addBindValue(Text(row.recipe));
    query.addBindValue(Text(row.recipeSha256));
    return Exec(query, why);
}

// A hand-out a person settled keeps its token, marked, so that its bench's late result is
// known as this hand-out's.
static const QString HandMark = QStringLiteral("hand:");

std::optional<Journal::Fate> Journal::SettleIn(const QString& series, qint64 number,
                                               const QString& token, bool used,
                                               const JournalRow& row, QString* why,
                                               QString* twice) {
    QSqlQuery query = d->Query();
    query.prepare(QStringLiteral("SELECT state, token FROM serials WHERE series = ? AND "
                                 "number = ?") +
                  (d->server ? QStringLiteral(" FOR UPDATE") : QString()));
    query.addBindValue(series);
    query.addBindValue(number);
    if (!Exec(query, why)) {
        return std::nullopt;
    }
    const bool found = query.next();
    const QString state = found ? query.value(0).toString() : QString();
    const QString owner = found ? query.value(1).toString() : QString();
    query.finish();
    if (owner == token && state != QLatin1String("held")) {
        return Fate::Repeated; // this result was written before
    }
    Fate fate = Fate::Settled;
    QString next = used ? QStringLiteral("used") : QStringLiteral("returned");
    if (owner == token || (used && state == QLatin1String("returned")) ||
        (owner == HandMark + token && state == next)) {
        // Still this bench's, or no other chip took it meanwhile.
    } else if (!used || !found) {
        fate = Fate::Stale; // this chip does not hold it: the row alone
        next.clear();
    } else {
        fate = Fate::Twice; // settled by hand and taken again, or the tool of an older store
        next = QStringLiteral("twice");
    }
    if (!next.isEmpty()) {
        query.prepare(QStringLiteral("UPDATE serials SET state = ?, token = ?, lease_until = NULL, "
                                     "bench = ?, port = ? WHERE series = ? AND number = ?"));
        const QVariant none(QMetaType::fromType<QString>());
        query.addBindValue(next);
        query.addBindValue(token);
        query.addBindValue(used ? QVariant(row.bench) : none);
        query.addBindValue(used ? QVariant(row.port) : none);
        query.addBindValue(series);
        query.addBindValue(number);
        if (!Exec(query, why)) {
            return std::nullopt;
        }
    }
    if (!InsertRow(row, why)) {
        return std::nullopt;
    }
    if (fate == Fate::Twice) {
        *twice = TwoChips(series, number);
    }
    return fate;
}

// The words for a number in two chips, naming the verified chips' rows.
QString Journal::TwoChips(const QString& series, qint64 number) {
    QSqlQuery query = d->Query();
    query.prepare(QStringLiteral("SELECT time, bench, port FROM journal WHERE series = ? AND "
                                 "serial = ? AND result = 'ok' ORDER BY id"));
    query.addBindValue(series);
    query.addBindValue(number);
    QStringList rows;
    if (Exec(query, nullptr)) {
        while (query.next()) {
            rows << QStringLiteral("%1 (%2, %3)")
                        .arg(query.value(0).toString(), query.value(1).toString(),
                             query.value(2).toString());
        }
    }
    return QStringLiteral("serial %1 of series '%2' went to two chips: the journal's rows of %3. "
                          "Number one of them again, then settle it: tms370 journal --series %2 "
                          "--settle %1:used")
        .arg(number)
        .arg(series, rows.join(QStringLiteral(" and ")));
}

bool Journal::Settle(const HeldNumber& held, bool used, const JournalRow& row, QString* why) {
    std::optional<Fate> fate;
    QString twice;
    if (Begin(why)) {
        fate = SettleIn(held.series, held.number, held.token, used, row, why, &twice);
        if (!fate) {
            Rollback();
        } else if (!Commit(why)) {
            fate.reset();
        }
    }
    if (!fate) {
        QJsonObject entry;
        entry[QStringLiteral("series")] = held.series;
        entry[QStringLiteral("number")] = QString::number(held.number);
        entry[QStringLiteral("token")] = held.token;
        entry[QStringLiteral("used")] = used;
        QJsonObject kept = JournalRowJson(row);
        kept[QStringLiteral("serial")] = QString::number(held.number);
        entry[QStringLiteral("row")] = kept;
        QString lost;
        if (KeepPending(entry, &lost)) {
            *why = QStringLiteral("the journal was not told this chip's result (%1). It is kept "
                                  "in %2; the next run on this port writes it to the journal, "
                                  "and serial %3 of series '%4' stays held until then")
                       .arg(*why, d->pendingFile)
                       .arg(held.number)
                       .arg(held.series);
        } else {
            *why = QStringLiteral("the journal was not told this chip's result (%1), and it could "
                                  "not be kept either (%2): serial %3 of series '%4' stays held "
                                  "in the journal, %5. Give it to no other chip; once this chip "
                                  "is dealt with, settle it: tms370 journal --series %4 "
                                  "--settle %3:%6")
                       .arg(*why, lost)
                       .arg(held.number)
                       .arg(held.series,
                            used ? QStringLiteral("and this chip, which verified, holds it")
                                 : QStringLiteral("though this chip, which failed, does not "
                                                  "use it"),
                            used ? QStringLiteral("used") : QStringLiteral("free"));
        }
        return false;
    }
    if (*fate == Fate::Twice) {
        *why = twice;
        return false;
    }
    if (*fate == Fate::Stale) {
        *why = QStringLiteral("serial %1 of series '%2' was no longer held by this bench (it was "
                              "settled by hand meanwhile); the row of this chip, which does not "
                              "use it, is added")
                   .arg(held.number)
                   .arg(held.series);
        return false;
    }
    return true;
}

bool Journal::SettleByHand(const QString& series, qint64 number, bool used, const QString& bench,
                           QString* why, bool* usage) {
    *usage = false;
    if (!Begin(why)) {
        return false;
    }
    auto refuse = [&](const QString& text) {
        Rollback();
        *why = text;
        *usage = true;
        return false;
    };
    QSqlQuery query = d->Query();
    query.prepare(QStringLiteral("SELECT state, token, bench, port, lease_until FROM serials "
                                 "WHERE series = ? AND number = ?") +
                  (d->server ? QStringLiteral(" FOR UPDATE") : QString()));
    query.addBindValue(series);
    query.addBindValue(number);
    if (!Exec(query, why)) {
        Rollback();
        return false;
    }
    const QString name = QStringLiteral("serial %1 of series '%2'").arg(number).arg(series);
    if (!query.next()) {
        return refuse(QStringLiteral("%1 was never handed out").arg(name));
    }
    const QString state = query.value(0).toString();
    const QString token = query.value(1).toString();
    const std::optional<qint64> lease = NumberOrNothing(query.value(4));
    if (state == QLatin1String("used") || state == QLatin1String("returned")) {
        return refuse(QStringLiteral("%1 is %2 already: nothing to settle")
                          .arg(name, state == QLatin1String("used")
                                         ? QStringLiteral("used")
                                         : QStringLiteral("given back")));
    }
    if (state == QLatin1String("held") && lease && *lease > NowMs()) {
        const QString until = JournalTime(QDateTime::fromMSecsSinceEpoch(*lease, Qt::UTC));
        return refuse(QStringLiteral("%1 is on bench %2, port %3, until %4: a chip may be on its "
                                     "way. Settle it once that bench has stopped, after %4")
                          .arg(name, query.value(2).toString(), query.value(3).toString(), until));
    }
    query.finish();
    query.prepare(QStringLiteral("UPDATE serials SET state = ?, token = ?, lease_until = NULL "
                                 "WHERE series = ? AND number = ?"));
    query.addBindValue(used ? QStringLiteral("used") : QStringLiteral("returned"));
    query.addBindValue(token.startsWith(HandMark) ? token : HandMark + token);
    query.addBindValue(series);
    query.addBindValue(number);
    JournalRow row;
    row.time = QDateTime::currentDateTimeUtc();
    row.bench = bench;
    row.operation = QStringLiteral("SETTLE");
    row.series = series;
    row.serial = number;
    row.result = used ? QStringLiteral("used") : QStringLiteral("given back");
    if (!Exec(query, why) || !InsertRow(row, why)) {
        Rollback();
        return false;
    }
    return Commit(why);
}

std::optional<QList<WaitingNumber>> Journal::Waiting(QString* why) {
    QSqlQuery query = d->Query();
    query.prepare(QStringLiteral("SELECT series, number, state, bench, port, lease_until FROM "
                                 "serials WHERE state IN ('held', 'twice') ORDER BY series, "
                                 "number"));
    if (!Exec(query, why)) {
        return std::nullopt;
    }
    QList<WaitingNumber> list;
    while (query.next()) {
        WaitingNumber n;
        n.series = query.value(0).toString();
        n.number = query.value(1).toLongLong();
        n.twice = query.value(2).toString() == QLatin1String("twice");
        n.bench = query.value(3).toString();
        n.port = query.value(4).toString();
        if (const std::optional<qint64> lease = NumberOrNothing(query.value(5))) {
            n.leaseUntil = QDateTime::fromMSecsSinceEpoch(*lease, Qt::UTC);
        }
        list << n;
    }
    return list;
}

bool Journal::Add(const JournalRow& row, QString* why) {
    if (Begin(why) && InsertRow(row, why) && Commit(why)) {
        return true;
    }
    Rollback();
    QJsonObject entry;
    entry[QStringLiteral("row")] = JournalRowJson(row);
    QString lost;
    if (!KeepPending(entry, &lost)) {
        *why = QStringLiteral("%1; the row could not be kept either (%2)").arg(*why, lost);
    }
    return false;
}

void Journal::SetPendingFile(const QString& path) {
    d->pendingFile = path;
}

// Adds entry to the pending file, on the disk before this returns; false, with why, when it
// cannot be kept there.
bool Journal::KeepPending(const QJsonObject& entry, QString* why) {
    if (d->pendingFile.isEmpty()) {
        *why = QStringLiteral("no file was named to keep it in");
        return false;
    }
    QDir().mkpath(QFileInfo(d->pendingFile).absolutePath());
    QFile file(d->pendingFile);
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    const bool kept =
        FileCall(
            file, [&] { return file.open(QIODevice::WriteOnly | QIODevice::Append); }, why) &&
        FileCall(
            file,
            [&] {
                return file.write(line) == line.size() && file.flush() &&
                       ::fsync(file.handle()) == 0;
            },
            why);
    if (!kept) {
        *why = QStringLiteral("%1: %2").arg(d->pendingFile, *why);
    }
    return kept;
}

bool Journal::ApplyPending(QString* why) {
    if (d->pendingFile.isEmpty() || !QFile::exists(d->pendingFile)) {
        return true;
    }
    QFile file(d->pendingFile);
    const auto open = [&] { return file.open(QIODevice::ReadOnly); };
    if (!FileCall(file, open, why)) {
        *why = QStringLiteral("cannot read %1: %2").arg(d->pendingFile, *why);
        return false;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    QList<QByteArray> left;
    QStringList twice;
    QString unreached;
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
        if (!Begin(&unreached)) {
            left << line; // still out of reach: kept for the next run
            continue;
        }
        // Reached, the entry is applied or, when the store refuses it, dropped: an entry that
        // can never be written must not block every run after it.
        std::optional<Fate> fate;
        QString words;
        QString refused;
        if (entry.contains(QStringLiteral("token"))) {
            const QJsonValue number = entry[QStringLiteral("number")];
            fate = SettleIn(entry[QStringLiteral("series")].toString(),
                            number.isString() ? number.toString().toLongLong()
                                              : qint64(number.toDouble()),
                            entry[QStringLiteral("token")].toString(),
                            entry[QStringLiteral("used")].toBool(), row, &refused, &words);
        } else if (InsertRow(row, &refused)) {
            fate = Fate::Settled;
        }
        if (!fate) {
            Rollback();
        } else if (Commit(&refused) && *fate == Fate::Twice) {
            twice << words;
        }
    }
    if (left.isEmpty()) {
        QFile::remove(d->pendingFile);
    } else {
        // What is left replaces the file whole, or the file stays as it was.
        QSaveFile rest(d->pendingFile);
        if (rest.open(QIODevice::WriteOnly)) {
            rest.write(left.join('\n') + '\n');
            rest.commit();
        }
        twice.prepend(QStringLiteral("what the last run on this port kept for the journal could "
                                     "not be written: %1")
                          .arg(unreached));
    }
    *why = twice.join(QStringLiteral("\n"));
    return twice.isEmpty();
}

std::optional<QList<JournalRow>> Journal::Rows(const QString& series, const QDateTime& since,
                                               QString* why) {
    QString sql = QStringLiteral(
        "SELECT time, bench, port, device, chip, operation, image, image_sha256, series, serial, "
        "result, crc32, duration_ms, tool_version, patches, recipe, recipe_sha256 FROM journal "
        "WHERE 1 = 1");
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
        row.patches = query.value(14).toString();
        row.recipe = query.value(15).toString();
        row.recipeSha256 = query.value(16).toString();
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
        if (next >= 0 && (!s.last || next <= *s.last)) {
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
            } else if (state == QLatin1String("twice")) {
                s.twice = count;
            } else {
                s.givenBack = count;
                s.next = query.value(2).toLongLong(); // given back numbers go first
            }
        }
    }
    return list;
}

} // namespace core
