#pragma once

#include "FreePort.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

// A PostgreSQL server of a test's own: made with initdb in a temporary folder, listening on a
// free loopback port and a socket in that folder, stopped and removed at the end. Run as root,
// it runs as the postgres user, who owns the folder. Host connections need the password, which
// the tests give the way a bench does: in PGPASSWORD.
class PostgresServer {
public:
    static constexpr char User[] = "tms370";
    static constexpr char Password[] = "bench-secret";

    ~PostgresServer() {
        if (running_) {
            Run(QStringLiteral("pg_ctl"), {"-D", Data(), "-m", "immediate", "-w", "stop"});
        }
    }

    // Makes and starts the server with a database "journal"; "" when it runs, else why not.
    // fsync off for tests; on for measurements.
    QString Start(bool fsync = false) {
        bin_ = Binaries();
        if (bin_.isEmpty() || !dir_.isValid()) {
            return QStringLiteral("no PostgreSQL under /usr/lib/postgresql, or no scratch folder");
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
        if (!Run(QStringLiteral("initdb"),
                 {"-D", Data(), "-U", User, "--pwfile", password.fileName(), "--auth-local=trust",
                  "--auth-host=scram-sha-256", "--no-sync", "-E", "UTF8"})) {
            return QStringLiteral("initdb failed: ") + output_;
        }
        port_ = FreePort();
        const QString options =
            QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1%3")
                .arg(port_)
                .arg(dir_.path(), fsync ? QString() : QStringLiteral(" -c fsync=off"));
        running_ = Run(QStringLiteral("pg_ctl"),
                       {"-D", Data(), "-o", options, "-l", dir_.filePath("log"), "-w", "start"});
        if (!running_) {
            QFile log(dir_.filePath(QStringLiteral("log")));
            log.open(QIODevice::ReadOnly);
            return QStringLiteral("the server did not start: ") + log.readAll();
        }
        if (!Run(QStringLiteral("createdb"),
                 {"-h", dir_.path(), "-p", QString::number(port_), "-U", User, "journal"})) {
            return QStringLiteral("createdb failed: ") + output_;
        }
        return QString();
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
            .arg(QLatin1String(User), QString::number(port_));
    }

private:
    // The folder of the newest server binaries; "" where none is installed.
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

    QString Data() const { return dir_.filePath(QStringLiteral("data")); }

    // Runs a server tool (as postgres when needed); its output is kept in output_.
    bool Run(const QString& tool, const QStringList& arguments) {
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
        output_ = QString::fromLocal8Bit(process.readAll());
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QTemporaryDir dir_;
    QString bin_;
    QString output_;
    quint16 port_ = 0;
    bool asPostgres_ = false;
    bool running_ = false;
};
