#include "OperationBench.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"

#include <QtTest>

using namespace platform::MsgStyle;

namespace {

const QString CheckPort =
    QStringLiteral("Error Comm: Check Port Number/Cable/Turn ON Power Supply");

// Times of the bytes sent, relative to the first.
QList<double> Gaps(const std::vector<WireByte>& log) {
    QList<double> gaps;
    for (std::size_t i = 1; i < log.size(); ++i) {
        gaps << log[i].timeMs - log[i - 1].timeMs;
    }
    return gaps;
}

} // namespace

class OperationsTest : public QObject {
    Q_OBJECT

private slots:
    void readStoresTheBlockExactly_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<char>("family");
        QTest::newRow("x 512") << "mnuTMS370CX56A" << 'x';
        QTest::newRow("y 256") << "mnuTMS370CX58A" << 'y';
        QTest::newRow("t 256") << "mnuTMS374C013" << 't';
    }
    void readStoresTheBlockExactly() {
        QFETCH(QString, item);
        QFETCH(char, family);
        OperationBench b;
        b.model.SetEeprom(Pattern(512, 3));
        b.Choose(item.toLatin1());
        const QString path = b.Path("chip.bin");
        WriteFile(path, QByteArray(1000, 'z')); // replaced, not patched
        b.t.dialogs.answers << path;
        const double start = b.t.clock.NowMs();

        b.w->Command1->click();

        const int n = family == 'x' ? 512 : 256;
        QCOMPARE(ReadFile(path), b.model.Block(family));
        QCOMPARE(ReadFile(path).size(), n);
        QCOMPARE(b.Sent(), QByteArray() + family + "rc");
        const auto log = b.SentLog();
        QVERIFY(log[1].timeMs - log[0].timeMs >= 10);
        QVERIFY(log[2].timeMs - log[1].timeMs >= 10);
        // 10 ms after "c", 200 ms, then one byte per at least 75 ms.
        QVERIFY(b.t.clock.NowMs() - log[2].timeMs >= 10 + 200 + n * 75.0);
        QVERIFY(b.t.clock.NowMs() - start < 10 + 10 + 10 + 200 + n * 75.0 + 50);
        QVERIFY(b.t.messages.shown.isEmpty());
        QVERIFY(b.Settled());
        const auto& dialog = b.t.dialogs.saves.first();
        QCOMPARE(dialog.filter, QStringLiteral("*.bin files|*.bin|*.hex files|*.hex"));
        QCOMPARE(dialog.defaultExt, QStringLiteral("bin"));
        QVERIFY(dialog.confirmOverwrite);
        QVERIFY(!dialog.fileMustExist);
    }

    void cancelledDialogsAbandonTheOperation() {
        for (bool program : {false, true}) {
            OperationBench b;
            b.Choose("mnuTMS370CX42A");
            bool hidden = false;
            b.t.clock.Schedule(5, [&] { hidden = hidden || !b.w->isVisible(); });
            (program ? b.w->Command2 : b.w->Command1)->click();
            QCOMPARE(b.Sent(), program ? QByteArray("ype") : QByteArray("yre"));
            QVERIFY(!hidden);
            QVERIFY(b.Settled());
            QVERIFY(b.t.messages.shown.isEmpty());
        }
    }

    void readFromAnAdapterThatFallsShort() {
        // Slower than one byte per 75 ms: steps find the queue empty and write nothing.
        OperationBench b;
        b.model.SetEeprom(Pattern(512, 1));
        b.model.Faults().msPerByte = 150;
        b.Choose("mnuTMS370CX58A");
        const QString path = b.Path("slow.bin");
        b.t.dialogs.answers << path;
        b.w->Command1->click();
        const QByteArray got = ReadFile(path);
        QVERIFY(got.size() > 0 && got.size() < 256);
        QCOMPARE(got, b.model.Block('y').left(got.size()));
        QCOMPARE(b.t.messages.shown.size(), 1);
        QVERIFY(b.t.messages.shown[0].prompt.startsWith(
            QStringLiteral("Only %1 of 256 bytes").arg(got.size())));
        QCOMPARE(b.t.messages.shown[0].style, Exclamation);
        QVERIFY(b.Settled());

        // One that stops after 40 bytes.
        OperationBench c;
        c.model.Faults().stopAfter = 40;
        c.Choose("mnuTMS370CX58A");
        c.t.dialogs.answers << c.Path("short.bin");
        c.w->Command1->click();
        QCOMPARE(ReadFile(c.Path("short.bin")).size(), 40);
        QVERIFY(c.t.messages.shown[0].prompt.startsWith(QStringLiteral("Only 40 of 256")));
    }

    void readFromASilentAdapterKeepsTheFile() {
        OperationBench b;
        b.model.Faults().silent = true;
        b.Choose("mnuTMS370CX56A");
        const QString path = b.Path("keep.bin");
        WriteFile(path, "previous image");
        b.t.dialogs.answers << path;
        b.w->Command1->click();
        QCOMPARE(ReadFile(path), QByteArray("previous image"));
        QCOMPARE(b.t.messages.shown.size(), 1);
        QCOMPARE(b.t.messages.shown[0].prompt, CheckPort);
        QCOMPARE(b.t.messages.shown[0].style, Critical);
        QVERIFY(b.Settled());
    }

    void readIntoAnUnwritableFolder() {
        OperationBench b;
        b.Choose("mnuTMS370CX58A");
        const QString path = b.Path("no/such/folder/chip.bin");
        b.t.dialogs.answers << path;
        b.w->Command1->click();
        QCOMPARE(b.t.messages.shown.size(), 1);
        QVERIFY(b.t.messages.shown[0].prompt.contains(path));
        QCOMPARE(b.t.messages.shown[0].style, Exclamation);
        QVERIFY(b.Settled());
        // A file error is not a port error: the port stays chosen.
        QVERIFY(b.w->mnuComm[1]->isChecked());
        QVERIFY(!b.w->mnuComm[1]->isEnabled());
    }

    void programSendsTheFilePacedAndSettles_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("settle");
        QTest::newRow("x") << "mnuTMS370C006" << 512 << 23400.0;
        QTest::newRow("y") << "mnuTMS370CX02" << 256 << 11700.0;
    }
    void programSendsTheFilePacedAndSettles() {
        QFETCH(QString, item);
        QFETCH(int, n);
        QFETCH(double, settle);
        OperationBench b;
        b.Choose(item.toLatin1());
        const QString path = b.Path("image.hex"); // raw bytes whatever the extension
        const QByteArray data = WriteFile(path, Pattern(n, 5));
        b.t.dialogs.answers << path;

        b.w->Command2->click();

        const QByteArray sent = b.Sent();
        QCOMPARE(sent.left(3), n == 512 ? QByteArray("xpc") : QByteArray("ypc"));
        QCOMPARE(sent.mid(3), data);
        const auto log = b.SentLog();
        const QList<double> gaps = Gaps(log);
        QVERIFY(gaps[0] >= 10 && gaps[1] >= 10);
        QVERIFY(gaps[2] >= 40); // after "c"
        for (int i = 3; i < gaps.size(); ++i) {
            QVERIFY2(gaps[i] >= 2, qPrintable(QString::number(i)));
        }
        QVERIFY(b.t.clock.NowMs() - log.back().timeMs >= 2 + settle);
        QVERIFY(b.t.clock.NowMs() - log.back().timeMs < 2 + settle + 20);
        QCOMPARE(b.model.LastProgrammed(), data);
        QVERIFY(b.t.messages.shown.isEmpty());
        QVERIFY(b.Settled());
        QVERIFY(b.t.dialogs.opens.first().fileMustExist);
    }

    void programWarnsAboutTheFileSize() {
        struct Case {
            const char* item;
            int fileSize;
            int n;
            const char* warning;
        };
        const Case cases[] = {
            {"mnuTMS370CX58A", 512, 256, "Warning: uploading buffer size <> 256 bytes!"},
            {"mnuTMS370CX56A", 600, 512, "Warning: uploading buffer size <> 512 bytes!"},
            {"mnuTMS370CX58A", 100, 256, "Warning: uploading buffer size <> 256 bytes!"},
        };
        for (const Case& c : cases) {
            OperationBench b;
            b.Choose(c.item);
            const QByteArray data = WriteFile(b.Path("f.bin"), Pattern(c.fileSize, 9));
            b.t.dialogs.answers << b.Path("f.bin");
            b.w->Command2->click();
            QCOMPARE(b.t.messages.shown.size(), 1);
            QCOMPARE(b.t.messages.shown[0].prompt, QLatin1String(c.warning));
            QCOMPARE(b.t.messages.shown[0].style, Exclamation);
            QByteArray expected = data.left(c.n);
            expected.append(c.n - expected.size(), '\xFF'); // a short file ends in erased bytes
            QCOMPARE(b.Sent().mid(3), expected);
        }
    }

    void programFromAMissingFileSendsNoData() {
        OperationBench b;
        b.Choose("mnuTMS370CX58A");
        const QString path = b.Path("gone.bin");
        b.t.dialogs.answers << path;
        b.w->Command2->click();
        QCOMPARE(b.Sent(), QByteArray("ype"));
        QCOMPARE(b.t.messages.shown.size(), 1);
        QVERIFY(b.t.messages.shown[0].prompt.contains(path));
        QVERIFY(b.Settled());
        QVERIFY(b.w->mnuComm[1]->isChecked());
    }

    void verifyReportsTheAdaptersAnswer() {
        struct Case {
            const char* name;
            int mismatchAt;
            bool silent;
            QString message;
            int style;
            int maxSteps;
        };
        const Case cases[] = {
            {"match", -1, false, "Verify OK", Information, 256},
            {"first", 0, false, "Verify ERROR", Exclamation, 1},
            {"last", 255, false, "Verify ERROR", Exclamation, 256},
            {"silent", -1, true, CheckPort, Critical, 0},
        };
        for (const Case& c : cases) {
            OperationBench b;
            b.model.Faults().mismatchAt = c.mismatchAt;
            b.model.Faults().silent = c.silent;
            b.Choose("mnuTMS370CX42A");
            bool workingUpAtMessage = false;
            b.t.messages.onShow = [&](const auto&) { workingUpAtMessage = b.w->WorkingWindow(); };
            const double start = b.t.clock.NowMs();
            b.w->Command3->click();
            QCOMPARE(b.Sent(), QByteArray("yvc"));
            QCOMPARE(b.t.messages.shown.size(), 1);
            QCOMPARE(b.t.messages.shown[0].prompt, c.message);
            QCOMPARE(b.t.messages.shown[0].style, c.style);
            QVERIFY(workingUpAtMessage);
            QVERIFY(b.Settled());
            // Steps that take a byte wait 75 ms each; the loop ends at the first mark.
            QVERIFY2(b.t.clock.NowMs() - start <= 230 + c.maxSteps * 75.0 + 20, c.name);
        }
    }

    void oneCommandOperations() {
        OperationBench b;
        b.model.SetWpo(0x5A);
        b.Choose("mnuTMS370CX58A");
        b.w->Command4->click();
        QCOMPARE(b.Sent(), QByteArray("yw"));
        QVERIFY(Gaps(b.SentLog())[0] >= 10);
        QCOMPARE(b.model.Wpo(), 0);
        QVERIFY(b.Settled());

        b.model.ClearWireLog();
        b.model.SetEeprom(Pattern(512));
        b.Choose("mnuTMS370CX56A");
        const double start = b.t.clock.NowMs();
        b.w->Command5->click();
        QCOMPARE(b.Sent(), QByteArray("xb"));
        QVERIFY(b.t.clock.NowMs() - start >= 520);
        QCOMPARE(b.model.Eeprom(), QByteArray(512, '\xFF'));
        QVERIFY(b.t.messages.shown.isEmpty());
        QVERIFY(b.Settled());
    }

    void guardsStopBeforeTheWire() {
        OperationBench b;
        for (QPushButton* button :
             {b.w->Command1, b.w->Command2, b.w->Command3, b.w->Command4, b.w->Command5}) {
            button->click();
        }
        QCOMPARE(b.t.messages.shown.size(), 5);
        for (const auto& box : b.t.messages.shown) {
            QCOMPARE(box.prompt, QStringLiteral("Select Device before start operation"));
            QCOMPARE(box.style, Exclamation);
        }
        b.t.messages.shown.clear();
        b.Choose("mnuTMS374C003");
        for (QPushButton* button : {b.w->Command3, b.w->Command4, b.w->Command5}) {
            button->click();
        }
        QCOMPARE(b.t.messages.shown.size(), 3);
        for (const auto& box : b.t.messages.shown) {
            QCOMPARE(box.prompt, QStringLiteral("Command not support TMS374C003; TMS374C013"));
        }
        QVERIFY(b.Sent().isEmpty());
        QVERIFY(b.t.dialogs.opens.isEmpty() && b.t.dialogs.saves.isEmpty());
    }

    void clicksAndChoicesDuringAnOperationAreIgnored() {
        OperationBench b;
        b.Choose("mnuTMS370CX58A");
        b.t.dialogs.answers << b.Path("a.bin");
        b.t.clock.Schedule(1000, [&] {
            b.w->Command2->click();
            b.w->Command5->click();
            b.Choose("mnuTMS370CX56A");
            b.w->SelectPort(5);
        });
        b.w->Command1->click();
        QCOMPARE(b.Sent(), QByteArray("yrc"));
        QCOMPARE(b.w->DeviceCode(), QStringLiteral("y"));
        QVERIFY(b.w->mnuComm[1]->isChecked());
        QCOMPARE(b.t.dialogs.saves.size() + b.t.dialogs.opens.size(), 1);
        QCOMPARE(ReadFile(b.Path("a.bin")).size(), 256);
    }

    void closingTheProgramEndsTheOperation() {
        OperationBench b;
        b.Choose("mnuTMS370CX56A");
        const QString path = b.Path("closing.bin");
        WriteFile(path, "old");
        b.t.dialogs.answers << path;
        b.t.clock.Schedule(5000, [&] { b.w->close(); });
        b.w->Command1->click();
        QCOMPARE(b.calls, QStringList{"endProgram"});
        QVERIFY(!b.port.PortOpen());
        QVERIFY(!b.w->WorkingWindow());
        QVERIFY(!b.w->OperationRunning());
        QVERIFY(!b.w->isVisible()); // the main window does not come back
        QCOMPARE(ReadFile(path), QByteArray("old"));
        QVERIFY(b.t.clock.NowMs() < 6000);
    }
};

QTEST_MAIN(OperationsTest)
#include "tst_operations.moc"
