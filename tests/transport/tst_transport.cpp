#include "../common/TableRows.h"
#include "AdapterTool.h"
#include "ErrorNumberOf.h"
#include "FakeClock.h"
#include "ImageFiles.h"
#include "Ser2net.h"
#include "adaptersim/AdapterModel.h"
#include "adaptersim/PseudoTerminal.h"
#include "core/Pause.h"
#include "core/PortControl.h"
#include "core/PortDevices.h"
#include "platform/LineSettings.h"
#include "platform/PortEnumeration.h"
#include "platform/QtClock.h"
#include "transport/PortFactory.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using adaptersim::AdapterModel;
using adaptersim::Direction;

namespace {

// A block with FFh in it, which RFC 2217 doubles on the way.
QByteArray Block() {
    QByteArray block = Pattern(256, 5);
    for (int i = 0; i < block.size(); i += 3) {
        block[i] = char(0xFF);
    }
    return block;
}

} // namespace

// The byte transport seam's contract, through the port control that drives it, against every
// implementation: the simulated adapter in process, the adapter tool on a pseudo-terminal
// (QSerialPort), and ser2net's raw and RFC 2217 accepters in front of the tool.
class TransportContract : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    platform::QtClock clock;
    AdapterModel model;
    AdapterTool ptyTool, rawTool, rfcTool;
    Ser2net ser2net;
    QString ptyPath;
    transport::PortFactory factory{clock, &model};

    QString StartTool(AdapterTool& tool, const QString& log) {
        return tool.Start(QStringLiteral(ADAPTER_SIM_TOOL),
                          {"--eeprom", dir.filePath("eeprom.bin"), "--log", dir.filePath(log)});
    }

    // What the adapter heard: on the in-process model's wire, or in the adapter tool's log.
    QByteArray HeardBy(const QString& log) {
        if (log.isEmpty()) {
            return model.WireBytes(Direction::ToAdapter);
        }
        QByteArray heard;
        for (const QByteArray& line : ReadFile(dir.filePath(log)).split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() >= 3 && f[1] == ">") {
                heard += char(f[2].toInt(nullptr, 16));
            }
        }
        return heard;
    }
    // Waits until the adapter heard n bytes after the first `from` (at most 2 s).
    QByteArray AwaitHeard(const QString& log, int from, int n) {
        QByteArray bytes;
        for (const QDeadlineTimer deadline(2000); bytes.size() < n && !deadline.hasExpired();) {
            core::Pause(clock, 5);
            bytes = HeardBy(log).mid(from);
        }
        return bytes;
    }
    // Sends letters 10 ms apart after the line opened, as the adapter link does.
    void Letters(core::PortControl& port, const QByteArray& letters) {
        core::Pause(clock, float(port.LineOpensInMs()));
        for (char letter : letters) {
            port.Output(QByteArray(1, letter));
            core::Pause(clock, 10);
        }
    }
    // Takes what arrives until n bytes came or nothing came for 1 s.
    QByteArray Receive(core::PortControl& port, int n) {
        QByteArray bytes;
        port.SetInputLen(0);
        for (double quiet = clock.NowMs() + 1000; bytes.size() < n && clock.NowMs() < quiet;) {
            const QByteArray more = port.Input();
            if (!more.isEmpty()) {
                quiet = clock.NowMs() + 1000;
            }
            bytes += more;
            core::Pause(clock, 5);
        }
        return bytes;
    }

private slots:
    void initTestCase() {
        WriteFile(dir.filePath("eeprom.bin"), Pattern(512, 1));
        model.SetEeprom(Pattern(512, 1));
        ptyPath = StartTool(ptyTool, "pty.log");
        QVERIFY(ptyPath.startsWith('/'));
        if (Ser2net::Installed()) {
            const QString rawTty = StartTool(rawTool, "raw.log");
            const QString rfcTty = StartTool(rfcTool, "rfc.log");
            QVERIFY(ser2net.Start(dir.path(), rawTty, rfcTty));
        }
    }

    // Byte-exact both ways, FFh included: a block programmed after noise before the family
    // letter is the block read back. A terminal server opens its serial port only once it has
    // taken the connection and holds what comes before: the port says how long the first
    // letter waits. Every byte is on the wire when the write returns, the last one too when
    // the port is closed at once. Then the control's queue over the transport: InBufferSize
    // bytes kept, the receive event at RThreshold, InputLen a read; each session starts
    // empty, with no event.
    void contract_data() {
        // name: empty without ser2net; log: the adapter tool's, "" for the in-process model.
        Columns<QString, QString>({"name", "log"});
        const bool net = ser2net.process.processId() != 0;
        QTest::newRow("simulated") << "sim" << QString();
        QTest::newRow("pseudo-terminal") << ptyPath << "pty.log";
        QTest::newRow("ser2net raw") << (net ? ser2net.Raw() : QString()) << "raw.log";
        QTest::newRow("ser2net RFC 2217") << (net ? ser2net.Rfc() : QString()) << "rfc.log";
    }
    void contract() {
        const auto [name, log] = Row<QString, QString>({"name", "log"});
        if (name.isEmpty()) {
            QSKIP("ser2net is not installed (scripts/setup installs it)");
        }
        core::PortControl port(factory.AsOpener());
        core::SetUpPort(port, {0, name});
        const int from = int(HeardBy(log).size());
        port.SetPortOpen(true);
        const double opensInMs = port.LineOpensInMs();
        QVERIFY2(name.contains(':') ? opensInMs > 0 && opensInMs <= 50 : opensInMs == 0,
                 qPrintable(QString::number(opensInMs)));
        QVERIFY(port.DSRHolding());
        Letters(port, "zzypc");
        port.Output(Block());
        QCOMPARE(AwaitHeard(log, from, 5 + 256), "zzypc" + Block());
        Letters(port, "yrc");
        QCOMPARE(Receive(port, 256), Block());
        QString why;
        QVERIFY2(port.StillThere(&why) && why.isEmpty(), qPrintable(why)); // no reason given
        Letters(port, "y");
        port.Output("w");
        port.SetPortOpen(false);
        QCOMPARE(AwaitHeard(log, from + 5 + 256 + 3, 2), QByteArray("yw"));
        QVERIFY(!port.StillThere(&why));

        port.SetInBufferSize(4);
        port.SetRThreshold(1);
        port.SetPortOpen(true);
        port.SetInputLen(1);
        Letters(port, "yrc");
        for (const QDeadlineTimer deadline(2000);
             port.CommEvent() != port.comEvReceive && !deadline.hasExpired();) {
            core::Pause(clock, 5);
        }
        core::Pause(clock, 400); // the whole block has come by now
        QCOMPARE(port.InBufferCount(), 4);
        QCOMPARE(port.Input(), Block().left(1));
        port.SetInputLen(0);
        QCOMPARE(port.Input(), Block().mid(1, 3));
        QCOMPARE(port.Input(), QByteArray());
        port.SetPortOpen(false);
        QCOMPARE(port.CommEvent(), port.comEvReceive); // a closed port keeps its event
        port.SetPortOpen(true);
        QCOMPARE(port.CommEvent(), 0);
        QCOMPARE(port.InBufferCount(), 0);
        port.SetPortOpen(false);
    }

    // A device that goes away (an unplugged USB adapter: here the terminal's other end).
    void aVanishedDeviceIsNoLongerThere() {
        core::PortControl port(factory.AsOpener());
        core::SetUpPort(port, {0, ptyPath});
        port.SetPortOpen(true);
        QString why;
        QVERIFY(port.StillThere(&why));
        ptyTool.Stop();
        QVERIFY(!port.StillThere(&why));
        QVERIFY2(why.contains("went away"), qPrintable(why));
        ErrorNumberOf([&] { port.SetPortOpen(false); });
        QVERIFY(!port.PortOpen());
        ptyPath = StartTool(ptyTool, "pty.log");
    }

    // Ports that cannot be opened: the number by meaning, the words naming the device.
    void refusals_data() {
        // name: %D the folder; fault: 1 sim busy, 2 sim missing, 3 locked elsewhere, 4 open here.
        Columns<QString, int, int, QString>({"name", "fault", "number", "words"});
        QTest::newRow("sim busy") << "sim" << 1 << 8005 << "held by another process";
        QTest::newRow("sim missing") << "sim" << 2 << 8002 << "does not exist";
        QTest::newRow("no device") << "" << 0 << 8002 << "There is no port number 0";
        QTest::newRow("missing") << "%D/no-such-tty" << 0 << 8002 << "Ports present: /dev/ttyX";
        QTest::newRow("FIFO") << "fifo" << 0 << 8015 << "fifo is not a serial port: it is a FIFO";
        QTest::newRow("file") << "file.bin" << 0 << 8015 << "it is a regular file";
        QTest::newRow("folder") << "folder" << 0 << 8015 << "it is a folder";
        QTest::newRow("no tty") << "/dev/null" << 0 << 8015 << "/dev/null is not a serial port";
        QTest::newRow("bare, in /dev") << "tms370-no" << 0 << 8002 << "/dev/tms370-no";
        QTest::newRow("locked elsewhere") << "%D/link" << 3 << 8005 << "in use";
        QTest::newRow("usb, none") << "usb:B7" << 0 << 8002 << "B7|/dev/ttyX";
        QTest::newRow("usb, two") << "usb:TWIN" << 0 << 8002 << "TWIN|/dev/ttyY";
        QTest::newRow("usb, open here") << "usb:A502" << 4 << 8013 << "open in this program";
        QTest::newRow("net, malformed") << "rfc2217://127.0.0.1" << 0 << 8002 << "not a network";
    }
    void refusals() {
        const auto [name, fault, number, words] =
            Row<QString, int, int, QString>({"name", "fault", "number", "words"});
        QVERIFY(QDir(dir.path()).mkpath("folder"));
        ::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600);
        WriteFile(dir.filePath("file.bin"), "x");
        adaptersim::PseudoTerminal terminal;
        QFile::remove(dir.filePath("link"));
        QVERIFY(QFile::link(terminal.SlavePath(), dir.filePath("link")));
        // Another process's lock through a link (as root QSerialPort's own checks pass it).
        const int other = ::open(QFile::encodeName(terminal.SlavePath()).constData(),
                                 O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(other >= 0 && (fault != 3 || ::flock(other, LOCK_EX | LOCK_NB) == 0));
        struct Present : platform::PortEnumeration {
            QString path;
            QList<platform::SystemPort> Ports() const override {
                return {{"/dev/ttyX", "", "FT232R USB UART", "FTDI", "TWIN", 0x0403, 0x6001},
                        {"/dev/ttyY", "", "FT232R USB UART", "FTDI", "TWIN", 0x0403, 0x6001},
                        {path, "", "FT232R USB UART", "FTDI", "A502", 0x0403, 0x6001}};
            }
        } present;
        present.path = terminal.SlavePath();
        AdapterModel faulty;
        faulty.Faults().portBusy = fault == 1;
        faulty.Faults().portMissing = fault == 2;
        transport::PortFactory factory(clock, &faulty, &present);
        core::PortControl port(factory.AsOpener()), holder(factory.AsOpener());
        if (fault == 4) { // the device is open here already, by its path
            holder.SetDevice(terminal.SlavePath());
            holder.SetPortOpen(true);
        }
        port.SetCommPort(0);
        port.SetDevice(QString(name).replace("%D", dir.path()));
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(dir.path()); // bare names are looked for here first
        QString description;
        try {
            port.SetPortOpen(true);
        } catch (const platform::RuntimeError& error) {
            QCOMPARE(error.Number(), number);
            description = error.Description();
        }
        QDir::setCurrent(cwd);
        ::close(other);
        for (const QString& word : words.split('|')) {
            QVERIFY2(description.contains(word), qPrintable(description));
        }
        QVERIFY(!port.PortOpen());
    }

    // The settings text: refused when malformed (the old one stays), else on the device at
    // the next open (a pty keeps 8 bits and no parity; speed, stop bits, odd/even stay).
    void lineSettings_data() {
        // flags: of PARODD, CSTOPB.
        Columns<QString, int, speed_t, tcflag_t>({"text", "error", "speed", "flags"});
        QTest::newRow("adapter") << "9600,N,8,1" << 0 << speed_t(B9600) << tcflag_t(0);
        QTest::newRow("even, 2") << " 19200, e ,7, 2" << 0 << speed_t(B19200) << tcflag_t(CSTOPB);
        QTest::newRow("odd") << "1200,O,5,1" << 0 << speed_t(B1200) << tcflag_t(PARODD);
        QTest::newRow("three fields") << "9600,N,8" << 8009 << speed_t(0) << tcflag_t(0);
        QTest::newRow("parity") << "9600,X,8,1" << 8009 << speed_t(0) << tcflag_t(0);
        QTest::newRow("stop bits") << "9600,N,8,3" << 8009 << speed_t(0) << tcflag_t(0);
        QTest::newRow("baud text") << "fast,N,8,1" << 8007 << speed_t(0) << tcflag_t(0);
        QTest::newRow("baud zero") << "0,N,8,1" << 8007 << speed_t(0) << tcflag_t(0);
        QTest::newRow("data bits") << "9600,N,9,1" << 8008 << speed_t(0) << tcflag_t(0);
    }
    void lineSettings() {
        const auto [text, error, speed, flags] =
            Row<QString, int, speed_t, tcflag_t>({"text", "error", "speed", "flags"});
        adaptersim::PseudoTerminal terminal;
        core::PortControl port(factory.AsOpener());
        port.SetDevice(terminal.SlavePath());
        QCOMPARE(ErrorNumberOf([&] { port.SetSettings(text); }), error);
        QCOMPARE(port.Settings(), error ? QStringLiteral("9600,N,8,1") : text);
        port.SetPortOpen(true);
        termios line{};
        QCOMPARE(::tcgetattr(terminal.MasterFd(), &line), 0);
        QCOMPARE(::cfgetospeed(&line), error ? speed_t(B9600) : speed);
        QCOMPARE(line.c_cflag & (PARODD | CSTOPB), flags);
    }

    // The control's rules that hold whatever the transport.
    void controlRules() {
        core::PortControl port(factory.AsOpener());
        port.SetDevice("sim");
        QCOMPARE(ErrorNumberOf([&] { port.Output("x"); }), 8012);
        QCOMPARE(ErrorNumberOf([&] { port.Input(); }), 8012);
        QCOMPARE(ErrorNumberOf([&] { port.DSRHolding(); }), 8012);
        QCOMPARE(ErrorNumberOf([&] { port.SetInputLen(-1); }), 5);
        QCOMPARE(ErrorNumberOf([&] { port.SetInBufferSize(0); }), 8011);
        QCOMPARE(ErrorNumberOf([&] { port.SetOutBufferSize(0); }), 8011);
        const platform::LineSettings line = platform::ParseLineSettings("1200,M,5,1.5");
        QVERIFY(line.parity == 'M' && line.dataBits == 5 && line.stopBitsTimesTwo == 3);
        port.SetPortOpen(true);
        QCOMPARE(ErrorNumberOf([&] { port.SetPortOpen(true); }), 8013);
        QCOMPARE(ErrorNumberOf([&] { port.SetInBufferSize(64); }), 8000);
        QCOMPARE(ErrorNumberOf([&] { port.SetOutBufferSize(64); }), 8000);
        model.Faults().dsrLow = true;
        QVERIFY(!port.DSRHolding());
        model.Faults().dsrLow = false;
        port.SetPortOpen(false);
        port.SetInBufferSize(64);
        QCOMPARE(port.InBufferSize(), 64);
    }

    // The simulated adapter itself: exchanges are found in what is sent, VERIFY compares.
    void theSimulatedAdapter() {
        FakeClock fake;
        AdapterModel adapter;
        transport::PortFactory factory(fake, &adapter);
        core::PortControl port(factory.AsOpener());
        port.SetDevice("sim");
        const auto exchange = [&](const QByteArray& letters, double afterMs = 1000) {
            port.SetPortOpen(true);
            for (char letter : letters) {
                port.Output(QByteArray(1, letter));
                fake.Advance(10);
            }
            fake.Advance(afterMs);
            port.SetInputLen(0);
            const QByteArray replies = port.Input();
            port.SetPortOpen(false);
            return replies;
        };
        adapter.SetEeprom(Pattern(512, 4));
        // Noise before a family letter; a letter waiting for "c" restarts; 256 bytes: upper half.
        QCOMPARE(exchange("zzxvyrc"), Pattern(512, 4).mid(256));
        // "e" abandons: the "c" after it starts nothing, the data after it is not stored.
        QCOMPARE(exchange("xrec"), QByteArray());
        exchange("xpec\x11\x11");
        QCOMPARE(adapter.Eeprom(), Pattern(512, 4));
        // A PROGRAM block given up: after a long gap the next session's letters are not data.
        AdapterModel bare;
        const QByteArray fed = "xpc" + QByteArray(10, '\0') + "xrc"; // 10 bytes, 2 ms apart
        for (int i = 0; i < fed.size(); ++i) {
            bare.Receive(std::uint8_t(fed[i]), i < 3 ? 0 : i < 13 ? 2.0 * (i - 3) : 5000);
        }
        QVERIFY(bare.NextReplyMs().has_value());
        QCOMPARE(bare.Eeprom().mid(10), QByteArray(502, char(0xff)));

        adapter.Faults().stopAfter = 200; // the block ends early, both ways
        exchange("ypc" + Pattern(256, 77));
        QCOMPARE(adapter.LastProgrammed(), Pattern(200, 77));
        adapter.Faults().stopAfter = -1;
        QCOMPARE(exchange("yvc"), QByteArray(256, char(AdapterModel::MatchMark)));
        // After a bulk erase the chip differs wherever the programmed byte was not FFh.
        exchange("yb");
        const QByteArray marks = exchange("yvc");
        QCOMPARE(marks.size(), 256);
        for (int i = 0; i < 200; ++i) {
            QCOMPARE(marks[i] == char(AdapterModel::MismatchMark), Pattern(256, 77)[i] != '\xff');
        }
        // Replies still on their way when the port closes are lost with the line.
        adapter.ClearWireLog();
        exchange("xrc", 50);
        QVERIFY(!adapter.NextReplyMs()); // nothing more comes
        const qsizetype crossed = adapter.WireLog(Direction::FromAdapter).size();
        QCOMPARE(crossed, qsizetype(60 / AdapterModel::LineMsPerByte)); // 10 ms after "c", then 50
        fake.Advance(1000);
        port.SetPortOpen(true);
        QCOMPARE(port.InBufferCount(), 0);
        QCOMPARE(adapter.WireLog(Direction::FromAdapter).size(), crossed);
    }

    void cleanupTestCase() { ser2net.Stop(); }
};

QTEST_GUILESS_MAIN(TransportContract)
#include "tst_transport.moc"
