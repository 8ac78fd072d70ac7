#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

// A PostgreSQL server of a test's own: made with initdb in a temporary folder, listening on a
// free loopback port and a socket in that folder, stopped and removed at the end. Run as root,
// it runs as the postgres user, who owns the folder. Host connections need the password, which
// the tests give the way a bench does: in PGPASSWORD.
class PostgresServer {
public:
    static constexpr char User[] = "tms370";
    static constexpr char Password[] = "bench-secret";

    ~PostgresServer() { Stop(); }

    // The folder of the server binaries; "" where none is installed.
    static QString Binaries() {
        QDir lib(QStringLiteral("/usr/lib/postgresql"));
        QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(versions.begin(), versions.end(),
                  [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
        for (const QString& version : versions) {
            const QString bin = lib.filePath(version + QStringLiteral("/bin"));
            if (QFile::exists(bin + QStringLiteral("/initdb"))) {
                return bin;
            }
        }
        return QString();
    }

    // Makes and starts the server with a database "journal"; "" when it runs, else why not.
    // fsync off for tests; on for measurements.
    QString Start(bool fsync = false) {
        bin_ = Binaries();
        if (bin_.isEmpty()) {
            return QStringLiteral("no PostgreSQL server binaries under /usr/lib/postgresql");
        }
        if (!dir_.isValid()) {
            return QStringLiteral("no temporary folder");
        }
        if (::geteuid() == 0) {
            const passwd* postgres = ::getpwnam("postgres");
            if (!postgres ||
                ::chown(qPrintable(dir_.path()), postgres->pw_uid, postgres->pw_gid) != 0) {
                return QStringLiteral("no postgres user to run the server as");
            }
            asPostgres_ = true;
        }
        QFile password(dir_.filePath(QStringLiteral("pw")));
        password.open(QIODevice::WriteOnly);
        password.write(Password);
        password.close();
        password.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QString out;
        if (!Run(QStringLiteral("initdb"),
                 {"-D", Data(), "-U", User, "--pwfile", password.fileName(), "--auth-local=trust",
                  "--auth-host=scram-sha-256", "--no-sync", "-E", "UTF8"},
                 &out)) {
            return QStringLiteral("initdb failed: ") + out;
        }
        port_ = FreePort();
        fsync_ = fsync;
        if (!Restart()) {
            return QStringLiteral("the server did not start: ") + Log();
        }
        if (!Run(QStringLiteral("createdb"),
                 {"-h", dir_.path(), "-p", QString::number(port_), "-U", User, "journal"}, &out)) {
            return QStringLiteral("createdb failed: ") + out;
        }
        return QString();
    }

    // Starts the server again after Stop.
    bool Restart() {
        QString out;
        const QString options =
            QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1%3")
                .arg(port_)
                .arg(dir_.path(), fsync_ ? QString() : QStringLiteral(" -c fsync=off"));
        running_ =
            Run(QStringLiteral("pg_ctl"),
                {"-D", Data(), "-o", options, "-l", dir_.filePath("log"), "-w", "start"}, &out);
        return running_;
    }

    void Stop() {
        if (running_) {
            QString out;
            Run(QStringLiteral("pg_ctl"), {"-D", Data(), "-m", "immediate", "-w", "stop"}, &out);
            running_ = false;
        }
    }

    // Freezes the server, as a machine that stops answering, and wakes it again: the
    // postmaster and its children (each of them leads its own session).
    void Freeze(bool frozen) {
        QFile pid(Data() + QStringLiteral("/postmaster.pid"));
        if (!pid.open(QIODevice::ReadOnly)) {
            return;
        }
        const QByteArray postmaster = pid.readLine().trimmed();
        ::kill(postmaster.toInt(), frozen ? SIGSTOP : SIGCONT);
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            // "pid (name) state ppid ...": the name may hold blanks, not ')'.
            if (stat.open(QIODevice::ReadOnly) &&
                stat.readAll().split(')').value(1).split(' ').value(2) == postmaster) {
                ::kill(entry.toInt(), frozen ? SIGSTOP : SIGCONT);
            }
        }
    }

    QString Url() const {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/journal")
            .arg(QLatin1String(User))
            .arg(port_);
    }
    QString Log() const {
        QFile log(dir_.filePath(QStringLiteral("log")));
        log.open(QIODevice::ReadOnly);
        return QString::fromLocal8Bit(log.readAll());
    }

private:
    // A loopback port nothing listens on now.
    static quint16 FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        quint16 port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
        ::close(fd);
        return port;
    }

    QString Data() const { return dir_.filePath(QStringLiteral("data")); }

    bool Run(const QString& tool, const QStringList& arguments, QString* out) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(dir_.path());
        const QString program = bin_ + QLatin1Char('/') + tool;
        if (asPostgres_) {
            process.start(QStringLiteral("runuser"),
                          QStringList{"-u", "postgres", "--", program} + arguments);
        } else {
            process.start(program, arguments);
        }
        const bool finished = process.waitForFinished(60000);
        *out = QString::fromLocal8Bit(process.readAll());
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QTemporaryDir dir_;
    QString bin_;
    quint16 port_ = 0;
    bool asPostgres_ = false;
    bool running_ = false;
    bool fsync_ = false;
};
