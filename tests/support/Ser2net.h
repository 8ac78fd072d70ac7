#pragma once

#include "FreePort.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>

// The real ser2net on loopback: a raw and an RFC 2217 accepter, each in front of a terminal.
class Ser2net {
public:
    ~Ser2net() { Stop(); }

    static bool Installed() { return !QStandardPaths::findExecutable("ser2net").isEmpty(); }

    // Starts it with its files in folder; true once both accepters take connections.
    bool Start(const QString& folder, const QString& rawTty, const QString& rfcTty) {
        rawPort = FreePort();
        rfcPort = FreePort();
        QFile config(folder + "/ser2net.yaml");
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("connection: &raw\n"
                                    "  accepter: tcp,127.0.0.1,%1\n"
                                    "  connector: serialdev,%2,9600n81,local\n"
                                    "connection: &rfc\n"
                                    "  accepter: telnet(rfc2217),tcp,127.0.0.1,%3\n"
                                    "  connector: serialdev,%4,9600n81,local\n")
                         .arg(QString::number(rawPort), rawTty, QString::number(rfcPort), rfcTty)
                         .toUtf8());
        config.close();
        process.start("ser2net",
                      {"-n", "-d", "-u", "-c", config.fileName(), "-P", folder + "/ser2net.pid"});
        if (!process.waitForStarted(5000) ||
            !QTest::qWaitFor([this] { return Accepts(rawPort) && Accepts(rfcPort); }, 5000)) {
            return false;
        }
        QTest::qWait(200); // the probes' sessions let go of the ports
        return true;
    }
    void Stop() {
        process.terminate();
        process.waitForFinished(3000);
    }

    QString Raw() const { return QStringLiteral("net:127.0.0.1:%1").arg(rawPort); }
    // A pseudo-terminal has no modem lines: the DSR the server reports is not asked for.
    QString Rfc() const { return QStringLiteral("rfc2217://127.0.0.1:%1?dsr=ignore").arg(rfcPort); }

    QProcess process;
    quint16 rawPort = 0, rfcPort = 0;

private:
    static bool Accepts(quint16 port) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        const bool up = socket.waitForConnected(200);
        socket.abort();
        return up;
    }
};
