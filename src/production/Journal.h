#pragma once

#include "core/Outcome.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <limits>
#include <memory>
#include <optional>

class QSqlDatabase;
class QSqlQuery;
class QJsonObject;

namespace core {
class StopRequest;
}

// The production journal: a row for every operation run on a bench, and the series of serial
// numbers those benches share. The store is an SQLite file for one bench, or a PostgreSQL
// database for a line of them; every change of the numbers is one transaction, so however many
// processes share a store, no number is ever handed to two chips at once.
namespace core {

// One operation as the journal keeps it.
struct JournalRow {
    QDateTime time; // UTC, when it started
    QString bench;  // host name
    QString port;   // as given ("Comm3", "/dev/ttyUSB0")
    QString device; // the system device the port resolved to
    QString chip;
    QString operation; // "PROGRAM", "READ", ...
    QString image;     // the image file, "" for none
    QString imageSha256;
    QString series;               // "" without a serial number
    std::optional<qint64> serial; // the number written, if any
    QString result;               // ok, mismatch, no answer, short, port error, cancelled
    QString crc32;                // of what the chip holds, when known: "1A2B3C4D"
    qint64 durationMs = 0;
    QString version; // the tool's
    // PROGRAM: what it laid into the image besides the number ("kept 16 bytes at 1E10h from
    // the chip; crc16 3A5Fh at 1FFEh over 1E00h-1FFDh").
    QString patches;
    QString recipe; // the recipe file followed, and its SHA-256
    QString recipeSha256;
};

// What a run asks of a series: its name, and how to begin it when it is new. A series that
// exists keeps its own start, step and last number; giving others is refused.
struct SeriesRequest {
    QString name = QStringLiteral("default");
    std::optional<qint64> start;
    std::optional<qint64> step;
    std::optional<qint64> last;
};

// A number handed to one bench for one chip, until it is used up or given back. The chip may
// hold it from the moment it is written, so the store never hands a held number out again by
// itself: its bench settles it (at once, or with its next run from what it kept), or a person.
struct HeldNumber {
    QString series;
    qint64 number = 0;
    QString token; // this hand-out's own, so a late answer cannot settle another bench's
};

// A number that waits for a person: held (by a bench now, or by one that stopped or could not
// tell the store its result) or in two chips.
struct WaitingNumber {
    QString series;
    qint64 number = 0;
    bool twice = false;
    QString bench;
    QString port;
    std::optional<QDateTime> leaseUntil; // a running bench's, until then its own
};

struct SeriesSummary {
    QString name;
    qint64 start = 0;
    qint64 step = 1;
    std::optional<qint64> last;
    std::optional<qint64> next; // nothing when the series is used up
    qint64 used = 0;
    qint64 givenBack = 0; // waiting to be handed out again
    qint64 held = 0;      // on a bench now, or left for a person to settle
    qint64 twice = 0;     // each in two chips, until a person settles it
};

class Journal {
public:
    // Why a call failed.
    enum class Failure {
        None,
        Usage,  // the request contradicts the store (another start, an unknown series)
        UsedUp, // the series has no number left
        Store,  // the store cannot be reached or refused the change
    };

    struct Taken {
        std::optional<HeldNumber> number;
        Failure failure = Failure::None;
        QString why;
    };

    // "postgresql://USER@HOST[:PORT]/DB" (or postgres://) is a PostgreSQL server; anything else
    // an SQLite file, made on first use. The password comes from PGPASSWORD or ~/.pgpass; a
    // store that names one is refused. Makes or upgrades the schema in place. Nothing, with
    // why, when the store cannot be used; usage tells whether the fault is in the text given.
    // To read, an SQLite file must exist already (it is not made empty).
    // Every call to a server ends within timeoutSeconds (connecting, each statement, the
    // commit): one that does not fails as an unreachable server does.
    static std::unique_ptr<Journal> Open(const QString& store, QString* why, bool* usage = nullptr,
                                         bool toRead = false, int timeoutSeconds = DefaultTimeout);
    static constexpr int DefaultTimeout = 5;
    // A store text that names a PostgreSQL server.
    static bool IsServerAddress(const QString& store);
    // A server's address taken apart: host, port, user and database, or why not (a password
    // in it is refused, and never repeated in why).
    static bool ParseServerAddress(const QString& store, QUrl* url, QString* why);

    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // The schema version this build makes and reads.
    // (2: a held number is never handed out again by the store itself; older tools did so.)
    static constexpr int SchemaVersion = 3;

    // A store call waiting on the server ends at once when stop is raised (by a signal) above
    // the level it has now; nullptr for none.
    void WatchStop(const StopRequest* stop);

    // Hands the series' next number that a field holding up to largest takes to (bench, port):
    // a number given back first (the lowest), else the next of the series. leaseSeconds is how
    // long the bench works on it; until then no person can settle it.
    Taken Take(const SeriesRequest& series, const QString& bench, const QString& port,
               int leaseSeconds, quint64 largest = std::numeric_limits<quint64>::max());

    // Ends a hand-out, in one transaction with the operation's row: used up when the chip
    // verified, given back otherwise. False, with why (the whole story, with what to do), when
    // the store could not be told (the result is kept in the pending file, or the number stays
    // held for a person when even that fails), or when the number was no longer this bench's
    // (settled by hand meanwhile; a verified chip with it then makes it a number in two chips).
    bool Settle(const HeldNumber& held, bool used, const JournalRow& row, QString* why);
    // A person's word on a number left held or in two chips: used (a chip keeps it) or given
    // back; a row says who settled it. Refused while the number's lease runs.
    // usage: the store answered, and refused.
    bool SettleByHand(const QString& series, qint64 number, bool used, const QString& bench,
                      QString* why, bool* usage);
    // The numbers that wait for a person, by series and number.
    std::optional<QList<WaitingNumber>> Waiting(QString* why);
    // Adds a row for an operation without a number.
    bool Add(const JournalRow& row, QString* why);

    // The rows, oldest first; series "" for all, since invalid for all time.
    std::optional<QList<JournalRow>> Rows(const QString& series, const QDateTime& since,
                                          QString* why);
    std::optional<QList<SeriesSummary>> Summary(QString* why);

    // What reaches the store later: a settlement or row that the store refused for want of a
    // connection is written to this file, and the next Open with the same file applies it
    // before anything else is done. "" keeps nothing.
    void SetPendingFile(const QString& path);
    // Applies what the pending file holds; false, with why, when the store is still out of
    // reach (the file is kept), or when a verified chip's number had gone to another chip
    // meanwhile (the journal then says so).
    bool ApplyPending(QString* why);

private:
    struct Private;
    explicit Journal(std::unique_ptr<Private> d);
    bool Begin(QString* why, bool durable = true);
    bool Commit(QString* why);
    void Rollback();
    bool Exec(QSqlQuery& query, QString* why);
    bool Exec(const QString& statement, QString* why);
    bool InsertRow(const JournalRow& row, QString* why);
    bool Upgrade(QString* why);
    bool KeepPending(const QJsonObject& entry, QString* why);
    enum class Fate { Settled, Repeated, Stale, Twice };
    std::optional<Fate> SettleIn(const QString& series, qint64 number, const QString& token,
                                 bool used, const JournalRow& row, QString* why, QString* twice);
    QString TwoChips(const QString& series, qint64 number);

    std::unique_ptr<Private> d;
};

// The text a row's time is kept and compared in: "2026-12-07T09:30:00.123Z".
QString JournalTime(const QDateTime& time);

// The words the journal keeps: a result (ok, mismatch, no answer, short, port error,
// cancelled; file error and refused for what never reached the chip), a file's SHA-256 in hex
// ("" when it cannot be read), a CRC-32 as "1A2B3C4D".
QString JournalResult(Status status);
QString FileSha256(const QString& path);
QString Crc32Text(const QByteArray& block);

// The file in the user's data folder where a bench keeps what the store could not take, one
// for each store and port device.
QString PendingFileFor(const QString& store, const QString& device);

// The column names of a row, in order, and the rows as CSV under a header row naming them.
extern const QStringList JournalColumns;
QString JournalCsv(const QList<JournalRow>& rows);

// A row with the columns' names as keys: time, bench, port, device, chip, operation, image,
// image_sha256, series, serial, result, crc32, duration_ms, version.
QJsonObject JournalRowJson(const JournalRow& row);

} // namespace core
