#include "AdapterTool.h"
#include "ImageFiles.h"
#include "Ser2net.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray CheckPort = "Error Comm: Check Port Number/Cable/Turn ON Power Supply";

// A server on loopback that, for each connection, sends what `talk` returns until the peer
// goes; a plain thread, so it talks while the test waits for the tool.
class HostileServer {
public:
    explicit HostileServer(std::function<QByteArray(int round)> talk) : talk_(std::move(talk)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        ::listen(fd_, 4);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HostileServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    quint16 Port() const { return port_; }

private:
    void Serve() {
        while (!stop_) {
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) {
                return;
            }
            for (int round = 0; !stop_; ++round) {
                const QByteArray bytes = talk_(round);
                if (bytes.isEmpty() ||
                    ::send(client, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) < 0) {
                    break;
                }
            }
            ::close(client);
        }
    }

    std::function<QByteArray(int)> talk_;
    int fd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

// tms370's words when a terminal server refuses, misbehaves or goes away: ser2net's raw and
// RFC 2217 accepters, each on a pseudo-terminal where the adapter tool answers, and servers
// that misbehave. (What the transports carry is the transport contract's.)
class NetworkTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    AdapterTool rawAdapter, rfcAdapter;
    Ser2net ser2net;

    QString Path(const QString& name) const { return dir.filePath(name); }

    int Run(const QStringList& arguments, QByteArray* err = nullptr,
            const std::function<void(QProcess&)>& meanwhile = {}) {
        QProcess tool;
        tool.start(QStringLiteral(TMS370_TOOL), arguments);
        if (!tool.waitForStarted(5000)) {
            return -1;
        }
        if (meanwhile) {
            meanwhile(tool);
        }
        if (!tool.waitForFinished(60000)) {
            tool.kill();
            tool.waitForFinished();
            return -2;
        }
        const QByteArray e = tool.readAllStandardError();
        if (err) {
            *err = e;
        }
        qInfo().noquote() << arguments.join(' ') << "->" << tool.exitCode() << e.trimmed();
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -3;
    }

private slots:
    void initTestCase() {
        if (!Ser2net::Installed()) {
            QSKIP("ser2net is not installed (scripts/setup installs it)");
        }
        // Replies 10 ms apart: a READ is still under way when its server is stopped.
        const QString rawTty = rawAdapter.Start(QStringLiteral(ADAPTER_SIM_TOOL), {"--slow", "10"});
        const QString rfcTty =
            rfcAdapter.Start(QStringLiteral(ADAPTER_SIM_TOOL), {"--log", Path("rfc.log")});
        QVERIFY(rawTty.startsWith('/') && rfcTty.startsWith('/'));
        QVERIFY(ser2net.Start(dir.path(), rawTty, rfcTty));
    }

    void portTestsAndRefusals_data() {
        QTest::addColumn<QString>("port"); // %R raw, %F the RFC 2217 accepter, %C a closed port
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("words");
        QTest::newRow("RFC 2217 reports DSR low (a pseudo-terminal)")
            << "rfc2217://127.0.0.1:%F" << 3
            << CheckPort + "\ntms370: A terminal server in front of a pseudo-terminal reports "
                           "every line low: rfc2217://127.0.0.1:";
        QTest::newRow("refused") << "net:127.0.0.1:%C" << 3
                                 << QByteArray("the connection was refused");
        QTest::newRow("no such host")
            << "net:no-such-host.invalid:23" << 3 << QByteArray("cannot connect");
        QTest::newRow("malformed")
            << "rfc2217://127.0.0.1" << 3 << QByteArray("is not a network port");
        QTest::newRow("raw port spoken to as RFC 2217")
            << "rfc2217://127.0.0.1:%R" << 3 << QByteArray("does not speak RFC 2217");
        QTest::newRow("RFC 2217 port spoken to as raw")
            << "net:127.0.0.1:%F" << 3 << QByteArray("this port speaks RFC 2217: use rfc2217://");
    }
    void portTestsAndRefusals() {
        QFETCH(QString, port);
        QFETCH(int, code);
        QFETCH(QByteArray, words);
        port.replace("%R", QString::number(ser2net.rawPort))
            .replace("%F", QString::number(ser2net.rfcPort))
            .replace("%C", QString::number(FreePort()));
        QByteArray err;
        QElapsedTimer took;
        took.start();
        const QByteArray heard = ReadFile(Path("rfc.log"));
        QCOMPARE(Run({"erase", "-p", port, "-d", "y"}, &err), code);
        QVERIFY2(err.contains(words), err.constData());
        QVERIFY(took.elapsed() < 10000);            // never a hang
        QCOMPARE(ReadFile(Path("rfc.log")), heard); // nothing reached the adapter
    }

    // Servers that misbehave give port errors, never a hang or a crash.
    void misbehavingServers_data() {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<int>("talk"); // 0 silent, 1 endless subnegotiation, 2 random bytes
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("words");
        QTest::newRow("raw, silent") << "net" << 0 << 2 << QByteArray("no answer");
        QTest::newRow("RFC 2217, silent")
            << "rfc2217" << 0 << 3 << QByteArray("does not speak RFC 2217");
        QTest::newRow("RFC 2217, endless subnegotiation")
            << "rfc2217" << 1 << 3 << QByteArray("subnegotiation of more than");
        // Noise is data to a raw port: any ending will do but a crash or a hang.
        QTest::newRow("raw, random bytes") << "net" << 2 << -1 << QByteArray("READ");
    }
    void misbehavingServers() {
        QFETCH(QString, scheme);
        QFETCH(int, talk);
        QFETCH(int, code);
        QFETCH(QByteArray, words);
        // Silent: the system accepts on the listener's behalf, and nothing is ever said.
        QTcpServer silent;
        silent.listen(QHostAddress::LocalHost, 0);
        HostileServer server([talk](int round) -> QByteArray {
            if (talk == 1) {
                return round == 0 ? QByteArray("\xff\xfd\x2c\xff\xfa\x2c", 6)
                                  : QByteArray(4096, 'x');
            }
            QByteArray noise(4096, 0);
            for (int i = 0; i < noise.size(); ++i) {
                noise[i] = char((i * 131 + round * 17) & 0xFF);
            }
            return round < 64 ? noise : QByteArray();
        });
        const quint16 at = talk == 0 ? silent.serverPort() : server.Port();
        const QString port = scheme == "net"
                                 ? QStringLiteral("net:127.0.0.1:%1").arg(at)
                                 : QStringLiteral("rfc2217://127.0.0.1:%1?dsr=ignore").arg(at);
        QByteArray err;
        QElapsedTimer took;
        took.start();
        const int ended =
            Run({"read", "-p", port, "-d", "y", "--fast", "-o", Path("hostile.bin")}, &err);
        QVERIFY(ended >= 0);
        if (code >= 0) {
            QCOMPARE(ended, code);
        }
        QVERIFY2(err.contains(words), err.constData());
        QVERIFY(took.elapsed() < 10000);
    }

    // The terminal server goes away in the middle of a READ: a port error, the old file kept.
    void serverStoppedMidRead() {
        WriteFile(Path("old.bin"), "old");
        QByteArray err;
        const int code = Run({"read", "-p", ser2net.Raw(), "-d", "y", "-o", Path("old.bin")}, &err,
                             [this](QProcess& tool) {
                                 tool.setReadChannel(QProcess::StandardError);
                                 tool.waitForReadyRead(5000);
                                 QTest::qWait(1500);
                                 ser2net.process.kill();
                                 ser2net.process.waitForFinished(3000);
                             });
        QCOMPARE(code, 3);
        QVERIFY2(err.contains("closed the connection"), err.constData());
        QCOMPARE(ReadFile(Path("old.bin")), QByteArray("old"));
    }
};

QTEST_GUILESS_MAIN(NetworkTest)
#include "tst_network.moc"
