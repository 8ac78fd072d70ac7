#include "AdapterTool.h"
#include "FakeFileDialogs.h"
#include "FakeMessageBoxes.h"
#include "ImageFiles.h"
#include "core/PortControl.h"
#include "platform/MessageBoxes.h"
#include "platform/QtClock.h"
#include "platform/QtSettingsStore.h"
#include "platform/Services.h"
#include "programmer/frmMain.h"
#include "transport/PortFactory.h"

#include <QAction>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// The programmer for real: QSerialPort, the real clock, the adapter tool on a pseudo-terminal.
class OperationsEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void programReadBackAndVerify() {
        QTemporaryDir dir;
        AdapterTool tool;
        platform::QtClock clock;
        FakeMessageBoxes messages;
        FakeFileDialogs dialogs;
        transport::PortFactory factory{clock};
        const QString device = tool.Start(QStringLiteral(ADAPTER_SIM_TOOL), {});
        QVERIFY(device.startsWith(QLatin1Char('/')));
        qputenv("VIDAVEV_COMM1", device.toLocal8Bit());
        platform::QtSettingsStore settings(dir.filePath("settings.ini"));
        core::PortControl port(factory.AsOpener());
        platform::Services services{clock, messages, dialogs, settings, &port};
        frmMain w(services, frmMain::Links{});
        w.show();
        w.mnuComm[0]->trigger();
        QVERIFY(w.mnuComm[0]->isChecked()); // DSR counts as held on a pseudo-terminal
        w.findChild<QAction*>("mnuTMS370CX58A")->trigger();
        messages.shown.clear();

        const QByteArray image = WriteFile(dir.filePath("source.bin"), Pattern(256, 3));
        dialogs.answers << dir.filePath("source.bin") << dir.filePath("read.bin");
        w.Command2->click(); // PROGRAM, then READ
        w.Command1->click();
        QVERIFY(messages.shown.isEmpty());
        QCOMPARE(ReadFile(dir.filePath("read.bin")), image);

        // The adapter's marks as fast as the line brings them.
        w.mnuFastReceive->trigger();
        w.Command3->click();
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY(messages.shown[0].prompt == "Verify OK" &&
                messages.shown[0].style == platform::MsgStyle::Information);
        QVERIFY(w.isVisible() && !port.PortOpen());
    }
};

QTEST_MAIN(OperationsEndToEnd)
#include "tst_operations_e2e.moc"
