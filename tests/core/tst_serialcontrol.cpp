#include "ErrorNumberOf.h"
#include "platform/SerialControl.h"

#include <QtTest>

using platform::SerialControl;

// The port control's rules, kept by every serial port (real or simulated) via SerialControl.
class SerialControlTest : public QObject {
    Q_OBJECT

private slots:
    void receiveEventComesWithThresholdBytes_data() {
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("event");
        QTest::newRow("1 of 1") << 1 << 1 << true;
        QTest::newRow("2 of 3") << 3 << 2 << false;
        QTest::newRow("3 of 3") << 3 << 3 << true;
        QTest::newRow("notification off") << 0 << 5 << false;
    }
    void receiveEventComesWithThresholdBytes() {
        QFETCH(int, threshold);
        QFETCH(int, bytes);
        QFETCH(bool, event);
        SerialControl control;
        control.StartSession();
        control.SetRThreshold(threshold);
        control.Deliver(QByteArray(bytes, 'a'));
        QCOMPARE(control.CommEvent() == SerialControl::comEvReceive, event);
        // The event stays once raised, even with the queue emptied and notification off.
        control.SetInputLen(0);
        control.Take();
        control.SetRThreshold(0);
        QCOMPARE(control.CommEvent() == SerialControl::comEvReceive, event);
        // A new session forgets it.
        control.EndSession();
        control.StartSession();
        QCOMPARE(control.CommEvent(), 0);
    }

    void queueAndReads() {
        SerialControl control;
        control.SetInBufferSize(4);
        control.StartSession();
        control.Deliver(QByteArray("abcdef"));
        QCOMPARE(control.InBufferCount(), 4);
        QCOMPARE(control.Dropped(), 2);
        control.SetInputLen(1);
        QCOMPARE(control.Take(), QByteArray("a"));
        control.SetInputLen(2);
        QCOMPARE(control.Take(), QByteArray("bc"));
        control.SetInputLen(0);
        QCOMPARE(control.Take(), QByteArray("d"));
        QCOMPARE(control.Take(), QByteArray());
    }

    void propertiesThatNeedAClosedPort() {
        SerialControl control;
        QCOMPARE(ErrorNumberOf([&] { control.RequireOpen(); }), 8012);
        QCOMPARE(ErrorNumberOf([&] { control.SetInBufferSize(0); }), 8011);
        QCOMPARE(ErrorNumberOf([&] { control.SetInputLen(-1); }), 5);
        control.StartSession();
        QCOMPARE(ErrorNumberOf([&] { control.SetInBufferSize(512); }), 8000);
        QCOMPARE(ErrorNumberOf([&] { control.SetOutBufferSize(512); }), 8000);
        QCOMPARE(ErrorNumberOf([&] { control.RequireOpen(); }), 0);
    }
};

QTEST_GUILESS_MAIN(SerialControlTest)
#include "tst_serialcontrol.moc"
