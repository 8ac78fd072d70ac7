#include "../programmer/OperationBench.h"
#include "app/SignalGuard.h"
#include "common/Module1.h"

#include <QDir>
#include <QtTest>
#include <csignal>

// A signal ends the program the way closing its main window does.
class SignalsTest : public QObject {
    Q_OBJECT

private slots:
    void aSignalDuringAReadLeavesNothingBehind() {
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
            QTemporaryDir temp;
            qputenv("TMPDIR", temp.path().toLocal8Bit());
            WriteFile(Module1::WorkImagePath(), "an edit in progress");

            OperationBench b;
            int delivered = 0;
            SignalGuard guard([&](int number) {
                delivered = number;
                b.w->Unload();
            });
            b.Choose("mnuTMS370CX56A");
            const QString path = b.Path("chip.bin");
            WriteFile(path, "old image");
            b.t.dialogs.answers << path;
            b.t.clock.Schedule(5000, [signal] { std::raise(signal); });
            b.w->Command1->click();

            QCOMPARE(b.calls, QStringList{"endProgram"});
            QCOMPARE(delivered, signal); // the exit status tells which it was
            QVERIFY(b.t.clock.NowMs() < 5200);
            QVERIFY(!b.port.PortOpen() && !b.w->WorkingWindow());
            QCOMPARE(ReadFile(path), QByteArray("old image"));
            QCOMPARE(QDir(b.files.path()).entryList(QDir::Files), QStringList{"chip.bin"});
            QVERIFY(!QFile::exists(Module1::WorkImagePath()));
            qunsetenv("TMPDIR");
        }
    }
};

QTEST_MAIN(SignalsTest)
#include "tst_signals.moc"
