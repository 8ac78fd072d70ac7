#include "adaptersim/AdapterModel.h"
#include "core/PortDevices.h"
#include "platform/QtClock.h"
#include "platform/QtSerialPort.h"
#include "platform/QtSettingsStore.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using adaptersim::AdapterModel;

// The program's side as it runs for real: QtSerialPort and QtClock against the adapter
// tool on a pseudo-terminal, with waits that handle events the way the programmer's do.
class TestSerialEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QProcess tool;
    platform::QtClock clock;
    QString device;

    void Wait(double ms) {
        const double start = clock.NowMs();
        while (clock.NowMs() - start < ms) {
            clock.ProcessEvents(start + ms);
        }
    }

    // Collects what arrives until count bytes are in or the time is up; the time of the
    // last byte, from the start, goes to lastMs.
    QByteArray Collect(platform::SerialPort& port, int count, double& lastMs) {
        const double start = clock.NowMs();
        QByteArray bytes;
        while (bytes.size() < count && clock.NowMs() - start < 3000) {
            clock.ProcessEvents(clock.NowMs() + 5);
            const QByteArray got = port.Input();
            if (!got.isEmpty()) {
                bytes += got;
                lastMs = clock.NowMs() - start;
            }
        }
        return bytes;
    }

private slots:
    void initTestCase() {
        QFile image(dir.filePath(QStringLiteral("eeprom.bin")));
        QVERIFY(image.open(QIODevice::WriteOnly));
        for (int i = 0; i < AdapterModel::EepromSize; ++i) {
            image.putChar(char((i * 13 + 5) & 0xff));
        }
        image.close();
        tool.start(QStringLiteral(ADAPTER_SIM_TOOL),
                   {QStringLiteral("--eeprom"), image.fileName(), QStringLiteral("--log"),
                    dir.filePath(QStringLiteral("wire.log"))});
        QVERIFY2(tool.waitForStarted(5000), qPrintable(tool.errorString()));
        while (!tool.canReadLine()) {
            QVERIFY2(tool.waitForReadyRead(5000), "the tool printed no terminal path");
        }
        device = QString::fromLocal8Bit(tool.readLine()).trimmed();
        QVERIFY(device.startsWith(QLatin1Char('/')));
        qputenv("VIDAVEV_COMM1", device.toLocal8Bit());
    }

    void cleanupTestCase() {
        tool.terminate();
        tool.waitForFinished(5000);
    }

    void readBlockCrossesAtLineSpeed() {
        platform::QtSettingsStore settings(dir.filePath(QStringLiteral("settings.ini")));
        platform::QtSerialPort port;
        port.SetCommPort(1);
        port.SetDevice(core::PortDeviceName(settings, 1));
        QCOMPARE(port.Device(), device);

        // The port test: a pseudo-terminal has no modem lines and so counts as holding DSR.
        port.SetSettings(QStringLiteral("9600,N,8,1"));
        port.SetRThreshold(0);
        port.SetInputLen(1);
        port.SetOutBufferSize(512);
        port.SetInBufferSize(512);
        port.SetPortOpen(true);
        QVERIFY(port.DSRHolding());
        port.SetRThreshold(1);
        port.SetPortOpen(false);

        port.SetPortOpen(true);
        port.Output("x");
        Wait(10);
        port.Output("r");
        Wait(10);
        port.SetInputLen(0);
        port.Output("c");
        double lastMs = 0;
        const QByteArray block = Collect(port, 512, lastMs);
        QCOMPARE(port.CommEvent(), 2);
        port.SetPortOpen(false);

        QCOMPARE(block.size(), 512);
        for (int i = 0; i < 512; ++i) {
            QCOMPARE(quint8(block[i]), quint8((i * 13 + 5) & 0xff));
        }
        const double lineMs = 512 * AdapterModel::LineMsPerByte; // 533 ms
        QVERIFY2(lastMs > 0.8 * lineMs && lastMs < lineMs + 700,
                 qPrintable(QStringLiteral("block took %1 ms").arg(lastMs)));

        // A second session finds the adapter at the family letter again.
        port.SetPortOpen(true);
        port.Output("y");
        Wait(10);
        port.Output("v");
        Wait(10);
        port.Output("c");
        const QByteArray marks = Collect(port, 256, lastMs);
        port.SetPortOpen(false);
        QCOMPARE(marks, QByteArray(256, char(AdapterModel::MatchMark)));

        // The tool saw every byte both ways.
        Wait(50);
        QFile log(dir.filePath(QStringLiteral("wire.log")));
        QVERIFY(log.open(QIODevice::ReadOnly | QIODevice::Text));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QByteArray toAdapter;
        int fromAdapter = 0;
        for (const QByteArray& line : lines) {
            if (line.contains(" > ")) {
                toAdapter += line.trimmed().right(1);
            } else if (line.contains(" < ")) {
                ++fromAdapter;
            }
        }
        QCOMPARE(toAdapter, QByteArray("xrcyvc"));
        QCOMPARE(fromAdapter, 512 + 256);
    }
};

QTEST_GUILESS_MAIN(TestSerialEndToEnd)
#include "tst_serial_e2e.moc"
