#include "ErrorNumberOf.h"
#include "FakeClock.h"
#include "adaptersim/PseudoTerminal.h"
#include "adaptersim/SimSerialPort.h"
#include "core/PortDevices.h"
#include "platform/LineSettings.h"
#include "platform/QtSerialPort.h"
#include "platform/QtSettingsStore.h"
#include "platform/RuntimeError.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using adaptersim::AdapterModel;
using adaptersim::Direction;
using adaptersim::PseudoTerminal;
using platform::QtSerialPort;

namespace {

// What the adapter's end received: the count expected (the pty is asynchronous), then extras.
QByteArray ReadMaster(int fd, int expected) {
    QByteArray bytes;
    const QDeadlineTimer deadline(2000);
    for (int after = 0; after < 10 && !deadline.hasExpired();) {
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        bytes.append(buffer, int(std::max<ssize_t>(n, 0)));
        after += bytes.size() >= expected; // then 10 looks more for anything extra
        QTest::qSleep(2);
    }
    return bytes;
}

} // namespace

// The Qt serial port: devices of port numbers, settings, a pseudo-terminal without events.
class TestSerialPort : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<platform::QtSettingsStore> settings;

    void SetDevice(int n, const QString& device) {
        settings->SaveSetting(QStringLiteral("Ports"), QStringLiteral("Comm%1").arg(n), device);
    }

private slots:
    void init() {
        QFile::remove(dir.filePath(QStringLiteral("s.ini")));
        settings =
            std::make_unique<platform::QtSettingsStore>(dir.filePath(QStringLiteral("s.ini")));
        for (int n = 1; n <= 8; ++n) {
            qunsetenv(qPrintable(QStringLiteral("VIDAVEV_COMM%1").arg(n)));
        }
    }

    void portNumbersMapToDevices() {
        QCOMPARE(core::PortDeviceName(*settings, 8), QStringLiteral("/dev/ttyS7"));
        QCOMPARE(core::PortDeviceName(*settings, 9), QString());
        SetDevice(3, QStringLiteral("/dev/ttyUSB0"));
        qputenv("VIDAVEV_COMM3", "/dev/ttyACM1"); // the environment before the settings
        QCOMPARE(core::PortDeviceName(*settings, 3), QStringLiteral("/dev/ttyACM1"));
        qputenv("VIDAVEV_COMM3", "");
        QCOMPARE(core::PortDeviceName(*settings, 3), QStringLiteral("/dev/ttyUSB0"));
    }

    void lineSettings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("fields"); // baud, parity, data bits, stop bits x 2
        QTest::newRow("adapter") << "9600,N,8,1" << 0 << "9600 N 8 2";
        QTest::newRow("spaces, lower case") << " 19200, e ,7, 2" << 0 << "19200 E 7 4";
        QTest::newRow("one and a half") << "1200,M,5,1.5" << 0 << "1200 M 5 3";
        QTest::newRow("three fields") << "9600,N,8" << 8009 << "";
        QTest::newRow("parity") << "9600,X,8,1" << 8009 << "";
        QTest::newRow("stop bits") << "9600,N,8,3" << 8009 << "";
        QTest::newRow("baud text") << "fast,N,8,1" << 8007 << "";
        QTest::newRow("baud zero") << "0,N,8,1" << 8007 << "";
        QTest::newRow("data bits") << "9600,N,9,1" << 8008 << "";
    }
    void lineSettings() {
        QFETCH(QString, text);
        QFETCH(int, error);
        QFETCH(QString, fields);
        QCOMPARE(ErrorNumberOf([&] { platform::ParseLineSettings(text); }), error);
        if (!error) {
            const platform::LineSettings line = platform::ParseLineSettings(text);
            QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                         .arg(line.baud)
                         .arg(QLatin1Char(line.parity))
                         .arg(line.dataBits)
                         .arg(line.stopBitsTimesTwo),
                     fields);
        }
        QtSerialPort port;
        QCOMPARE(ErrorNumberOf([&] { port.SetSettings(text); }), error);
        QCOMPARE(port.Settings(), error ? QStringLiteral("9600,N,8,1") : text);
    }

    void simulatedAdapterThroughTheFactory() {
        FakeClock clock;
        AdapterModel model;
        int made = 0;
        QtSerialPort port([&] {
            ++made;
            return std::make_unique<adaptersim::SimSerialPort>(clock, model);
        });
        SetDevice(2, QStringLiteral("sim"));
        QCOMPARE(core::PortDeviceName(*settings, 2), QStringLiteral("sim"));
        port.SetCommPort(2);
        port.SetDevice(core::PortDeviceName(*settings, 2));
        port.SetInputLen(1);
        port.SetInBufferSize(512);
        port.SetRThreshold(1);
        for (int session = 0; session < 2; ++session) {
            port.SetPortOpen(true);
            QVERIFY(port.PortOpen());
            QVERIFY(port.DSRHolding());
            port.Output("y");
            port.Output("r");
            port.Output("c");
            clock.Advance(300);
            QCOMPARE(port.CommEvent(), 2);
            QCOMPARE(port.Input(), QByteArray(1, char(0xff))); // InputLen reached the sim
            port.SetPortOpen(false);
            QVERIFY(!port.PortOpen());
        }
        QCOMPARE(made, 1);
        QCOMPARE(model.WireBytes(Direction::ToAdapter), QByteArray("yrcyrc"));

        model.Faults().portBusy = true;
        QCOMPARE(ErrorNumberOf([&] { port.SetPortOpen(true); }), 8005);
    }

    void missingDeviceAndClosedPort() {
        SetDevice(1, dir.filePath(QStringLiteral("no-such-tty")));
        QtSerialPort port;
        port.SetCommPort(1);
        port.SetDevice(core::PortDeviceName(*settings, 1));
        QCOMPARE(ErrorNumberOf([&] { port.SetPortOpen(true); }), 8002);
        QVERIFY(!port.PortOpen());
        QCOMPARE(ErrorNumberOf([&] { port.Output("x"); }), 8012);
        QCOMPARE(ErrorNumberOf([&] { port.Input(); }), 8012);
        QCOMPARE(ErrorNumberOf([&] { port.DSRHolding(); }), 8012);
        port.SetCommPort(0);
        port.SetDevice(core::PortDeviceName(*settings, 0));
        QCOMPARE(ErrorNumberOf([&] { port.SetPortOpen(true); }), 8002);
    }

    void pseudoTerminalWithoutEventLoop() {
        PseudoTerminal first;
        PseudoTerminal second;
        SetDevice(1, first.SlavePath());
        SetDevice(2, second.SlavePath());
        QtSerialPort port;
        port.SetCommPort(1);
        port.SetDevice(core::PortDeviceName(*settings, 1));
        port.SetSettings(QStringLiteral("9600,N,8,1"));
        port.SetInBufferSize(4);
        port.SetRThreshold(1);
        port.SetInputLen(1);
        port.SetPortOpen(true);

        QVERIFY(port.DSRHolding()); // no modem lines on a pseudo-terminal
        QCOMPARE(ErrorNumberOf([&] { port.SetPortOpen(true); }), 8013);
        QtSerialPort other;
        other.SetCommPort(1);
        other.SetDevice(core::PortDeviceName(*settings, 1));
        QCOMPARE(ErrorNumberOf([&] { other.SetPortOpen(true); }), 8013);

        // Written bytes are with the system as soon as Output returns.
        port.Output("x");
        port.Output("r");
        QCOMPARE(ReadMaster(first.MasterFd(), 2), QByteArray("xr"));

        // Arriving bytes are found by looking at the port; the queue keeps InBufferSize.
        QCOMPARE(::write(first.MasterFd(), "abcdef", 6), ssize_t(6));
        const QDeadlineTimer deadline(2000);
        while (port.CommEvent() != 2 && !deadline.hasExpired()) {
            QTest::qSleep(5);
        }
        QCOMPARE(port.CommEvent(), 2);
        QTest::qSleep(50);
        QCOMPARE(port.Input(), QByteArray("a"));
        port.SetInputLen(0);
        QCOMPARE(port.Input(), QByteArray("bcd"));
        QCOMPARE(port.Input(), QByteArray());
        QCOMPARE(port.CommEvent(), 2);

        // A new port number waits for the next open; the next session starts empty.
        port.SetCommPort(2);
        port.SetDevice(core::PortDeviceName(*settings, 2));
        port.Output("v");
        QCOMPARE(::write(first.MasterFd(), "zz", 2), ssize_t(2));
        QTest::qSleep(50);
        port.SetPortOpen(false);
        QCOMPARE(ReadMaster(first.MasterFd(), 1), QByteArray("v"));
        port.SetPortOpen(true);
        QCOMPARE(port.CommEvent(), 0);
        port.Output("t");
        QCOMPARE(ReadMaster(second.MasterFd(), 1), QByteArray("t"));
        QCOMPARE(port.Input(), QByteArray());
        port.SetPortOpen(false);

        // Once closed, the device can be opened again, here or by another port object.
        other.SetPortOpen(true);
        other.SetPortOpen(false);
    }

    // A pty keeps 8 bits and no parity whatever it is told; speed, stop bits, odd/even stay.
    void lineSettingsReachTheDevice_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<speed_t>("speed");
        QTest::addColumn<tcflag_t>("flags"); // of PARODD, CSTOPB
        QTest::newRow("adapter") << "9600,N,8,1" << speed_t(B9600) << tcflag_t(0);
        QTest::newRow("even, 2") << "19200,E,7,2" << speed_t(B19200) << tcflag_t(CSTOPB);
        QTest::newRow("odd") << "1200,O,5,1" << speed_t(B1200) << tcflag_t(PARODD);
    }
    void lineSettingsReachTheDevice() {
        QFETCH(QString, text);
        QFETCH(speed_t, speed);
        QFETCH(tcflag_t, flags);
        PseudoTerminal terminal;
        QtSerialPort port;
        port.SetDevice(terminal.SlavePath());
        port.SetSettings(text);
        port.SetPortOpen(true);
        termios line{};
        QCOMPARE(::tcgetattr(terminal.MasterFd(), &line), 0);
        QCOMPARE(::cfgetospeed(&line), speed);
        QCOMPARE(line.c_cflag & (PARODD | CSTOPB), flags);
    }

    // Paths that are no serial port are refused at once, naming the path and what it is;
    // a bare name is taken where it exists, else in /dev.
    void pathsThatAreNoSerialPort_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("words");
        QTest::newRow("FIFO") << "fifo"
                              << "fifo is not a serial port: it is a FIFO";
        QTest::newRow("file") << "file.bin"
                              << "file.bin is not a serial port: it is a regular file";
        QTest::newRow("folder") << "folder"
                                << "folder is not a serial port: it is a folder";
        QTest::newRow("no tty") << "/dev/null"
                                << "/dev/null is not a serial port: it refused";
        QTest::newRow("bare, in /dev") << "tms370-no-such-tty"
                                       << "/dev/tms370-no-such-tty";
    }
    void pathsThatAreNoSerialPort() {
        QFETCH(QString, name);
        QFETCH(QString, words);
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("folder")));
        ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600);
        QFile(dir.filePath(QStringLiteral("file.bin"))).open(QIODevice::WriteOnly);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(dir.path()); // bare names are looked for here first
        QtSerialPort port;
        port.SetDevice(name);
        QString description;
        try {
            port.SetPortOpen(true);
        } catch (const platform::RuntimeError& error) {
            description = error.Description();
        }
        QDir::setCurrent(cwd);
        QVERIFY2(description.contains(words), qPrintable(description));
        QVERIFY(!port.PortOpen());
    }

    // usb:SERIAL opens the adapter with that serial number wherever it is plugged in; none or
    // two is a port error that names the serial and the adapters present.
    void usbAdaptersByTheirSerialNumber() {
        PseudoTerminal terminal;
        struct Present : platform::PortEnumeration {
            QList<platform::SystemPort> ports;
            QList<platform::SystemPort> Ports() const override { return ports; }
        } present;
        present.ports = {
            {terminal.SlavePath(), "", "FT232R USB UART", "FTDI", "A502", 0x0403, 0x6001}};
        QtSerialPort port;
        port.SetPortEnumeration(&present);
        port.SetDevice(QStringLiteral("usb:A502"));
        port.SetPortOpen(true);
        QVERIFY(port.PortOpen());
        port.SetPortOpen(false);
        for (const QString& serial : {QStringLiteral("B7"), QStringLiteral("A502")}) {
            if (serial == QLatin1String("A502")) {
                present.ports.append(present.ports.first()); // the same serial twice
            }
            port.SetDevice(QStringLiteral("usb:") + serial);
            try {
                port.SetPortOpen(true);
                QFAIL("opened");
            } catch (const platform::RuntimeError& error) {
                QCOMPARE(error.Number(), 8002);
                QVERIFY2(error.Description().contains(serial) &&
                             error.Description().contains(terminal.SlavePath()),
                         qPrintable(error.Description()));
            }
        }
    }

    void aTerminalWhoseOtherEndClosedIsGone() {
        auto terminal = std::make_unique<PseudoTerminal>();
        QtSerialPort port;
        port.SetDevice(terminal->SlavePath());
        port.SetPortOpen(true);
        QString why;
        QVERIFY(port.StillThere(&why));
        terminal.reset(); // the adapter's end goes away
        QVERIFY(!port.StillThere(&why));
        QVERIFY2(why.contains("went away"), qPrintable(why));
        try {
            port.SetPortOpen(false);
        } catch (const platform::RuntimeError&) {
        }
    }

    void deviceLockedElsewhereIsInUse() {
        // Another process's lock through a link (as root QSerialPort's own checks pass it).
        PseudoTerminal terminal;
        const QString link = dir.filePath(QStringLiteral("adapter"));
        QVERIFY(QFile::link(terminal.SlavePath(), link));
        const int other = ::open(QFile::encodeName(terminal.SlavePath()).constData(),
                                 O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(other >= 0 && ::flock(other, LOCK_EX | LOCK_NB) == 0);
        QtSerialPort port;
        port.SetDevice(link);
        QCOMPARE(ErrorNumberOf([&] { port.SetPortOpen(true); }), 8005);
        ::close(other);
        port.SetPortOpen(true);
        QVERIFY(port.PortOpen());
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
